#include <nvsupport/diag/NorvaneException.h>
#include <nvsupport/ipc/SharedBlock.h>
#include <nvsupport/ipc/SharedBlockHeap.h>
#include <nvsupport/ipc/SharedBlockHeap_p.h>
#include <nvsupport/ipc/SharedBlock_p.h>

#include "HeapPeerLoop.h"
#include "PeerProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>

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
        EXPECT_EQ(vp.unitsPerView, r[2]) << r[0];
        EXPECT_EQ(vp.blocksPerView, r[3]) << r[0];
        EXPECT_EQ(vp.numViews, r[4]) << r[0] << " x " << r[1];
        EXPECT_EQ(vp.stride, r[5]) << r[0];
    }
    EXPECT_EQ(sp_ComputeViewParameters(100, 10, 0).blocksPerView, 0);
    EXPECT_GE(sp_ComputeViewParameters(LLONG_MAX, LLONG_MAX, LLONG_MAX).stride, 1ll << 40);
    EXPECT_EQ(SharedBlockToken(100, 3).get()->getBlockSize(), 100);
    EXPECT_EQ(SharedBlockToken(40000, 2).get()->getBlockSize(), 40944);
}

TEST(SharedBlockHeapTest, BlockOperationsFollowTheStateTable) {
    SharedBlockToken token(100, 4);
    SharedBlockManager* heap = token.get();
    char* data[4];
    void* d = nullptr;
    std::int64_t block = -1;
    for (std::int64_t k = 0; k < 4; ++k) {
        ASSERT_EQ(heap->alloc(&d, &block), SBM_OK);
        EXPECT_EQ(block, k); // the free list starts in block order
        data[k] = static_cast<char*>(d);
    }
    EXPECT_EQ(data[3] - data[0], 3 * 116);
    EXPECT_EQ(heap->alloc(&d, &block), SBM_HEAP_FULL);
    EXPECT_EQ(heap->numBlocksAllocated(), 4);
    const struct {
        char op; // r release, g get, f free
        std::int64_t block;
        SharedBlockManagerError result;
    } steps[] = {{'g', 1, SBM_TAKEN},
                 {'f', 1, SBM_TAKEN},
                 {'r', 1, SBM_OK},
                 {'r', 1, SBM_NOT_TAKEN},
                 {'g', 1, SBM_OK},
                 {'r', 1, SBM_OK},
                 {'f', 1, SBM_OK},
                 {'r', 1, SBM_BAD_BLOCK},
                 {'g', 1, SBM_BAD_BLOCK},
                 {'f', 1, SBM_BAD_BLOCK},
                 {'r', 4, SBM_BAD_BLOCK},
                 {'g', -1, SBM_BAD_BLOCK},
                 {'f', INT64_MAX, SBM_BAD_BLOCK},
                 {'r', 3, SBM_OK},
                 {'f', 3, SBM_OK}};
    for (const auto& s : steps) {
        SharedBlockManagerError r = s.op == 'r'   ? heap->release(s.block)
                                    : s.op == 'g' ? heap->get(&d, s.block)
                                                  : heap->free(s.block);
        EXPECT_EQ(r, s.result) << s.op << s.block;
    }
    EXPECT_EQ(heap->numBlocksAllocated(), 2);
    EXPECT_EQ(heap->alloc(&d, &block), SBM_OK); // freed last, handed out first
    EXPECT_EQ(block, 3);
    EXPECT_EQ(d, data[3]);
    EXPECT_EQ(heap->alloc(nullptr, &block), SBM_OK);
    EXPECT_EQ(block, 1);
    EXPECT_EQ(heap->alloc(&d, nullptr), SBM_HEAP_FULL);

    std::int32_t state = 7; // an unknown state is corrupt for every operation
    std::memcpy(data[2] - 8, &state, 4);
    EXPECT_EQ(heap->release(2), SBM_CORRUPT);
    EXPECT_EQ(heap->get(&d, 2), SBM_CORRUPT);
    EXPECT_EQ(heap->free(2), SBM_CORRUPT);
    ASSERT_EQ(heap->release(0), SBM_OK);
    ASSERT_EQ(heap->free(0), SBM_OK);
    state = 1; // the head of the free list is not free
    std::memcpy(data[0] - 8, &state, 4);
    EXPECT_EQ(heap->alloc(&d, &block), SBM_CORRUPT);
    EXPECT_EQ(heap->get(&d, 0), SBM_OK); // left alone: it still reads as released
}

TEST(SharedBlockHeapTest, SharedLayoutAcrossViews) {
    SharedBlockToken token(40000, 20); // P = 8, U = 5: three views
    SharedBlockManager* heap = token.get();
    for (int k = 0; k < 20; ++k) {
        void* d;
        std::int64_t b;
        ASSERT_EQ(heap->alloc(&d, &b), SBM_OK);
        std::memset(d, 'a' + k, 40944);
    }
    ASSERT_EQ(heap->release(19), SBM_OK);
    auto* all = static_cast<char*>(sp_GetSharedBlock(*heap->getHeapName(), true));
    ASSERT_NE(all, nullptr);
    std::int64_t head[3];
    std::memcpy(head, all, sizeof head);
    EXPECT_EQ(head[0], 40000);
    EXPECT_EQ(head[1], 20);
    EXPECT_EQ(head[2], -1); // every block taken
    EXPECT_EQ(std::memcmp(all + 24, "\0\0\0\0NV_SharedBlockManager", 26), 0);
    for (int k : {0, 7, 8, 19}) {
        const char* b = all + kUnit * (1 + (k / 8) * 5) + 40960 * (k % 8);
        std::int64_t next;
        std::int32_t state;
        std::memcpy(&next, b, 8);
        std::memcpy(&state, b + 8, 4);
        EXPECT_EQ(next, -1) << k;
        EXPECT_EQ(state, k == 19 ? 1 : 2) << k;
        EXPECT_TRUE(b[16] == 'a' + k && b[16 + 40943] == 'a' + k) << k;
    }
    sp_ReleaseSharedBlock(all);
}

