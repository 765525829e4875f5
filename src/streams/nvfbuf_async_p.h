// The command queue of the asynchronous file buffer: one item per queued write, kept in a
// growable array with a head and a tail index.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

class SharedBlockManager;

namespace nvsupport::detail {

/// The commands a queue item carries.
enum AsyncCommand : std::uint32_t {
    kAsyncWriteData = 1,        ///< write `length` bytes of `data`, then delete[] it
    kAsyncWriteSharedBlock = 5, ///< write block `handle` of `manager`, then release and free it
};

/// One queued command.
struct AsyncWriteQueueItem {
    std::uint32_t sequence = 0;            ///< from a process-wide counter (nextAsyncSequence)
    const char* data = nullptr;            ///< bytes to write, owned by the item once queued
    std::int64_t length = 0;               ///< bytes to write
    std::int64_t handle = 0;               ///< shared block number (command 5)
    bool taken = false;                    ///< the worker has taken the item
    std::int64_t position = 0;             ///< file position to write at
    std::uint32_t command = 0;             ///< an AsyncCommand; anything else does nothing
    int token = -1;                        ///< id of the heap manager's token (command 5), else -1
    SharedBlockManager* manager = nullptr; ///< that manager, looked up on the caller's thread
};

/// The next value of the process-wide item counter (thread-safe, wraps around).
std::uint32_t nextAsyncSequence() noexcept;

/// The queue storage: items head..tail of a growable array (tail -1 when empty), 10 slots to
/// begin with. An item stays at the head while the worker carries it out. Not locked: the
/// buffer guards it with its queue mutex.
class AsyncWriteQueue {
public:
    bool empty() const noexcept { return m_tail < m_head; }
    std::int64_t size() const noexcept { return m_tail - m_head + 1; }
    std::int64_t head() const noexcept { return m_head; }
    std::int64_t tail() const noexcept { return m_tail; }
    std::size_t capacity() const noexcept { return m_items.size(); }
    AsyncWriteQueueItem& front() noexcept { return m_items[std::size_t(m_head)]; }

    /// Appends `item`. First, when the head index is above 32 and the head index divided by
    /// the number of live items (an integer division) is above 2, the live items move to the
    /// front (head 0). A full array grows to half its size plus the size needed. May throw
    /// std::bad_alloc, leaving the queue unchanged.
    void append(const AsyncWriteQueueItem& item) {
        const std::int64_t live = size();
        if (m_head > 32 && live > 0 && m_head / live > 2) {
            for (std::int64_t i = 0; i < live; ++i)
                m_items[std::size_t(i)] = m_items[std::size_t(m_head + i)];
            m_head = 0;
            m_tail = live - 1;
        }
        const std::size_t needed = std::size_t(m_tail + 2);
        if (needed > m_items.size())
            m_items.resize(m_items.size() / 2 + needed);
        m_items[std::size_t(++m_tail)] = item;
    }

    /// Drops the head item; an emptied queue starts again at head 0, tail -1.
    void removeHead() noexcept {
        if (empty())
            return;
        if (++m_head > m_tail) {
            m_head = 0;
            m_tail = -1;
        }
    }

private:
    std::vector<AsyncWriteQueueItem> m_items = std::vector<AsyncWriteQueueItem>(10);
    std::int64_t m_head = 0;
    std::int64_t m_tail = -1;
};

} // namespace nvsupport::detail
