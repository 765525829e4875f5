#include "FileStream_p.h"

#include <cstdlib>
#include <cstring>
#include <stdio_ext.h>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace nvsupport::detail {

int seekFile64(FILE* f, std::int64_t offset, int whence) noexcept {
    if (!f || (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END))
        return -1;
    return fseeko(f, off_t(offset), whence) == 0 ? 0 : -1;
}

std::int64_t tellFile64(FILE* f) noexcept {
    if (!f)
        return -1;
    return std::int64_t(ftello(f));
}

int fileDescriptor(FILE* f) noexcept {
    return f ? fileno(f) : -1;
}

namespace {

// The line buffer of one thread, kept between calls so that lines that straddle the FILE's
// buffer allocate only while they grow.
struct LineBuffer {
    char* data = nullptr;
    std::size_t length = 0;
    std::size_t capacity = 0;
    ~LineBuffer() { std::free(data); }
    bool append(const char* p, std::size_t n) noexcept {
        if (length + n > capacity) {
            std::size_t cap = capacity ? capacity : 256;
            while (cap < length + n)
                cap *= 2;
            char* q = static_cast<char*>(std::realloc(data, cap));
            if (!q)
                return false;
            data = q;
            capacity = cap;
        }
        std::memcpy(data + length, p, n);
        length += n;
        return true;
    }
};
thread_local LineBuffer tlsLine;

// Holds the FILE's lock for one line; files whose caller does the locking are left alone
// (flockfile itself would still lock them).
struct FileLockGuard {
    FILE* f;
    explicit FileLockGuard(FILE* file) noexcept
        : f(__fsetlocking(file, FSETLOCKING_QUERY) == FSETLOCKING_BYCALLER ? nullptr : file) {
        if (f)
            flockfile(f);
    }
    ~FileLockGuard() {
        if (f)
            funlockfile(f);
    }
};

} // namespace

std::size_t readFileLine(FILE* f, const char** text) noexcept {
    *text = nullptr;
    if (!f)
        return 0;
    FileLockGuard guard(f);
#if defined(__GLIBC__)
    // Scan what the FILE has already read with memchr: a line inside its buffer is handed out
    // in place, the way getc's own macro consumes the buffer.
    LineBuffer* line = nullptr; // the thread's buffer, only for lines that straddle a refill
    for (;;) {
        char* p = f->_IO_read_ptr;
        char* end = f->_IO_read_end;
        if (p < end) {
            char* nl = static_cast<char*>(std::memchr(p, '\n', std::size_t(end - p)));
            std::size_t take = nl ? std::size_t(nl - p) + 1 : std::size_t(end - p);
            if (nl && !line) {
                f->_IO_read_ptr = p + take;
                *text = p;
                return take;
            }
            if (!line) {
                line = &tlsLine;
                line->length = 0;
            }
            if (!line->append(p, take))
                return 0;
            f->_IO_read_ptr = p + take;
            if (nl)
                break;
        }
        int c = getc_unlocked(f); // refills the buffer, or finds the end
        if (c == EOF)
            break;
        if (!line) {
            line = &tlsLine;
            line->length = 0;
        }
        char ch = char(c);
        if (!line->append(&ch, 1))
            return 0;
        if (c == '\n')
            break;
    }
    if (!line)
        return 0;
#else
    LineBuffer* line = &tlsLine;
    line->length = 0;
    for (int c; (c = getc_unlocked(f)) != EOF;) {
        char ch = char(c);
        if (!line->append(&ch, 1))
            return 0;
        if (c == '\n')
            break;
    }
#endif
    *text = line->data;
    return line->length;
}

void setCallerLocking(FILE* f) noexcept {
    if (f)
        __fsetlocking(f, FSETLOCKING_BYCALLER);
}

bool fileExists(const char* path) noexcept {
    struct stat st;
    return path && *path && ::lstat(path, &st) == 0;
}

} // namespace nvsupport::detail
