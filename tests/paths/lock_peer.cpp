// A second process for the FileLock tests: locks the path given as its argument, says
// "locked" (or "failed <error>") on standard output and then holds the lock until killed.
#include <nvsupport/paths/FileLock.h>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    FileLock lock;
    if (!lock.lock(argv[1])) {
        std::printf("failed %d\n", static_cast<int>(lock.getError()));
        return 1;
    }
    std::printf("locked\n");
    std::fflush(stdout);
    for (;;)
        pause();
}
