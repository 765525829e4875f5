#include <nvsupport/diag/NorvaneException.h>
#include <nvsupport/ipc/SharedBlock.h>
#include <nvsupport/ipc/SharedBlockHeap.h>
#include <nvsupport/ipc/SharedBlockHeap_p.h>
#include <nvsupport/ipc/SharedBlock_p.h>

#include "HeapPeerLoop.h"
#include "PeerProcess.h"

#include <gtest/gtest.h>

#include <sys/statvfs.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <map>
#include <thread>
#include <utility>
#include <vector>

namespace {

using nvsupport::detail::SharedHeapAccess;
using namespace std::chrono_literals;
constexpr std::int64_t kUnit = 65536;

TEST(SharedBlockHeapTest, ViewParametersFollowTheSizingRule) {
    const std::int64_t rows[][6] = {
        // block size, count -> U, P, V, T
        {100, 1, 1, 564, 1, 116},     {100, 565, 1, 564, 2, 116},
        {40000, 17, 5, 8, 3, 40960},  {4079, 16, 1, 16, 1, 4096},
        {4080, 17, 1, 16, 2, 4096},   {65520, 3, 1, 1, 3, 65536},
        {33000, 1, 8, 15, 1, 34952},  {100000, 1, 8, 5, 1, 104857},
        {131056, 2, 2, 1, 2, 131072}, {1 << 24, 300, 257, 1, 300, 16842752},
        {0, 0, 1, 4096, 1, 16},       {-5, -9, 1, 4096, 1, 16}};
    for (const auto& r : rows) {
        ViewParameters vp = sp_ComputeViewParameters(r[0], r[1], kUnit);
        EXPECT_EQ(
            (std::vector<std::int64_t>{vp.unitsPerView, vp.blocksPerView, vp.numViews, vp.stride}),
            (std::vector<std::int64_t>{r[2], r[3], r[4], r[5]}))
            << r[0] << " x " << r[1];
    }
    EXPECT_GE(sp_ComputeViewParameters(LLONG_MAX, LLONG_MAX, LLONG_MAX).stride, 1ll << 40);
    EXPECT_EQ(SharedBlockToken(100, 3).get()->getBlockSize(), 100);
    EXPECT_EQ(SharedBlockToken(40000, 2).get()->getBlockSize(), 40944);
}

TEST(SharedBlockHeapTest, BlockOperationsFollowTheStateTable) {
    SharedBlockToken token(100, 4);
    SharedBlockManager* heap = token.get();
    std::map<std::int64_t, void*> at; // data address of each block handed out
    // Op a alloc (block: the number expected; A: without outputs), r release, g get, f free,
    // n blocks allocated (block: the count), s set the state of block `result` to `block`.
    // The block freed last is handed out first; a free-list head that is not free is left
    // alone (it still reads as released).
    const struct {
        char op;
        std::int64_t block;
        int result;
    } steps[] = {{'a', 0, SBM_OK},        {'a', 1, SBM_OK},
                 {'a', 2, SBM_OK},        {'a', 3, SBM_OK},
                 {'a', 0, SBM_HEAP_FULL}, {'n', 4, 0},
                 {'g', 1, SBM_TAKEN},     {'f', 1, SBM_TAKEN},
                 {'r', 1, SBM_OK},        {'r', 1, SBM_NOT_TAKEN},
                 {'g', 1, SBM_OK},        {'r', 1, SBM_OK},
                 {'f', 1, SBM_OK},        {'r', 1, SBM_BAD_BLOCK},
                 {'g', 1, SBM_BAD_BLOCK}, {'f', 1, SBM_BAD_BLOCK},
                 {'r', 4, SBM_BAD_BLOCK}, {'g', -1, SBM_BAD_BLOCK},
                 {'r', 3, SBM_OK},        {'f', INT64_MAX, SBM_BAD_BLOCK},
                 {'f', 3, SBM_OK},        {'n', 2, 0},
                 {'a', 3, SBM_OK},        {'A', 1, SBM_OK},
                 {'a', 0, SBM_HEAP_FULL}, {'s', 7, 2},
                 {'r', 2, SBM_CORRUPT},   {'g', 2, SBM_CORRUPT},
                 {'f', 2, SBM_CORRUPT},   {'r', 0, SBM_OK},
                 {'f', 0, SBM_OK},        {'s', 1, 0},
                 {'a', 0, SBM_CORRUPT},   {'g', 0, SBM_OK}};
    for (const auto& s : steps) {
        void* d = nullptr;
        std::int64_t b = -1;
        if (s.op == 's')
            std::memcpy(static_cast<char*>(at[s.result]) - 8, &s.block, 4);
        if (s.op == 'n') {
            EXPECT_EQ(heap->numBlocksAllocated(), s.block);
        }
        const int r = s.op == 'a'   ? heap->alloc(&d, &b)
                      : s.op == 'A' ? heap->alloc(nullptr, nullptr)
                      : s.op == 'r' ? heap->release(s.block)
                      : s.op == 'g' ? heap->get(&d, s.block)
                      : s.op == 'f' ? heap->free(s.block)
                                    : s.result;
        EXPECT_EQ(r, s.result) << s.op << s.block;
        if (s.op == 'a' && r == SBM_OK) {
            EXPECT_TRUE(b == s.block && (!at.count(b) || at[b] == d)) << b;
            at[b] = d;
        }
    }
    EXPECT_EQ(static_cast<char*>(at[3]) - static_cast<char*>(at[0]), 3 * 116);
}

TEST(SharedBlockHeapTest, SharedLayoutAcrossViews) {
    SharedBlockToken token(40000, 20); // P = 8, U = 5: three views, 24 blocks in them
    SharedBlockManager* heap = token.get();
    auto* all = static_cast<char*>(sp_GetSharedBlock(*heap->getHeapName(), true));
    ASSERT_NE(all, nullptr);
    auto field = [](const char* p, int size) {
        std::int64_t v = 0;
        std::memcpy(&v, p, size);
        return size == 4 ? static_cast<std::int32_t>(v) : v;
    };
    auto blockAt = [all](int k) { return all + kUnit * (1 + (k / 8) * 5) + 40960 * (k % 8); };
    EXPECT_EQ(std::memcmp(all + 24, "\0\0\0\0NV_SharedBlockManager", 26), 0);
    // block -> next, state; just made: 0 .. 19 linked in order, the rest free and unlinked
    const std::int64_t fresh[][3] = {{0, 1, 0}, {7, 8, 0}, {19, -1, 0}, {20, -1, 0}, {23, -1, 0}};
    EXPECT_EQ(field(all + 16, 8), 0);
    for (const auto& r : fresh)
        EXPECT_TRUE(field(blockAt(int(r[0])), 8) == r[1] &&
                    field(blockAt(int(r[0])) + 8, 4) == r[2])
            << r[0];
    for (int k = 0; k < 20; ++k) {
        void* d;
        std::int64_t b;
        ASSERT_EQ(heap->alloc(&d, &b), SBM_OK);
        std::memset(d, 'a' + k, 40944);
    }
    ASSERT_EQ(heap->release(19), SBM_OK);
    EXPECT_TRUE(field(all, 8) == 40000 && field(all + 8, 8) == 20 && field(all + 16, 8) == -1);
    for (int k : {0, 7, 8, 19}) {
        const char* b = blockAt(k);
        EXPECT_TRUE(field(b, 8) == -1 && field(b + 8, 4) == (k == 19 ? 1 : 2)) << k;
        EXPECT_TRUE(b[16] == 'a' + k && b[16 + 40943] == 'a' + k) << k;
    }
    sp_ReleaseSharedBlock(all);
}

TEST(SharedBlockHeapTest, TokensShareManagersAndFailuresThrowMemoryException) {
    SharedBlockToken empty;
    EXPECT_TRUE(empty.getId() == -1 && !empty.get());
    int firstId;
    JString heapName;
    {
        SharedBlockToken a(64, 2);
        firstId = a.getId();
        ASSERT_GE(firstId, 1);
        EXPECT_EQ(a.get()->getId(), firstId);
        heapName = a.get()->getHeapName();
        SharedBlockToken copy(a), byId(firstId), assigned, other(64, 1);
        assigned = a;
        assigned = assigned;
        EXPECT_TRUE(copy.get() == a.get() && byId.get() == a.get() && assigned.get() == a.get());
        const int otherId = other.getId();
        EXPECT_GT(otherId, firstId);
        other = a; // drops the last reference to the second heap
        EXPECT_EQ(SharedBlockToken(otherId).get(), nullptr);
        EXPECT_EQ(other.get(), a.get());
    }
    SharedBlockToken stale(firstId); // the manager went with its last token
    EXPECT_TRUE(stale.getId() == -1 && !stale.get());
    EXPECT_GT(SharedBlockToken(64, 1).getId(), firstId + 1);

    SharedBlockToken gone(heapName); // the creator freed it: a manager without heap
    SharedBlockManager* m = gone.get();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->getHeapName(), heapName);
    void* d = nullptr;
    std::int64_t b = 0;
    EXPECT_EQ((std::vector<int>{m->alloc(&d, &b), m->release(0), m->get(&d, -1), m->free(0)}),
              (std::vector<int>(4, SBM_NO_HEAP)));
    EXPECT_EQ(m->getBlockSize() + m->numBlocksAllocated(), 0);

