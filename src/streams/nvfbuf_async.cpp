#include "nvfbuf_async.h"

#include "../Os/Posix/FileStream_p.h"
#include "../ipc/SharedBlockHeap.h"
#include "nvfbuf_async_p.h"

#include <QThread>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <utility>

namespace nvsupport::detail {

namespace {
std::atomic<std::uint32_t> g_sequence{0};
} // namespace

std::uint32_t nextAsyncSequence() noexcept {
    return g_sequence.fetch_add(1, std::memory_order_relaxed) + 1;
}

// The worker thread: runs the buffer's worker loop until the buffer asks it to stop.
class AsyncFBufThread : public QThread {
public:
    explicit AsyncFBufThread(nvfbuf_async* buffer) : m_buffer(buffer) {}

protected:
    void run() override { m_buffer->workerLoop(); }

private:
    nvfbuf_async* m_buffer;
};

// What the buffer shares with its worker. The queue, `stop` and `finishedBlocks` are guarded
// by queueMutex; the worker holds fileMutex for the whole of one command, and the caller
// takes it to look at the file while commands run. std::mutex rather than QMutex: its
// ordering is visible to ThreadSanitizer, which cannot see inside an uninstrumented Qt.
struct AsyncFBufState {
    AsyncWriteQueue queue;
    std::mutex queueMutex;
    std::mutex fileMutex;
    std::condition_variable workQueued; // the worker waits here while the queue is empty
    std::condition_variable queueEmpty; // the caller waits here for the queue to drain
    bool stop = false;                  // the worker ends once the queue is empty
    std::uint64_t finishedBlocks = 0;   // shared-block commands done since the caller looked

    std::unique_ptr<AsyncFBufThread> thread; // caller's thread only
    bool workerRunning = false;              // caller's thread only
    // Tokens of queued shared-block commands, oldest first, keeping their heap managers
    // alive. Tokens touch an unlocked process-wide registry, so they are made and dropped on
    // the caller's thread only; the worker uses the manager pointer of its item.
    std::deque<SharedBlockToken> heldTokens;

    // Where the worker left the FILE*, -1 when unknown. The worker's while commands run; the
    // caller's in direct mode and under fileMutex.
    std::int64_t workerPos = -1;
    std::uint64_t failed = 0; // writes that fell short; same ownership as workerPos
};

namespace {

// Writes `n` bytes in pieces that fit fwrite's unsigned count; returns the bytes written.
template <class WriteFn> std::int64_t writeAll(const char* data, std::int64_t n, WriteFn write) {
    constexpr std::int64_t kPiece = std::int64_t(1) << 30;
    std::int64_t done = 0;
    while (done < n) {
        const unsigned want = unsigned(std::min(kPiece, n - done));
        const unsigned got = write(data + done, want);
        done += got;
        if (got != want)
            break;
    }
    return done;
}

} // namespace
} // namespace nvsupport::detail

using namespace nvsupport::detail;

nvfbuf_async::nvfbuf_async() : m_state(std::make_unique<AsyncFBufState>()) {}

nvfbuf_async::nvfbuf_async(FILE* f) : nvfbuf(f), m_state(std::make_unique<AsyncFBufState>()) {
    // A wrapped file may already be positioned: the logical position starts there, so that
    // direct-mode writes and tellg() agree.
    if (m_file)
        m_logical = std::max<std::int64_t>(tellFile64(m_file), 0);
}

nvfbuf_async::nvfbuf_async(const char* path, int mode, bool lock)
    : m_state(std::make_unique<AsyncFBufState>()) {
    nvfbuf_async::open(path, mode, lock);
}

nvfbuf_async::~nvfbuf_async() {
    finishQueuedWork();
    stopWorker();
    // nvfbuf's destructor closes the file.
}

// --- the worker side

void nvfbuf_async::workerLoop() {
    AsyncFBufState& s = *m_state;
    std::unique_lock lock(s.queueMutex);
    for (;;) {
        s.workQueued.wait(lock, [&s] { return !s.queue.empty() || s.stop; });
        if (s.queue.empty())
            return; // asked to stop, and nothing is left
        s.queue.front().taken = true;
        const Item item = s.queue.front();
        lock.unlock();
        runCommand(item);
        lock.lock();
        s.queue.removeHead();
        if (item.command == kAsyncWriteSharedBlock)
            ++s.finishedBlocks;
        if (s.queue.empty())
            s.queueEmpty.notify_all();
    }
}

void nvfbuf_async::setFilePointer(std::int64_t pos) {
    AsyncFBufState& s = *m_state;
    if (pos == s.workerPos)
        return;
    seekFile64(m_file, pos, SEEK_SET);
    s.workerPos = pos;
}

