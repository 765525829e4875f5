#include "LockFile_p.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nvsupport::detail {
namespace {

// How often a lock taken on a file deleted meanwhile is retried before giving up as "in
// use": each retry means another holder came and went in between, which is rare.
constexpr int kAttempts = 8;

int openNoInterrupt(const char* path, int flags, mode_t mode = 0) noexcept {
    int fd;
    do
        fd = ::open(path, flags | O_CLOEXEC | O_NONBLOCK, mode); // a FIFO must not hang us
    while (fd < 0 && errno == EINTR);
    return fd;
}

// Sets (F_OFD_SETLK) or tests (F_OFD_GETLK) an exclusive lock over the whole file.
int ofdLock(int fd, int command, struct flock* fl) noexcept {
    std::memset(fl, 0, sizeof *fl);
    fl->l_type = F_WRLCK;
    fl->l_whence = SEEK_SET;
    fl->l_start = 0;
    fl->l_len = 0; // to the end, however the file grows
    int rc;
    do
        rc = ::fcntl(fd, command, fl);
    while (rc < 0 && errno == EINTR);
    return rc;
}

bool sameFile(int fd, const char* path) noexcept {
    struct stat open {};
    struct stat named {};
    if (::fstat(fd, &open) != 0 || ::stat(path, &named) != 0)
        return false;
    return open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

// The lock file exists but cannot be opened for writing: when someone holds its lock, that
// is "in use" rather than a permission problem (a reader may still test the lock).
int deniedOrInUse(const char* path, int openError) noexcept {
    int fd = openNoInterrupt(path, O_RDONLY);
    if (fd < 0)
        return openError;
    struct flock fl;
    bool held = ofdLock(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
    ::close(fd);
    return held ? EWOULDBLOCK : openError;
}

void writeAll(int fd, const char* text) noexcept {
    std::size_t left = std::strlen(text);
    off_t at = 0;
    while (left > 0) {
        ssize_t n = ::pwrite(fd, text, left, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // the lock holds without its note; nothing reads it back
        text += n;
        at += n;
        left -= static_cast<std::size_t>(n);
    }
}

} // namespace

int acquireLockFile(const char* path, const char* content, int* error) noexcept {
    int err = ENOENT;
    if (path && *path) {
        err = EWOULDBLOCK;
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            // No O_TRUNC: the file may be another holder's, whose note must survive.
            int fd = openNoInterrupt(path, O_WRONLY | O_CREAT, 0666);
            if (fd < 0) {
                err = errno;
                if (err == EACCES || err == EPERM)
                    err = deniedOrInUse(path, err);
                break;
            }
            struct flock fl;
            if (ofdLock(fd, F_OFD_SETLK, &fl) != 0) {
                // A conflicting lock answers EAGAIN or EACCES; both mean "held elsewhere".
                err = (errno == EAGAIN || errno == EACCES) ? EWOULDBLOCK : errno;
                ::close(fd);
                break;
            }
            if (!sameFile(fd, path)) {
                // The previous holder deleted the file between our open and our lock: this
                // lock guards nothing any more. Try again with what the path names now.
                ::close(fd);
                continue;
            }
            int rc;
            do
                rc = ::ftruncate(fd, 0);
            while (rc < 0 && errno == EINTR);
            writeAll(fd, content ? content : "");
            if (error)
                *error = 0;
            return fd;
        }
    }
    if (error)
        *error = err;
    return -1;
}

void releaseLockFile(int fd, const char* path) noexcept {
    if (fd < 0)
        return;
    if (path && *path && sameFile(fd, path))
        ::unlink(path);
    ::close(fd);
}

int lockErrorCategory(int error) noexcept {
    if (error == 0)
        return 0;
    if (error == EWOULDBLOCK || error == EAGAIN)
        return 1;
    if (error == EACCES || error == EPERM || error == EROFS)
        return 2;
    return 3;
}

} // namespace nvsupport::detail
