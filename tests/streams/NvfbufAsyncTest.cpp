#include <nvsupport/ipc/SharedBlockHeap.h>
#include <nvsupport/streams/nvfbuf_async.h>
#include <nvsupport/streams/nvfbuf_async_p.h>

#include "../paths/AsUnprivileged.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using nvtest::TempDir;
constexpr int RW = NV_OPEN_READ | NV_OPEN_WRITE | NV_OPEN_BINARY;
constexpr int W = NV_OPEN_WRITE | NV_OPEN_BINARY;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A new[] block holding `s`, as takeAndWrite and writeAt want it.
char* block(const std::string& s) {
    return std::copy(s.begin(), s.end(), new char[s.size() + 1]) - s.size();
}

std::string randomBytes(std::mt19937& rng, std::size_t n) {
    std::string s(n, '\0');
    for (char& c : s)
        c = char(rng());
    return s;
}

// Writes `data` at `pos` of a model file; holes read as zeros.
void put(std::string& file, std::int64_t pos, const std::string& data) {
    file.resize(std::max(file.size(), std::size_t(pos) + data.size()), '\0');
    file.replace(std::size_t(pos), data.size(), data);
}

// Compared without printing megabytes of binary on failure.
#define EXPECT_SAME_BYTES(a, b)                                                                    \
    EXPECT_TRUE((a) == (b)) << "sizes " << (a).size() << ", " << (b).size()

TEST(NvfbufAsyncTest, QueueGrowsAndCompacts) {
    nvsupport::detail::AsyncWriteQueue q;
    nvsupport::detail::AsyncWriteQueueItem item;
    std::vector<std::size_t> capacities{q.capacity()};
    for (int i = 0; i < 60; ++i) {
        item.position = i;
        q.append(item);
        if (q.capacity() != capacities.back())
            capacities.push_back(q.capacity());
    }
    // Full: half the size plus the size needed, 10 -> 5 + 11 -> 8 + 17 -> 12 + 26 ...
    EXPECT_EQ(capacities, (std::vector<std::size_t>{10, 16, 25, 38, 58, 88}));
    for (int i = 0; i < 41; ++i)
        q.removeHead();
    q.append(item); // 41 / 19 live items is 2 in integers, not above 2: stays
    EXPECT_EQ(q.head(), 41);
    for (int i = 0; i < 6; ++i)
        q.removeHead();
    q.append(item); // 47 / 14 > 2 and 47 > 32: the live items move to the front first
    EXPECT_EQ(q.head(), 0);
    EXPECT_EQ(q.tail(), 14);
    EXPECT_EQ(q.front().position, 47);
    while (!q.empty())
        q.removeHead();
    EXPECT_EQ(q.tail(), -1);
}

TEST(NvfbufAsyncTest, QueuedModeEdgesAndClosedBuffer) {
    TempDir dir;
    const std::string p = dir / "a.bin";
    nvfbuf_async b(p.c_str(), RW);
    ASSERT_TRUE(b);
    const std::string thousand(1000, 'x');
    EXPECT_EQ(b.write(thousand.data(), 1000), 1000u);
    EXPECT_EQ(b.tellg(), 1000); // at once
    EXPECT_TRUE(b.eof());       // queued: the logical position has reached the size
    EXPECT_TRUE(b.seekg(-1) == 1 && b.seekg(10, 2) == 1 && b.tellg() == 1000);
    EXPECT_EQ(b.get(), -1); // waits for the worker: nothing after the 1000 bytes
    EXPECT_EQ(slurp(p), thousand);
    EXPECT_EQ(b.writeAt(0, block("HEAD"), 4), 4u);
    EXPECT_EQ(b.tellg(), 1000);
    EXPECT_EQ(b.seekg(500), 0);
    EXPECT_FALSE(b.eof()); // the file holds at least 1000 bytes
    b.close();
    EXPECT_EQ(slurp(p), "HEAD" + thousand.substr(4));

    // A closed buffer refuses everything; takeAndWrite still deletes its block, writeAt
    // leaves it to the caller.
    char* keep = block("abc");
    EXPECT_TRUE(b.write("abc", 3) == 0 && b.takeAndWrite(block("abc"), 3) == 0 &&
                b.writeAt(0, keep, 3) == 0 && b.takeAndwriteSharedBlock(1, 0, 10) == 0 &&
                b.seekg(0) == 1 && b.get() == -1 && b.read(keep, 1) == 0 && b.eof() &&
                b.detach() == nullptr && !b.open((dir / "no/f").c_str(), W) && b.tellg() == 0);
    ASSERT_TRUE(b.open(p.c_str(), RW));
    EXPECT_EQ(b.writeAt(-1, keep, 3), 0u); // a negative position is refused too
    delete[] keep;
    EXPECT_EQ(b.fd(), -1);
}

