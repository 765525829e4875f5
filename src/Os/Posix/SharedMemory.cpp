#include "SharedMemory_p.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace nvsupport::detail {

namespace {

// "/" + name in `out`; false for names the system would not take as one object name.
bool objectPath(const char* name, char (&out)[256]) noexcept {
    if (!name || !*name || std::strchr(name, '/'))
        return false;
    int n = std::snprintf(out, sizeof out, "/%s", name);
    return n > 0 && n < static_cast<int>(sizeof out);
}

std::atomic<int> g_pid{0};

void forgetPid() noexcept {
    g_pid.store(0, std::memory_order_relaxed);
}

} // namespace

int createSharedMemory(const char* name, std::uint64_t size) noexcept {
    char path[256];
    if (size == 0 || size > static_cast<std::uint64_t>(INT64_MAX) || !objectPath(name, path))
        return -1;
    int fd = shm_open(path, O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    // The object is sparse; refusing what the file system could never hold is the nearest
    // thing to the commit check a paging-file section gets when it is made.
    struct statvfs fs;
    bool fits =
        fstatvfs(fd, &fs) != 0 || size <= static_cast<std::uint64_t>(fs.f_blocks) * fs.f_frsize;
    if (!fits || ftruncate(fd, static_cast<off_t>(size)) != 0) {
        shm_unlink(path);
        close(fd);
        return -1;
    }
    return fd;
}

int openSharedMemory(const char* name, bool readOnly) noexcept {
    char path[256];
    if (!objectPath(name, path))
        return -1;
    return shm_open(path, (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC, 0);
}

std::int64_t sharedMemorySize(int fd) noexcept {
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0)
        return -1;
    return static_cast<std::int64_t>(st.st_size);
}

void* mapSharedMemory(int fd, std::uint64_t offset, std::uint64_t length, bool readOnly) noexcept {
    if (fd < 0 || length == 0 || offset > static_cast<std::uint64_t>(INT64_MAX))
        return nullptr;
    void* p = mmap(nullptr, length, readOnly ? PROT_READ : PROT_READ | PROT_WRITE, MAP_SHARED, fd,
                   static_cast<off_t>(offset));
    return p == MAP_FAILED ? nullptr : p;
}

void unmapSharedMemory(void* address, std::uint64_t length) noexcept {
    if (address && length)
        munmap(address, length);
}

void closeSharedMemory(int fd) noexcept {
    if (fd >= 0)
        close(fd);
}

bool removeSharedMemory(const char* name) noexcept {
    char path[256];
    return objectPath(name, path) && shm_unlink(path) == 0;
}

void forEachSharedMemoryName(const std::function<void(const char*)>& visit) {
    DIR* dir = opendir("/dev/shm");
    if (!dir)
        return;
    while (const dirent* e = readdir(dir))
        if (e->d_name[0] != '.')
            visit(e->d_name);
    closedir(dir);
}

int currentProcessId() noexcept {
    int pid = g_pid.load(std::memory_order_relaxed);
    if (pid == 0) {
        static const bool registered = pthread_atfork(nullptr, nullptr, forgetPid) == 0;
        (void)registered;
        pid = static_cast<int>(getpid());
        g_pid.store(pid, std::memory_order_relaxed);
    }
    return pid;
}

bool processAlive(int pid) noexcept {
    if (pid <= 0 || (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM))
        return false;
    // A process that has ended but was not yet reaped by its parent still answers kill();
    // its state letter in /proc says so ('Z' zombie, 'X' dead).
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return true;
    char buf[512];
    ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    if (n <= 0)
        return true;
    buf[n] = 0;
    const char* paren = std::strrchr(buf, ')'); // the command name may hold anything
    return !(paren && paren[1] == ' ' && (paren[2] == 'Z' || paren[2] == 'X'));
}

void sleepMilliseconds(int ms) noexcept {
    if (ms <= 0)
        return;
    timespec t{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

} // namespace nvsupport::detail
