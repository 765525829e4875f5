#include "AtomicFile_p.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nvsupport::detail {
namespace {

// Where a chain of symbolic links starting at `path` ends: the path of the first object
// that is not a link, or of the missing object a dangling link names. "" for a loop.
std::string followLinks(const char* path) {
    std::string current(path);
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 256), '\0');
        for (;;) {
            ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
            if (n < 0)
                return current;
            if (static_cast<std::size_t>(n) < target.size()) {
                target.resize(static_cast<std::size_t>(n));
                break;
            }
            target.resize(target.size() * 2); // the link grew since lstat
        }
        if (target.empty() || target[0] == '/') {
            current = target;
        } else {
            std::size_t slash = current.rfind('/');
            current = slash == std::string::npos ? target : current.substr(0, slash + 1) + target;
        }
    }
    return std::string();
}

bool writeAll(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

// Creates a new file beside `target` named ".<name>.<6 letters>" (O_EXCL, mode 0666 less the
// umask) and returns its descriptor, with its path in *tmpPath; -1 on failure.
int createTempBeside(const std::string& target, std::string* tmpPath) {
    static unsigned counter = 0;
    std::size_t slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.size() > 200) // keep the name within NAME_MAX
        base.resize(200);
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    unsigned long long seed = static_cast<unsigned long long>(ts.tv_nsec) ^
                              (static_cast<unsigned long long>(::getpid()) << 20);
    for (int attempt = 0; attempt < 100; ++attempt) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull + ++counter;
        std::string name = dir + "." + base + ".";
        unsigned long long r = seed >> 16;
        for (int i = 0; i < 6; ++i, r /= 62)
            name += kLetters[r % 62];
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            *tmpPath = std::move(name);
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

// Makes a finished rename durable; a failure here does not undo the replacement.
void syncDirectoryOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? std::string(".")
                      : slash == 0               ? std::string("/")
                                                 : path.substr(0, slash);
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool readTextFile(const char* path, std::string* bytes, TextStart* start) {
    bytes->clear();
    *start = TextStart::Plain;
    if (!path || !*path)
        return false;
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return false;
    }
    // The size is a hint only: the file may grow or shrink while it is read.
    std::size_t capacity = st.st_size > 0 ? static_cast<std::size_t>(st.st_size) + 1 : 4096;
    std::size_t used = 0;
    bytes->resize(capacity);
    for (;;) {
        if (used == bytes->size())
            bytes->resize(bytes->size() * 2);
        ssize_t n = ::read(fd, bytes->data() + used, bytes->size() - used);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            bytes->clear();
            return false;
        }
        if (n == 0)
            break;
        used += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes->resize(used);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes->data());
    if (used >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
        *start = TextStart::Utf16;
        bytes->erase(0, 2);
    } else if (used >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        *start = TextStart::Utf8;
        bytes->erase(0, 3);
    }
    return true;
}

bool replaceFileContents(const char* path, const std::string& bytes) {
    if (!path || !*path)
        return false;
    std::string target = followLinks(path);
    if (target.empty())
        return false;
    struct stat old;
    bool existed = ::stat(target.c_str(), &old) == 0;
    if (existed && S_ISDIR(old.st_mode))
        return false;
    // A file its caller may not write to stays as it is, as opening it for writing would.
    if (existed && ::access(target.c_str(), W_OK) != 0)
        return false;

    std::string tmp;
    int fd = createTempBeside(target, &tmp);
    if (fd < 0)
        return false;
    bool ok = true;
    if (existed) {
        // Owner first: changing it clears set-id bits, which the mode then restores.
        struct stat now;
        if (::fstat(fd, &now) == 0 && (now.st_uid != old.st_uid || now.st_gid != old.st_gid))
            (void)!::fchown(fd, old.st_uid, old.st_gid); // allowed only to some callers
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    }
    ok = ok && writeAll(fd, bytes.data(), bytes.size());
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    syncDirectoryOf(target);
    return true;
}

} // namespace nvsupport::detail