// Random reads, writes, seeks and writeAt against a model of the file and of the rules of
// direct and queued mode.
TEST(NvfbufAsyncTest, InterleavedOperationsFollowTheModel) {
    TempDir dir;
    const std::string p = dir / "i.bin";
    nvfbuf_async b(p.c_str(), RW);
    std::mt19937 rng(7);
    std::string file;
    std::int64_t pos = 0;
    bool direct = true;
    for (int step = 0; step < 3000; ++step) {
        SCOPED_TRACE(step);
        const std::int64_t size = std::int64_t(file.size());
        const unsigned op = rng() % 9;
        if (op <= 3) { // write (small or large) or takeAndWrite
            const std::size_t n = rng() % 3 ? 1 + rng() % 140 : 129 + rng() % 3000;
            const std::string d = randomBytes(rng, n);
            const unsigned r =
                op == 3 ? b.takeAndWrite(block(d), unsigned(n)) : b.write(d.data(), unsigned(n));
            ASSERT_EQ(r, n);
            put(file, pos, d);
            pos += std::int64_t(n);
            direct = direct && n < 129 && op != 3;
        } else if (op == 4) {
            const std::int64_t at = std::int64_t(rng() % std::uint64_t(size + 100));
            const std::string d = randomBytes(rng, 1 + rng() % 300);
            ASSERT_EQ(b.writeAt(at, block(d), unsigned(d.size())), d.size());
            put(file, at, d);
            direct = false;
        } else if (op == 5) { // a target from just before the start to just after the end
            const int whence = int(rng() % 3);
            const std::int64_t base = whence == 0 ? 0 : whence == 1 ? pos : size;
            const std::int64_t off = std::int64_t(rng() % std::uint64_t(size + 20)) - 10 - base;
            const int r = b.seekg(off, whence);
            if (!direct && whence == 2) {
                ASSERT_EQ(r, 1);
            } else if (base + off < 0) {
                ASSERT_NE(r, 0);
            } else {
                ASSERT_EQ(r, 0);
                pos = base + off;
            }
        } else if (op == 6) {
            pos = std::int64_t(rng() % std::uint64_t(size + 10));
            ASSERT_EQ(b.seekg(pos), 0);
        } else if (op == 7) {
            const std::size_t n = 1 + rng() % 400;
            std::string got(n, '\0');
            got.resize(b.read(got.data(), unsigned(n)));
            ASSERT_EQ(got, pos < size ? file.substr(std::size_t(pos), n) : "");
            pos += std::int64_t(got.size());
            direct = true;
        } else {
            const int c = b.get();
            ASSERT_EQ(c, pos < size ? int((unsigned char)file[std::size_t(pos)]) : -1);
            pos += c >= 0;
            direct = true; // fgetc, or a one-byte read that waits for the queue
        }
        ASSERT_EQ(b.tellg(), pos);
    }
    b.close();
    EXPECT_TRUE(b.allWritesCompleted());
    EXPECT_SAME_BYTES(slurp(p), file);
}

