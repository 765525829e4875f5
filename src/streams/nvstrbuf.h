// nvstrbuf: a stream buffer in memory. Bytes are appended at the end and read from a read
// position that can be moved anywhere in the text (it never drops what was read).
//
//   nvstrbuf b("ab\ncd\n");
//   b.seekg(-2, 2);                  // two bytes before the end
//   int c = b.get();                 // 'd'
#pragma once

#include "nvbuf.h"

#include <cstdint>

/// Bytes in a malloc'ed block with a read position. eof() is a flag set only by get() and
/// read(): it answers whether the last of them found nothing unread; write() clears it.
/// Sizes are limited to 0x7FFFFFFE bytes.
class nvstrbuf : public nvbuf {
public:
    /// Empty.
    nvstrbuf();
    /// Holding the text `s`; null gives empty.
    explicit nvstrbuf(const char* s);
    /// Holding `n` bytes of `s`, NULs included; a null `s` or n <= 0 gives empty.
    nvstrbuf(const char* s, int n);
    ~nvstrbuf() override;

    /// The end-of-input flag.
    bool eof() const override { return m_eof; }
    /// Sets the flag to whether nothing is unread; -1 then, else the next byte as a signed
    /// char widened to int (so the byte 0xFF gives -1 too), advancing past it.
    int get() override;
    /// Sets the flag as get() does, then copies up to `n` unread bytes; returns the count.
    /// An n of 0x7FFFFFFF or more, or a null `buf`, returns 0.
    unsigned int read(char* buf, unsigned int n) override;
    /// Clears the flag and appends `n` bytes; returns n. An n of 0x7FFFFFFF or more, a null
    /// `data`, or a total that would pass 0x7FFFFFFE bytes, writes nothing and returns 0.
    unsigned int write(const char* data, unsigned int n) override;
    /// Always true.
    operator bool() const override { return true; }
    /// Read position = pos clamped into 0..length; returns it. A pos outside
    /// -2147483647..2147483646 returns -1 and does not move.
    int seekg(std::int64_t pos) override;
    /// From the start (whence 0), the read position (1) or the end (any other value),
    /// clamped and limited as seekg(pos).
    int seekg(std::int64_t offset, int whence) override;
    /// The read position.
    std::int64_t tellg() override { return m_pos; }

    /// All bytes held (read or not); NUL-terminated at length().
    const char* data() const noexcept { return m_data; }
    /// Number of bytes held.
    int length() const noexcept { return m_length; }

private:
    void append(const char* s, unsigned int n);

    bool m_eof = false;
    char* m_data = nullptr; ///< malloc'ed, NUL-terminated at m_length
    int m_length = 0;
    int m_capacity = 0;
    int m_pos = 0; ///< read position, 0..m_length
};
