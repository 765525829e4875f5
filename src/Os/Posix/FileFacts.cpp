#include "FileFacts.h"
#include "FileFacts_p.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The error code of the last failed free-space query. Atomic only so that two threads
// failing at once do not race; nothing orders it against other memory.
std::atomic<int> g_freeSpaceError{0};

// The path as the system is given it: every '\' turned into '/'.
std::string systemPath(const char* path) {
    std::string s(path ? path : "");
    for (char& c : s)
        if (c == '\\')
            c = '/';
    return s;
}

// stat with links followed; false for a null or empty path or a missing object.
bool statPath(const char* path, struct stat* st) {
    if (!path || !*path)
        return false;
    return ::stat(systemPath(path).c_str(), st) == 0;
}

// A directory has no size of its own here, as on the product's first platform.
std::int64_t sizeOf(const struct stat& st) {
    return S_ISDIR(st.st_mode) ? 0 : static_cast<std::int64_t>(st.st_size);
}

int clampToInt(std::int64_t v) {
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

// Seconds and nanoseconds as one count of nanoseconds, saturated at the int64 limits
// (reached only for times beyond the year 2262).
std::int64_t nanoseconds(const struct timespec& t) {
    std::int64_t ns;
    if (__builtin_mul_overflow(static_cast<std::int64_t>(t.tv_sec), std::int64_t{1000000000},
                               &ns) ||
        __builtin_add_overflow(ns, static_cast<std::int64_t>(t.tv_nsec), &ns))
        return t.tv_sec < 0 ? INT64_MIN : INT64_MAX;
    return ns;
}

// Everything before the last separator ("." when there is none, "/" for a path in the root).
std::string directoryPart(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Copies the regular file `from` to the new file `to` (which must not exist), keeping its
// permission bits and times, then removes `from`. On failure nothing is left at `to`
// and `from` is untouched.
bool moveByCopy(const std::string& from, const std::string& to) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0)
        return false;
    struct stat st;
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return false;
    }
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    char buffer[1 << 15];
    for (;;) {
        ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (!writeAll(out, buffer, static_cast<std::size_t>(n))) {
            ok = false;
            break;
        }
    }
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    ok = ok && ::fchmod(out, st.st_mode & 07777) == 0 && ::futimens(out, times) == 0 &&
         ::fsync(out) == 0;
    ::close(in);
    if (::close(out) != 0)
        ok = false;
    if (ok && ::unlink(from.c_str()) == 0)
        return true;
    ::unlink(to.c_str());
    return false;
}

} // namespace

namespace nvsupport::detail {

bool fileStamp(const char* path, std::int64_t* mtimeNs, std::int64_t* size) {
    struct stat st;
    bool exists = statPath(path, &st);
    if (mtimeNs)
        *mtimeNs = exists ? nanoseconds(st.st_mtim) : -1;
    if (size)
        *size = exists ? sizeOf(st) : 0;
    return exists;
}

int lastFreeDiskSpaceError() noexcept {
    return g_freeSpaceError.load(std::memory_order_relaxed);
}

} // namespace nvsupport::detail

int sp_GetFileSize(const char* path) {
    struct stat st;
    if (!statPath(path, &st))
        return 0;
    return clampToInt(sizeOf(st));
}

int sp_GetFileModifiedTime(const JString& path) {
    struct stat st;
    if (!statPath(*path, &st))
        return -1;
    return clampToInt(static_cast<std::int64_t>(st.st_mtim.tv_sec));
}

std::int64_t sp_GetFileSize64(const char* path) {
    struct stat st;
    return statPath(path, &st) ? sizeOf(st) : -1;
}

std::int64_t sp_GetFileSize64(int fd) {
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return -1;
    return sizeOf(st);
}

std::int64_t sp_TellFilePos(FILE* file) {
    if (!file)
        return -1;
    return static_cast<std::int64_t>(::ftello(file));
}

int sp_SeekFilePos(FILE* file, std::int64_t offset, int origin) {
    if (!file)
        return -1;
    return ::fseeko(file, static_cast<off_t>(offset), origin) == 0 ? 0 : -1;
}

bool sp_IsLink(const char* path) {
    struct stat st;
    if (!path || !*path)
        return false;
    return ::lstat(systemPath(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool sp_MoveFile(const JString& from, const JString& to) {
    if (from.isEmpty() || to.isEmpty())
        return false;
    std::string source = systemPath(*from), target = systemPath(*to);
    // Like the product's first platform, a move never replaces an existing file.
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    int error = errno;
    if (error == EINVAL || error == ENOSYS || error == ENOTSUP) {
        // A file system without the no-replace flag: check first, then rename.
        struct stat st;
        if (::lstat(target.c_str(), &st) == 0)
            return false;
        if (::rename(source.c_str(), target.c_str()) == 0)
            return true;
        error = errno;
    }
    return error == EXDEV && moveByCopy(source, target);
}

std::int64_t sp_GetFreeDiskSpace(const JString& path) {
    std::string where = path.isEmpty() ? std::string(".") : systemPath(*path);
    struct statvfs fs;
    int rc = ::statvfs(where.c_str(), &fs);
    // A file still to be made: its folder, which must be a directory (the trailing '/'
    // makes the system insist on that).
    if (rc != 0 && (errno == ENOENT || errno == ENOTDIR))
        rc = ::statvfs((directoryPart(where) + '/').c_str(), &fs);
    if (rc != 0) {
        g_freeSpaceError.store(errno, std::memory_order_relaxed);
        return -1;
    }
    std::uint64_t bytes;
    if (__builtin_mul_overflow(static_cast<std::uint64_t>(fs.f_bavail),
                               static_cast<std::uint64_t>(fs.f_frsize), &bytes) ||
        bytes > static_cast<std::uint64_t>(INT64_MAX))
        return INT64_MAX;
    return static_cast<std::int64_t>(bytes);
}

bool sp_ChangeDrive(const JString&) {
    return false;
}