TEST(SharedBlockHeapTest, TokensShareManagersAndIdsAreNeverReused) {
    SharedBlockToken empty;
    EXPECT_TRUE(empty.getId() == -1 && !empty.get());
    EXPECT_EQ(SharedBlockToken(123456).get(), nullptr);
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
    EXPECT_EQ(m->alloc(&d, &b), SBM_NO_HEAP);
    EXPECT_EQ(m->release(0), SBM_NO_HEAP);
    EXPECT_EQ(m->get(&d, -1), SBM_NO_HEAP);
    EXPECT_EQ(m->free(0), SBM_NO_HEAP);
    EXPECT_EQ(m->getBlockSize() + m->numBlocksAllocated(), 0);
}

TEST(SharedBlockHeapTest, FailuresThrowMemoryException) {
    JString plain = sp_AllocateSharedBlock(kUnit); // a header unit and nothing behind it
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

TEST(SharedBlockHeapTest, HandOverBetweenTwoAttachmentsBeyondFourGigabytes) {
    constexpr int kBlocks = 300; // 16 MiB blocks: a 5 GB heap, sparse in memory
    SharedBlockToken producer(1 << 24, kBlocks);
    SharedBlockToken consumer(producer.get()->getHeapName());
    const std::int64_t size = producer.get()->getBlockSize();
    EXPECT_EQ(size, 257 * kUnit - 16);
    ASSERT_EQ(consumer.get()->getBlockSize(), size);
    void* d;
    std::int64_t b;
    for (int k = 0; k < kBlocks; ++k) {
        ASSERT_EQ(producer.get()->alloc(&d, &b), SBM_OK);
        static_cast<char*>(d)[0] = static_cast<char>(k);
        static_cast<char*>(d)[size - 1] = static_cast<char>(k ^ 0x5a);
        ASSERT_EQ(producer.get()->release(b), SBM_OK);
    }
    EXPECT_EQ(consumer.get()->numBlocksAllocated(), kBlocks);
    for (int k = kBlocks - 1; k >= 0; --k) {
        ASSERT_EQ(consumer.get()->get(&d, k), SBM_OK);
        EXPECT_EQ(static_cast<char*>(d)[0], static_cast<char>(k));
        EXPECT_EQ(static_cast<char*>(d)[size - 1], static_cast<char>(k ^ 0x5a));
        ASSERT_EQ(consumer.get()->release(k), SBM_OK);
        ASSERT_EQ(consumer.get()->free(k), SBM_OK);
    }
    EXPECT_EQ(producer.get()->numBlocksAllocated(), 0);
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
    EXPECT_TRUE(finished);
    EXPECT_EQ(result, SBM_OK);
    EXPECT_EQ(SharedHeapAccess::holder(heap), 0);
}

TEST(SharedBlockHeapTest, LockWaitsAndCountsContention) {
    SharedBlockToken token(100, 2);
    ASSERT_TRUE(SharedHeapAccess::lock(token.get()));
    EXPECT_EQ(SharedHeapAccess::holder(token.get()), getpid());
    const std::uint64_t before = sp_GetSharedHeapContentionCount();
    allocWaitsFor(token.get(), [&] {
        EXPECT_GE(sp_GetSharedHeapContentionCount(), before + 20);
        SharedHeapAccess::unlock(token.get());
    });
}

TEST(SharedBlockHeapTest, LockOfAKilledHolderIsTakenOver) {
    SharedBlockToken token(100, 4);
    heappeer::Peer holder({"hold", *token.get()->getHeapName()});
    ASSERT_EQ(holder.readUntil('L'), "L");
    EXPECT_EQ(SharedHeapAccess::holder(token.get()), holder.pid);
    // Not reaped before the take-over: the dead holder still has a process entry.
    allocWaitsFor(token.get(), [&] { kill(holder.pid, SIGKILL); });
    EXPECT_EQ(token.get()->numBlocksAllocated(), 1);
}

TEST(SharedBlockHeapTest, TwoProcessesHandBlocksBackAndForth) {
    SharedBlockToken token(100, 12); // both sides keep up to 8 in flight: the heap fills
    const int count = 5000;
    heappeer::Peer peer({"pingpong", *token.get()->getHeapName(), std::to_string(count), "8"});
    ASSERT_GT(peer.pid, 0);
    const std::string error =
        heappeer::run(token.get(), peer.fromPeer, peer.toPeer, count, 8, 1, 2);
    EXPECT_EQ(error, "");
    if (error.empty()) { // else the peer may wait for ever: it is killed on leaving
        EXPECT_EQ(peer.wait(), 0);
    }
    EXPECT_EQ(token.get()->numBlocksAllocated(), 0);
}

} // namespace
