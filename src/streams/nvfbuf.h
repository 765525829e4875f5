// nvfbuf: a stream buffer on a C runtime FILE*, optionally holding a FileLock on the file's
// path while it is open. Positions are 64-bit.
//
//   nvfbuf out("result.txt", NV_OPEN_WRITE | NV_OPEN_DELETE, true); // locked, recreated
//   if (out)
//       out.write("v=1\n", 4);
//   out.close();                                                   // also unlocks
#pragma once

#include "../paths/FileLock.h"
#include "nvbuf.h"

#include <cstdint>
#include <cstdio>

/// Open-mode bits of nvfbuf::open and nvfstream.
enum nvOpenMode : int {
    NV_OPEN_READ = 0x1,     ///< read
    NV_OPEN_WRITE = 0x2,    ///< write
    NV_OPEN_APPEND = 0x8,   ///< append
    NV_OPEN_BINARY = 0x80,  ///< binary ("b" is added to the fopen mode)
    NV_OPEN_DELETE = 0x100, ///< with write: delete an existing file before creating it
};

/// A buffer on a FILE* (null when closed) that it closes when done. Every operation on a
/// closed buffer is harmless: reads give 0 or -1, writes 0.
class nvfbuf : public nvbuf {
public:
    /// A closed buffer.
    nvfbuf() noexcept = default;
    /// Wraps `f` (null gives a closed buffer); the buffer closes it.
    explicit nvfbuf(FILE* f) noexcept : m_file(f) {}
    /// Constructs closed, then open(path, mode, lock).
    nvfbuf(const char* path, int mode, bool lock = false);
    /// Closes as close() does.
    ~nvfbuf() override;

    /// fclose()s the file, forgets it and releases a held lock; nothing when closed.
    void close() override;
    /// True when closed, else feof() of the file.
    bool eof() const override;
    /// True when closed, else ferror() of the file.
    bool fail() const override;
    /// fgetc(): the next byte as 0..255, or -1 at end of file, on error or when closed.
    int get() override;
    /// fread() of up to `n` bytes; 0 when closed or `buf` is null.
    unsigned int read(char* buf, unsigned int n) override;
    /// fwrite() of `n` bytes; 0 when closed or `data` is null.
    unsigned int write(const char* data, unsigned int n) override;
    /// fputc(); nothing when closed.
    void put(char c) override;
    /// Whether a file is open.
    operator bool() const override { return m_file != nullptr; }
    /// Seeks to byte `pos` from the start: 0 on success, -1 on failure, 0 when closed.
    int seekg(std::int64_t pos) override;
    /// Seeks by `offset` from whence (SEEK_SET 0, SEEK_CUR 1, SEEK_END 2): 0 on success, -1
    /// on failure (a bad whence included), 0 when closed.
    int seekg(std::int64_t offset, int whence) override;
    /// The file position; -1 when closed.
    std::int64_t tellg() override;

    /// Hands out the FILE* and forgets it, without closing it or releasing the lock; null
    /// when closed.
    virtual FILE* detach();
    /// Opens `path` (any file open before is closed first). With `lock`, first takes the
    /// FileLock on path and leaves the buffer closed when that fails. The fopen mode follows
    /// the read, write and append bits (NV_OPEN_*): none or read "r", write "w", read+write
    /// "w+", append "a", read+append "r", write+append "a", all three "a+". For "w" and
    /// "w+" with NV_OPEN_DELETE an existing file is deleted first, and the buffer stays
    /// closed when it still exists afterwards. NV_OPEN_BINARY adds "b". A null or empty
    /// path opens nothing. Returns whether a file is open now; failures report nothing else.
    /// A file opened here does no stdio locking of its own: one thread at a time uses it.
    virtual bool open(const char* path, int mode, bool lock = false);
    /// The file's descriptor; -1 when closed.
    virtual int fd();

    /// The FILE* (null when closed), for derived buffers and stream helpers.
    FILE* file() const noexcept { return m_file; }

protected:
    /// Releases the lock if this buffer holds it.
    void releaseLock();

    FILE* m_file = nullptr;
    FileLock m_lock;
};

namespace nvsupport::detail {
/// The fopen mode open() uses for the NV_OPEN_* bits of `mode` ("r", "w", "w+", "a", "a+",
/// each followed by "b" with NV_OPEN_BINARY). The result is a static string.
const char* fopenModeFor(int mode) noexcept;
} // namespace nvsupport::detail