    // A block that is no heap (a header unit and nothing behind) maps but has no views.
    JString plain = sp_AllocateSharedBlock(kUnit);
    try {
        SharedBlockToken t(plain);
        ADD_FAILURE() << "attached to a block that is no heap";
    } catch (const MemoryException& e) {
        EXPECT_STREQ(e.text, "*** Fatal error, out of memory ***\nCould not map shared heap");
        EXPECT_EQ(e.type, Fatal);
    }
    EXPECT_EQ(nvsupport::detail::sharedBlockViewCount(*plain), 0); // its views undone
    sp_FreeSharedBlock(plain);
    try {
        SharedBlockToken t(INT_MAX, INT_MAX); // 2^62 bytes
        ADD_FAILURE() << "made an impossible heap";
    } catch (const MemoryException& e) {
        EXPECT_STREQ(e.text, "*** Fatal error, out of memory ***\nCould not allocate shared heap");
    }
}

// Runs alloc on another thread while the lock is held elsewhere; it must not finish while
// the holder lives, and must finish within 5 s once `endHolder` has run.
template <class EndHolder> void allocWaitsFor(SharedBlockManager* heap, EndHolder endHolder) {
    std::atomic<bool> done{false};
    SharedBlockManagerError result = SBM_CORRUPT;
    std::thread waiter([&] {
        void* d;
        std::int64_t b;
        result = heap->alloc(&d, &b);
        done = true;
    });
    std::this_thread::sleep_for(500ms); // longer than the 200 sleeps before a take-over
    EXPECT_FALSE(done) << "overtook a live holder";
    endHolder();
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (!done && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(10ms);
    const bool finished = done;
    if (!finished)
        SharedHeapAccess::unlock(heap); // let the thread end before failing
    waiter.join();
    EXPECT_TRUE(finished && result == SBM_OK);
    EXPECT_EQ(SharedHeapAccess::holder(heap), 0);
}

TEST(SharedBlockHeapTest, LockWaitsCountsContentionAndIsTakenFromAKilledHolder) {
    SharedBlockToken token(100, 4);
    ASSERT_TRUE(SharedHeapAccess::lock(token.get()));
    EXPECT_EQ(SharedHeapAccess::holder(token.get()), getpid());
    const std::uint64_t before = sp_GetSharedHeapContentionCount();
    allocWaitsFor(token.get(), [&] {
        EXPECT_GE(sp_GetSharedHeapContentionCount(), before + 20); // a sleep of 1 ms each
        SharedHeapAccess::unlock(token.get());
    });
    heappeer::Peer holder({"hold", *token.get()->getHeapName()});
    ASSERT_EQ(holder.readUntil('L'), "L");
    EXPECT_EQ(SharedHeapAccess::holder(token.get()), holder.pid);
    // Not reaped before the take-over: the dead holder still has a process entry.
    allocWaitsFor(token.get(), [&] { kill(holder.pid, SIGKILL); });
    EXPECT_EQ(token.get()->numBlocksAllocated(), 2);
}

TEST(SharedBlockHeapTest, TwoProcessesHandBlocksBackAndForth) {
    // A small heap handed round many times, and a 5 GB one (16 MiB blocks, sparse in memory)
    // whose every block, beyond 4 GB too, goes to the peer and back twice.
    const struct { int size, blocks, rounds; } heaps[] = {{100, 12, 5000}, {1 << 24, 300, 600}};
    struct statvfs shm {};
    const bool bigFits = statvfs("/dev/shm", &shm) == 0 &&
                         std::uint64_t(shm.f_blocks) * shm.f_frsize > (std::uint64_t(6) << 30);
    for (const auto& h : heaps) {
        if (std::int64_t(h.size) * h.blocks > (std::int64_t(1) << 32) && !bigFits)
            GTEST_SKIP() << "/dev/shm is smaller than 6 GB: the 5 GB heap cannot be made here";
        SharedBlockToken token(h.size, h.blocks);
        SharedBlockManager* heap = token.get();
        heappeer::Peer peer({"answer", *heap->getHeapName()});
        ASSERT_GT(peer.pid, 0);
        const std::int64_t size = heap->getBlockSize();
        std::map<std::int64_t, std::int64_t> seqOf; // block in flight -> its sequence number
        std::int64_t sent = 0, back = 0, msg[2];
        void* data = nullptr;
        auto send = [&] {
            msg[1] = sent++;
            return heap->alloc(&data, &msg[0]) == SBM_OK &&
                   heappeer::marks(data, size, msg[1], false, false) &&
                   heap->release(msg[0]) == SBM_OK && (seqOf[msg[0]] = msg[1], true) &&
                   write(peer.toPeer, msg, sizeof msg) == sizeof msg;
        };
        bool ok = true;
        while (ok && sent < h.blocks)
            ok = send();
        EXPECT_EQ(heap->alloc(&data, &msg[0]), SBM_HEAP_FULL);
        for (; ok && back < h.rounds; ++back) {
            ok = peer.read(msg, sizeof msg) && seqOf.count(msg[0]) &&
                 heap->get(&data, msg[0]) == SBM_OK &&
                 heappeer::marks(data, size, seqOf[msg[0]], true, true) &&
                 heap->release(msg[0]) == SBM_OK && heap->free(msg[0]) == SBM_OK;
            seqOf.erase(msg[0]);
            ok = ok && (sent == h.rounds || send());
        }
        EXPECT_TRUE(ok) << h.size << ": " << back << " blocks came back";
        if (!ok)
            continue;                          // the peer is killed on leaving
        close(std::exchange(peer.toPeer, -1)); // the end of its input
        EXPECT_EQ(peer.wait(), 0);
        EXPECT_EQ(heap->numBlocksAllocated(), 0);
    }
}

} // namespace
