#include "FileSystem_p.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace nvsupport::detail {

namespace {

bool usable(const char* path) noexcept {
    return path && *path;
}

void closeQuietly(int fd) noexcept {
    if (fd >= 0)
        ::close(fd);
}

// Back to blocking mode once the open itself could not hang.
bool clearNonBlocking(int fd) noexcept {
    int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

bool writeAll(int fd, const char* data, ssize_t size) noexcept {
    while (size > 0) {
        ssize_t n = ::write(fd, data, static_cast<std::size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// Copies from `in` to `out` until the end of `in`, in large blocks.
bool pump(int in, int out) noexcept {
    constexpr std::size_t kBlock = 1 << 16;
    char small[4096];
    char* buffer = static_cast<char*>(std::malloc(kBlock));
    std::size_t size = buffer ? kBlock : sizeof small;
    if (!buffer)
        buffer = small;
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(in, buffer, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (!writeAll(out, buffer, n)) {
            ok = false;
            break;
        }
    }
    if (buffer != small)
        std::free(buffer);
    return ok;
}

} // namespace

FileKind fileKind(const char* path) noexcept {
    struct stat st;
    if (!usable(path) || ::stat(path, &st) != 0)
        return FileKind::Missing;
    if (S_ISDIR(st.st_mode))
        return FileKind::Directory;
    if (S_ISREG(st.st_mode))
        return FileKind::Regular;
    return FileKind::Other;
}

bool makeDirectory(const char* path) noexcept {
    return usable(path) && ::mkdir(path, 0777) == 0;
}

bool removeDirectory(const char* path) noexcept {
    return usable(path) && ::rmdir(path) == 0;
}

JString currentDirectory() {
    // glibc allocates a buffer of the right size when given none.
    char* cwd = ::getcwd(nullptr, 0);
    if (!cwd)
        return JString();
    JString result(cwd);
    std::free(cwd);
    return result;
}

bool fileIdentity(const char* path, FileIdentity* id) noexcept {
    struct stat st;
    if (!usable(path) || !id || ::stat(path, &st) != 0)
        return false;
    id->device = static_cast<std::uint64_t>(st.st_dev);
    id->inode = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

bool copyFileContents(const char* source, const char* destination) noexcept {
    if (!usable(source) || !usable(destination))
        return false;
    // Both ends are opened without blocking, so a FIFO at either end cannot hang the open.
    int in = ::open(source, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (in < 0)
        return false;
    struct stat inStat;
    if (::fstat(in, &inStat) != 0 || S_ISDIR(inStat.st_mode) || !clearNonBlocking(in)) {
        closeQuietly(in);
        return false;
    }
    // Not truncated on opening: the destination may turn out to be the source itself.
    int out = ::open(destination, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (out < 0) {
        closeQuietly(in);
        return false;
    }
    struct stat outStat;
    bool ok = ::fstat(out, &outStat) == 0 &&
              !(outStat.st_dev == inStat.st_dev && outStat.st_ino == inStat.st_ino) &&
              clearNonBlocking(out) && (!S_ISREG(outStat.st_mode) || ::ftruncate(out, 0) == 0);
    if (ok)
        ok = pump(in, out);
    closeQuietly(in);
    if (::close(out) != 0)
        ok = false;
    return ok;
}

} // namespace nvsupport::detail
