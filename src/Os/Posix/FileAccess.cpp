#include "FileAccess_p.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nvsupport::detail {
namespace {

int openNoInterrupt(const char* path, int flags, mode_t mode = 0) noexcept {
    int fd;
    do
        fd = ::open(path, flags | O_CLOEXEC | O_NONBLOCK, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

bool pathExists(const char* path) noexcept {
    return path && *path && ::faccessat(AT_FDCWD, path, F_OK, AT_EACCESS) == 0;
}

bool pathAccessible(const char* path, bool write) noexcept {
    return path && *path && ::faccessat(AT_FDCWD, path, write ? W_OK : R_OK, AT_EACCESS) == 0;
}

bool probeOpen(const char* path, bool write) noexcept {
    if (!path || !*path)
        return false;
    // O_NONBLOCK: a FIFO without a partner must not hang the probe.
    if (!write) {
        int fd = openNoInterrupt(path, O_RDONLY);
        if (fd < 0)
            return false;
        struct stat st {};
        bool isDir = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
        ::close(fd);
        return !isDir;
    }
    int fd = openNoInterrupt(path, O_WRONLY | O_APPEND);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    if (errno != ENOENT)
        return false;
    // Missing: create it exclusively, so that what gets deleted is only what this call made.
    // O_EXCL does not follow a dangling link, so the link's target is never created.
    fd = openNoInterrupt(path, O_WRONLY | O_APPEND | O_CREAT | O_EXCL, 0666);
    if (fd < 0) {
        if (errno != EEXIST)
            return false;
        fd = openNoInterrupt(path, O_WRONLY | O_APPEND); // someone else made it meanwhile
        if (fd < 0)
            return false;
        ::close(fd);
        return true;
    }
    ::close(fd);
    ::unlink(path);
    return true;
}

} // namespace nvsupport::detail
