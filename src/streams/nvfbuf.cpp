#include "nvfbuf.h"

#include "../Os/Posix/DirectoryListing_p.h"
#include "../Os/Posix/FileStream_p.h"

namespace nvsupport::detail {

const char* fopenModeFor(int mode) noexcept {
    const bool r = mode & NV_OPEN_READ;
    const bool w = mode & NV_OPEN_WRITE;
    const bool a = mode & NV_OPEN_APPEND;
    const bool b = mode & NV_OPEN_BINARY;
    // Index: append, write, read bits.
    static const char* const text[8] = {"r", "r", "w", "w+", "a", "r", "a", "a+"};
    static const char* const binary[8] = {"rb", "rb", "wb", "w+b", "ab", "rb", "ab", "a+b"};
    const int i = (a ? 4 : 0) | (w ? 2 : 0) | (r ? 1 : 0);
    return b ? binary[i] : text[i];
}

} // namespace nvsupport::detail

using namespace nvsupport::detail;

nvfbuf::nvfbuf(const char* path, int mode, bool lock) {
    open(path, mode, lock);
}

nvfbuf::~nvfbuf() {
    nvfbuf::close();
}

void nvfbuf::releaseLock() {
    if (m_lock.locked())
        m_lock.unlock();
}

void nvfbuf::close() {
    if (!m_file)
        return;
    std::fclose(m_file);
    m_file = nullptr;
    releaseLock();
}

bool nvfbuf::eof() const {
    return !m_file || std::feof(m_file);
}

bool nvfbuf::fail() const {
    return !m_file || std::ferror(m_file);
}

int nvfbuf::get() {
    return m_file ? std::fgetc(m_file) : -1;
}

unsigned int nvfbuf::read(char* buf, unsigned int n) {
    if (!m_file || !buf || n == 0)
        return 0;
    return unsigned(std::fread(buf, 1, n, m_file));
}

unsigned int nvfbuf::write(const char* data, unsigned int n) {
    if (!m_file || !data || n == 0)
        return 0;
    return unsigned(std::fwrite(data, 1, n, m_file));
}

void nvfbuf::put(char c) {
    if (m_file)
        std::fputc(static_cast<unsigned char>(c), m_file);
}

int nvfbuf::seekg(std::int64_t pos) {
    return m_file ? seekFile64(m_file, pos, SEEK_SET) : 0;
}

int nvfbuf::seekg(std::int64_t offset, int whence) {
    return m_file ? seekFile64(m_file, offset, whence) : 0;
}

std::int64_t nvfbuf::tellg() {
    return m_file ? tellFile64(m_file) : -1;
}

FILE* nvfbuf::detach() {
    FILE* f = m_file;
    m_file = nullptr;
    return f;
}

bool nvfbuf::open(const char* path, int mode, bool lock) {
    // The old file goes first, with its lock, so that re-opening a path we hold locked
    // takes the lock afresh instead of failing against ourselves.
    close();
    releaseLock();
    if (lock && !m_lock.lock(JString(path)))
        return false;
    const char* fmode = fopenModeFor(mode);
    if (fmode[0] == 'w' && (mode & NV_OPEN_DELETE) && fileExists(path)) {
        removeFile(path);
        if (fileExists(path)) {
            releaseLock();
            return false;
        }
    }
    if (path && *path)
        m_file = std::fopen(path, fmode);
    // A buffer is used by one thread at a time, so stdio need not lock the files it opens.
    setCallerLocking(m_file);
    if (!m_file)
        releaseLock();
    return m_file != nullptr;
}

int nvfbuf::fd() {
    return m_file ? fileDescriptor(m_file) : -1;
}