void nvfbuf_async::runCommand(const Item& item) {
    AsyncFBufState& s = *m_state;
    std::lock_guard fileLock(s.fileMutex);
    const auto plainWrite = [this](const char* p, unsigned n) { return nvfbuf::write(p, n); };
    std::int64_t written = 0;
    bool got = true;
    switch (item.command) {
    case kAsyncWriteData:
        setFilePointer(item.position);
        written = writeAll(item.data, item.length, plainWrite);
        delete[] item.data;
        break;
    case kAsyncWriteSharedBlock: {
        setFilePointer(item.position);
        void* block = nullptr;
        SharedBlockManager* m = item.manager;
        got = m && m->get(&block, item.handle) == SBM_OK;
        if (got) {
            const std::int64_t n = std::min(item.length, m->getBlockSize());
            written = writeAll(static_cast<const char*>(block), n, plainWrite);
            m->release(item.handle);
            m->free(item.handle);
        }
        break;
    }
    default:
        return;
    }
    s.workerPos += written;
    if (!got || written != item.length)
        ++s.failed;
}

// --- the caller side

void nvfbuf_async::finishQueuedWork() {
    if (m_direct)
        return;
    AsyncFBufState& s = *m_state;
    std::uint64_t finished;
    {
        std::unique_lock lock(s.queueMutex);
        s.queueEmpty.wait(lock, [&s] { return s.queue.empty(); });
        finished = std::exchange(s.finishedBlocks, 0);
    }
    for (; finished > 0 && !s.heldTokens.empty(); --finished)
        s.heldTokens.pop_front();
    m_direct = true;
}

void nvfbuf_async::stopWorker() {
    AsyncFBufState& s = *m_state;
    if (!s.workerRunning)
        return;
    {
        std::lock_guard lock(s.queueMutex);
        s.stop = true;
    }
    s.workQueued.notify_all();
    s.thread->wait();
    // Taking the mutex once more orders everything the worker did before this point.
    std::lock_guard lock(s.queueMutex);
    s.stop = false;
    s.workerRunning = false;
}

void nvfbuf_async::flushAndCheck() {
    if (m_file && std::fflush(m_file) != 0)
        ++m_state->failed;
}

void nvfbuf_async::queueItem(const Item& item) {
    AsyncFBufState& s = *m_state;
    if (m_direct) {
        // The caller moved the file while in direct mode: the worker's first command seeks.
        m_direct = false;
        s.workerPos = -1;
    }
    if (!s.workerRunning) {
        try {
            if (!s.thread)
                s.thread = std::make_unique<AsyncFBufThread>(this);
            s.thread->start();
            s.workerRunning = s.thread->isRunning();
        } catch (const std::bad_alloc&) {
        }
    }
    std::uint64_t finished = 0;
    bool queued = false;
    if (s.workerRunning) {
        std::lock_guard lock(s.queueMutex);
        try {
            s.queue.append(item);
            queued = true;
        } catch (const std::bad_alloc&) {
        }
        finished = std::exchange(s.finishedBlocks, 0);
    }
    if (queued) {
        s.workQueued.notify_one();
    } else {
        // No thread or no memory for the queue: write it here, after what is queued, so
        // that nothing is lost and the order holds.
        finishQueuedWork();
        m_direct = false; // the file pointer is the worker's now, not the logical position
        runCommand(item);
        finished += item.command == kAsyncWriteSharedBlock;
    }
    for (; finished > 0 && !s.heldTokens.empty(); --finished)
        s.heldTokens.pop_front();
}

unsigned int nvfbuf_async::write(const char* data, unsigned int n) {
    if (!m_file || !data || n == 0)
        return 0;
    if (m_direct && n < 129) {
        const unsigned written = nvfbuf::write(data, n);
        m_logical += written;
        if (written != n)
            ++m_state->failed;
        return written;
    }
    char* copy = new (std::nothrow) char[n];
    if (!copy)
        return 0;
    std::memcpy(copy, data, n);
    return takeAndWrite(copy, n);
}

void nvfbuf_async::put(char c) {
    write(&c, 1);
}

unsigned int nvfbuf_async::writeSync(const char* data, unsigned int n) {
    if (!m_file || !data)
        return 0;
    if (!m_direct) {
        finishQueuedWork();
        seekFile64(m_file, m_logical, SEEK_SET);
    }
    const unsigned written = nvfbuf::write(data, n);
    m_logical += written;
    if (written != n)
        ++m_state->failed;
    return written;
}

unsigned int nvfbuf_async::takeAndWrite(const char* data, unsigned int n) {
    if (!data)
        return 0;
    if (!m_file || n == 0) {
        delete[] data;
        return 0;
    }
    queueWrite(data, n, m_logical);
    m_logical += n;
    return n;
}

unsigned int nvfbuf_async::writeAt(std::int64_t pos, const char* data, unsigned int n) {
    if (!m_file || !data || pos < 0)
        return 0;
    queueWrite(data, n, pos);
    return n;
}

