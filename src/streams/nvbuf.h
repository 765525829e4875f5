// nvbuf: the abstract byte buffer behind every stream of the library. A buffer reads and
// writes bytes on a file (nvfbuf), in memory (nvstrbuf) or into a message handler (nvstdbuf);
// streams (nvstream) own one and add formatting, line reading and counting on top.
//
//   nvstrbuf b("abc");
//   int c = b.get();                 // 'a'
//   b.write("xyz", 3);               // appended at the end
#pragma once

#include <cstdint>

/// A source and sink of bytes. The base class gives defaults built on the pure operations;
/// buffers cannot be copied or moved (streams hold them by pointer).
class nvbuf {
public:
    nvbuf() = default;
    nvbuf(const nvbuf&) = delete;
    nvbuf& operator=(const nvbuf&) = delete;
    virtual ~nvbuf();

    /// Ends the buffer's use of its device; the base does nothing.
    virtual void close();
    /// Whether the end of input has been reached.
    virtual bool eof() const = 0;
    /// Whether the device reports an error; the base answers false.
    virtual bool fail() const;
    /// The next byte, or -1 when nothing can be read.
    virtual int get() = 0;
    /// Reads up to `n` bytes into `buf`; returns the count read (0 when nothing can be read).
    virtual unsigned int read(char* buf, unsigned int n) = 0;
    /// Writes `n` bytes of `data`; returns the count written (0 when nothing can be written).
    virtual unsigned int write(const char* data, unsigned int n) = 0;
    /// Writes one byte; the base calls write(&c, 1).
    virtual void put(char c);
    /// Writes and returns only when the bytes are handed to the device; the base is write().
    virtual unsigned int writeSync(const char* data, unsigned int n);
    /// Takes ownership of `data`, a block allocated with new[], writes it with writeSync()
    /// and deletes it. Returns what writeSync returned. A null `data` writes nothing (0).
    virtual unsigned int takeAndWrite(const char* data, unsigned int n);
    /// Writes `n` bytes at position `pos` and moves back to where it was; returns what
    /// write() returned. Buffers that cannot seek write at their current position.
    virtual unsigned int writeAt(std::int64_t pos, const char* data, unsigned int n);
    /// Writes min(length, block size) bytes of the shared memory block `handle` of the heap
    /// named by `token`, then releases and frees the block. Returns the bytes written; 0 when
    /// the token names no heap manager or the block cannot be had.
    virtual std::int64_t takeAndwriteSharedBlock(int token, std::int64_t handle,
                                                 std::int64_t length);
    /// Whether the buffer has a usable device.
    virtual operator bool() const = 0;
    /// Moves the read/write position to `pos`; the base cannot seek and returns -1.
    virtual int seekg(std::int64_t pos);
    /// Moves the position by `offset` from the start (whence 0), the current position (1) or
    /// the end (2); the base cannot seek and returns -1.
    virtual int seekg(std::int64_t offset, int whence);
    /// The current position; the base returns -1.
    virtual std::int64_t tellg();
};
