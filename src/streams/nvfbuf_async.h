// nvfbuf_async: a file buffer whose writes are carried out by a worker thread, so that a
// caller producing large output does not wait for the disk. Writes are queued with the file
// position they belong at; reads, re-opening, detaching and closing first wait for the queue.
//
//   nvfbuf_async out("result.bin", NV_OPEN_WRITE | NV_OPEN_BINARY);
//   char* block = new char[1 << 20];                // fill it, then hand it over:
//   out.takeAndWrite(block, 1 << 20);               // returns at once; the buffer deletes it
//   out.close();                                    // waits until everything is written
//   bool ok = out.allWritesCompleted();             // false after a full disk, for example
#pragma once

#include "nvfbuf.h"

#include <cstdint>
#include <cstdio>
#include <memory>

namespace nvsupport::detail {
struct AsyncWriteQueueItem;
struct AsyncFBufState;
class AsyncFBufThread;
} // namespace nvsupport::detail

/// A file buffer that hands its writes to a worker thread of its own.
///
/// The buffer has a logical position (what tellg() reports): where the caller's next write or
/// read takes effect. Writes are queued as commands with their position and return at once;
/// the worker carries them out in order. While nothing is queued the buffer is in direct mode
/// and small writes (below 129 bytes) go straight to the file. read(), open(), detach(),
/// close() and the destructor first wait until every queued command has been carried out,
/// and go back to direct mode. The worker thread is started by the first queued command,
/// sleeps (on a condition variable, without using the processor) while the queue is empty,
/// and ends at close(), detach() and destruction.
///
/// One caller thread at a time may use a buffer. Not copyable (as every buffer).
class nvfbuf_async : public nvfbuf {
public:
    /// A closed buffer: empty queue, no worker running, position 0, direct mode.
    nvfbuf_async();
    /// Wraps `f` (null gives a closed buffer), which the buffer closes. The logical position
    /// starts at the position of `f` (0 when it cannot be told).
    explicit nvfbuf_async(FILE* f);
    /// Constructs closed, then open(path, mode, lock).
    nvfbuf_async(const char* path, int mode, bool lock = false);
    /// Writes everything still queued, ends the worker, then closes as nvfbuf does.
    ~nvfbuf_async() override;

    /// Writes everything still queued, then closes as nvfbuf::close() does. Nothing when
    /// closed.
    void close() override;
    /// In direct mode feof() of the file (true when closed); otherwise whether the logical
    /// position has reached the file's current size.
    bool eof() const override;
    /// In direct mode fgetc() (-1 when closed); otherwise a one-byte read(). Gives the byte as
    /// 0..255, or -1 when nothing was read. Advances the logical position by what was read.
    int get() override;
    /// 0 when closed, `buf` is null or `n` is 0. Otherwise waits for the queue, then fread()s
    /// at the logical position and advances it by the count read, which it returns.
    unsigned int read(char* buf, unsigned int n) override;
    /// 0 when closed, `data` is null or `n` is 0. In direct mode with `n` below 129 the bytes
    /// are written at once and the count written is returned; otherwise they are copied into
    /// a new block and queued as takeAndWrite() does, and `n` is returned.
    unsigned int write(const char* data, unsigned int n) override;
    /// write(&c, 1).
    void put(char c) override;
    /// Waits for the queue, then writes at the logical position with fwrite() and advances it
    /// by the count written, which it returns; 0 when closed or for null `data`.
    unsigned int writeSync(const char* data, unsigned int n) override;
    /// Takes ownership of `data` (a block allocated with new[]) and queues it for writing at
    /// the logical position, which advances by `n`; returns `n` at once. When closed, or for
    /// `n` 0, the block is deleted and 0 returned.
    unsigned int takeAndWrite(const char* data, unsigned int n) override;
    /// Unlike the other buffers, takes ownership of `data` (a block allocated with new[]) as
    /// takeAndWrite() does, and queues it for writing at `pos`; the logical position does not
    /// change. Returns `n`. Refused with 0, the caller keeping `data`, when closed, `data` is
    /// null or `pos` is negative.
    unsigned int writeAt(std::int64_t pos, const char* data, unsigned int n) override;
    /// 0 when closed or `token` names no shared block heap manager. Otherwise n = min(length,
    /// the heap's block size) (a negative length counts as 0), queues the block for the worker
    /// to write at the logical position and then release and free, advances the logical
    /// position by n and returns n. A block the worker cannot get writes nothing.
    std::int64_t takeAndwriteSharedBlock(int token, std::int64_t handle,
                                         std::int64_t length) override;
    /// 1 when closed or `pos` is negative. Otherwise sets the logical position (in direct
    /// mode also seeking the file) and returns 0.
    int seekg(std::int64_t pos) override;
    /// In direct mode seeks the file (0 on success, -1 on failure) and takes the logical
    /// position from it. With commands queued, whence 0 is seekg(offset), whence 1 is
    /// seekg(tellg() + offset) and any other whence returns 1 without moving. 1 when closed.
    int seekg(std::int64_t offset, int whence) override;
    /// The logical position; 0 when closed.
    std::int64_t tellg() override;

    /// Waits for the queue, then hands out the FILE* as nvfbuf::detach() does (null when
    /// closed), positioned at the logical position; the logical position becomes 0.
    FILE* detach() override;
    /// Waits for the queue, then opens as nvfbuf::open() does. The logical position becomes
    /// the new file's position, -1 when the open failed. Returns whether a file is open.
    bool open(const char* path, int mode, bool lock = false) override;
    /// Always -1: the descriptor is not offered, since the worker may be using the file.
    int fd() override;

    /// Not in the original interface: waits for the queue, flushes the file, and answers
    /// whether every write since the file was opened (or wrapped) reached it in full. A full
    /// disk, a write error or a shared block that could not be got makes it false. The answer
    /// stays after close() and is reset by the next open().
    bool allWritesCompleted();
    /// Not in the original interface: how many writes have failed, as allWritesCompleted()
    /// counts them (each queued command, direct write or flush that fell short counts once).
    std::uint64_t failedWrites();

    /// Not in the original interface, for callers that read the FILE* with stdio themselves
    /// (nvfstream::gets and operator>>): waits for the queue and returns the file positioned
    /// at the logical position, in direct mode; null when closed. Call takePositionFromFile()
    /// after reading.
    FILE* fileForReading();
    /// Sets the logical position to the file's own position (after fileForReading()).
    void takePositionFromFile();

private:
    friend class nvsupport::detail::AsyncFBufThread;
    using Item = nvsupport::detail::AsyncWriteQueueItem;

    void queueItem(const Item& item);
    void queueWrite(const char* data, unsigned int n, std::int64_t pos);
    void runCommand(const Item& item);
    void setFilePointer(std::int64_t pos);
    void workerLoop();
    void finishQueuedWork();
    void stopWorker();
    void flushAndCheck();

    std::unique_ptr<nvsupport::detail::AsyncFBufState> m_state;
    std::int64_t m_logical = 0; ///< where the caller's next write or read takes effect
    bool m_direct = true;       ///< nothing queued: the caller may use the FILE* itself
};