// Queues the write of the `n` bytes at `data` (handed over) at file position `pos`.
void nvfbuf_async::queueWrite(const char* data, unsigned int n, std::int64_t pos) {
    Item item;
    item.sequence = nextAsyncSequence();
    item.command = kAsyncWriteData;
    item.data = data;
    item.length = n;
    item.position = pos;
    queueItem(item);
}

std::int64_t nvfbuf_async::takeAndwriteSharedBlock(int token, std::int64_t handle,
                                                   std::int64_t length) {
    if (!m_file)
        return 0;
    AsyncFBufState& s = *m_state;
    try {
        s.heldTokens.emplace_back(token);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    SharedBlockManager* m = s.heldTokens.back().get();
    if (!m) {
        s.heldTokens.pop_back();
        return 0;
    }
    Item item;
    item.sequence = nextAsyncSequence();
    item.command = kAsyncWriteSharedBlock;
    item.handle = handle;
    item.length = std::min(std::max<std::int64_t>(length, 0), m->getBlockSize());
    item.position = m_logical;
    item.token = token;
    item.manager = m;
    queueItem(item);
    m_logical += item.length;
    return item.length;
}

unsigned int nvfbuf_async::read(char* buf, unsigned int n) {
    if (!m_file || !buf || n == 0)
        return 0;
    if (!m_direct) {
        finishQueuedWork();
        seekFile64(m_file, m_logical, SEEK_SET);
    }
    const unsigned got = nvfbuf::read(buf, n);
    m_logical += got;
    return got;
}

int nvfbuf_async::get() {
    if (m_direct) {
        const int c = nvfbuf::get();
        if (c != EOF)
            ++m_logical;
        return c;
    }
    unsigned char c;
    return read(reinterpret_cast<char*>(&c), 1) == 1 ? c : -1;
}

bool nvfbuf_async::eof() const {
    if (m_direct)
        return nvfbuf::eof();
    AsyncFBufState& s = *m_state;
    std::lock_guard fileLock(s.fileMutex);
    // Seeking to the end also hands the worker's buffered bytes to the file; the worker's
    // next command seeks back to its own position.
    std::int64_t size = -1;
    if (seekFile64(m_file, 0, SEEK_END) == 0)
        size = tellFile64(m_file);
    s.workerPos = -1;
    return m_logical >= size;
}

int nvfbuf_async::seekg(std::int64_t pos) {
    if (!m_file || pos < 0)
        return 1;
    m_logical = pos;
    if (m_direct)
        seekFile64(m_file, pos, SEEK_SET);
    return 0;
}

int nvfbuf_async::seekg(std::int64_t offset, int whence) {
    if (!m_file)
        return 1;
    if (m_direct) {
        const int result = seekFile64(m_file, offset, whence);
        const std::int64_t pos = tellFile64(m_file);
        if (pos >= 0)
            m_logical = pos;
        return result;
    }
    std::int64_t target;
    switch (whence) {
    case SEEK_SET:
        return seekg(offset);
    case SEEK_CUR:
        return __builtin_add_overflow(m_logical, offset, &target) ? 1 : seekg(target);
    default:
        return 1;
    }
}

std::int64_t nvfbuf_async::tellg() {
    return m_file ? m_logical : 0;
}

FILE* nvfbuf_async::detach() {
    if (!m_direct) {
        // The file goes out where the caller's next write would have gone, not where the
        // worker's last command (perhaps a writeAt) left it.
        finishQueuedWork();
        seekFile64(m_file, m_logical, SEEK_SET);
    }
    stopWorker();
    FILE* f = nvfbuf::detach();
    m_logical = 0;
    m_state->workerPos = 0;
    return f;
}

bool nvfbuf_async::open(const char* path, int mode, bool lock) {
    finishQueuedWork();
    const bool opened = nvfbuf::open(path, mode, lock); // closes the old file through close()
    m_state->failed = 0;
    m_state->workerPos = -1;
    m_logical = opened ? std::max<std::int64_t>(tellFile64(m_file), 0) : -1;
    return opened;
}

void nvfbuf_async::close() {
    finishQueuedWork();
    flushAndCheck();
    stopWorker();
    nvfbuf::close();
}

int nvfbuf_async::fd() {
    return -1;
}

bool nvfbuf_async::allWritesCompleted() {
    return failedWrites() == 0;
}

FILE* nvfbuf_async::fileForReading() {
    if (m_file && !m_direct) {
        finishQueuedWork();
        seekFile64(m_file, m_logical, SEEK_SET);
    }
    return m_file;
}

void nvfbuf_async::takePositionFromFile() {
    const std::int64_t pos = m_file && m_direct ? tellFile64(m_file) : -1;
    if (pos >= 0)
        m_logical = pos;
}

std::uint64_t nvfbuf_async::failedWrites() {
    finishQueuedWork();
    flushAndCheck();
    return m_state->failed;
}