TEST(NvfbufAsyncTest, SharedBlocksAreWrittenByTheWorker) {
    TempDir dir;
    const std::string p = dir / "shared.bin";
    std::string expect;
    nvfbuf_async b(p.c_str(), W);
    std::mt19937 rng(3);
    int heapId;
    {
        SharedBlockToken heap(4096, 8);
        SharedBlockManager* m = heap.get();
        heapId = heap.getId();
        // A block released holding random bytes is queued, then a plain write.
        const auto queue = [&](std::int64_t length) {
            void* data;
            std::int64_t k;
            ASSERT_EQ(m->alloc(&data, &k), SBM_OK);
            const std::string d = randomBytes(rng, std::size_t(m->getBlockSize()));
            std::memcpy(data, d.data(), d.size());
            ASSERT_EQ(m->release(k), SBM_OK);
            const std::int64_t n = std::clamp<std::int64_t>(length, 0, m->getBlockSize());
            EXPECT_EQ(b.takeAndwriteSharedBlock(heapId, k, length), n);
            expect += d.substr(0, std::size_t(n)) + "<between>";
            b.write("<between>", 9);
            EXPECT_EQ(b.tellg(), std::int64_t(expect.size()));
        };
        for (std::int64_t length : {4096, 100, 5000, 0, -5, 1}) // 5000: above the block size
            queue(length);
        EXPECT_EQ(b.takeAndwriteSharedBlock(-1, 0, 10), 0); // names no manager
        EXPECT_TRUE(b.allWritesCompleted());
        EXPECT_EQ(m->numBlocksAllocated(), 0); // each block released and freed
        queue(4096);                           // the caller's token goes before the worker is done
    }
    b.close();
    EXPECT_TRUE(b.allWritesCompleted());
    EXPECT_SAME_BYTES(slurp(p), expect);
    EXPECT_EQ(SharedBlockToken(heapId).get(), nullptr); // gone with the buffer's reference

    // A block that is not released cannot be got: nothing is written, and the query says so.
    ASSERT_TRUE(b.open(p.c_str(), W));
    SharedBlockToken heap(100, 2);
    void* data;
    std::int64_t k;
    ASSERT_EQ(heap.get()->alloc(&data, &k), SBM_OK);
    EXPECT_EQ(b.takeAndwriteSharedBlock(heap.getId(), k, 50), 50);
    EXPECT_EQ(b.failedWrites(), 1u);
    b.close();
    EXPECT_EQ(slurp(p), "");
}

// Closing, destroying, reopening or detaching with commands pending writes them all first.
TEST(NvfbufAsyncTest, PendingWorkIsNeverLost) {
    TempDir dir;
    std::mt19937 rng(11);
    const std::string p = dir / "pending.bin";
    for (int how = 0; how < 4; ++how) {
        SCOPED_TRACE(how);
        FILE* f = std::fopen(p.c_str(), "w+b");
        std::fputs("0123456789", f);
        auto* b = new nvfbuf_async(f); // starts at the file's position
        std::string expect = "0123456789";
        for (int i = 0; i < 64; ++i) {
            const std::string d = randomBytes(rng, 64 << 10);
            EXPECT_EQ(b->tellg(), std::int64_t(expect.size()));
            b->takeAndWrite(block(d), unsigned(d.size()));
            expect += d;
        }
        b->writeAt(5, block("patched"), 7);
        put(expect, 5, "patched");
        if (how == 0)
            b->close();
        else if (how == 1)
            delete b, b = nullptr;
        else if (how == 2)
            EXPECT_TRUE(b->open((dir / "other.bin").c_str(), W));
        else {
            EXPECT_EQ(b->detach(), f);
            EXPECT_EQ(std::ftell(f), std::int64_t(expect.size()));
            EXPECT_EQ(b->tellg(), 0);
            std::fclose(f);
        }
        EXPECT_SAME_BYTES(slurp(p), expect);
        delete b;
    }
}

TEST(NvfbufAsyncTest, WriteErrorsCanBeQueried) {
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    nvfbuf_async b("/dev/full", NV_OPEN_WRITE);
    EXPECT_EQ(b.takeAndWrite(block(std::string(1 << 20, 'a')), 1 << 20), 1u << 20);
    EXPECT_FALSE(b.allWritesCompleted());
    ASSERT_TRUE(b.open("/dev/full", NV_OPEN_WRITE)); // starts afresh
    EXPECT_EQ(b.write("abc", 3), 3u); // direct and buffered: fails when flushed at close
    b.close();
    EXPECT_EQ(b.failedWrites(), 1u); // the failure before the open is forgotten
}

// The worker sleeps while the queue is empty, so an idle buffer costs no processor time.
TEST(NvfbufAsyncTest, IdleWorkerSleeps) {
    TempDir dir;
    nvfbuf_async b((dir / "idle.bin").c_str(), W);
    b.takeAndWrite(block(std::string(4096, 'q')), 4096); // starts the worker
    ASSERT_EQ(b.seekg(0, 2), 1);                         // still in queued mode
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    timespec t0{}, t1{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t1);
    EXPECT_LT(double(t1.tv_sec - t0.tv_sec) + double(t1.tv_nsec - t0.tv_nsec) * 1e-9, 0.1);
}

} // namespace
