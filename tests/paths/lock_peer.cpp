// A second process for the FileLock tests: locks the path given as its argument, says
// "locked <its pid>" (or "failed <error>") on standard output and holds the lock until killed.
#include <nvsupport/paths/FileLock.h>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    FileLock lock;
    if (argc != 2 || !lock.lock(argv[1])) {
        std::printf("failed %d\n", static_cast<int>(lock.getError()));
        return 1;
    }
    std::printf("locked %d\n", static_cast<int>(getpid()));
    std::fflush(stdout);
    for (;;)
        pause();
}
