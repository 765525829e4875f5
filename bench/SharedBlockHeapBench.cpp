// The shared block heap against Boost.Interprocess in shared memory, one block of 100 data
// bytes at a time. A heap cycle is the whole hand-over of one block: alloc, release, get,
// free (four locked operations). The closest Boost equivalent of a heap of equal blocks is
// node_allocator (a segregated-storage pool of fixed-size nodes kept in a
// managed_shared_memory segment, behind a process-shared mutex): its cycle is allocate +
// deallocate. The segment's general allocator (allocate/deallocate of 116 bytes) is shown
// too. The *_Contended variants run the same loop in a forked child on the same heap or
// segment while the parent is measured.
#include <nvsupport/ipc/SharedBlockHeap.h>

#include <benchmark/benchmark.h>
#include <boost/interprocess/allocators/node_allocator.hpp>
#include <boost/interprocess/managed_shared_memory.hpp>

#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace bip = boost::interprocess;

namespace {

constexpr int kBlockBytes = 100;
constexpr int kBlocks = 1024;

struct Block {
    char data[kBlockBytes];
};
using NodeAllocator = bip::node_allocator<Block, bip::managed_shared_memory::segment_manager>;

// Runs `cycle` in a forked child until the parent has finished measuring.
template <class Cycle> class Rival {
public:
    Rival(bool on, Cycle cycle) {
        if (!on)
            return;
        m_stop = static_cast<std::atomic<int>*>(mmap(nullptr, sizeof(std::atomic<int>),
                                                     PROT_READ | PROT_WRITE,
                                                     MAP_SHARED | MAP_ANONYMOUS, -1, 0));
        new (m_stop) std::atomic<int>(0);
        m_pid = fork();
        if (m_pid == 0) {
            while (m_stop->load(std::memory_order_relaxed) == 0)
                cycle();
            _exit(0);
        }
    }
    ~Rival() {
        if (m_pid > 0) {
            m_stop->store(1);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_stop)
            munmap(m_stop, sizeof(std::atomic<int>));
    }

private:
    std::atomic<int>* m_stop = nullptr;
    pid_t m_pid = -1;
};

void heapCycle(SharedBlockManager* heap) {
    void* data;
    std::int64_t block;
    if (heap->alloc(&data, &block) != SBM_OK)
        return;
    static_cast<char*>(data)[0] = 1;
    heap->release(block);
    heap->get(&data, block);
    heap->release(block);
    heap->free(block);
}

void runHeap(benchmark::State& state, bool contended) {
    SharedBlockToken token(kBlockBytes, kBlocks);
    SharedBlockManager* heap = token.get();
    const std::uint64_t sleeps = sp_GetSharedHeapContentionCount();
    {
        Rival rival(contended, [heap] { heapCycle(heap); });
        for (auto _ : state)
            heapCycle(heap);
    }
    state.counters["sleeps"] = static_cast<double>(sp_GetSharedHeapContentionCount() - sleeps);
}

void BM_SharedHeapCycle(benchmark::State& state) {
    runHeap(state, false);
}
BENCHMARK(BM_SharedHeapCycle);

void BM_SharedHeapCycle_Contended(benchmark::State& state) {
    runHeap(state, true);
}
BENCHMARK(BM_SharedHeapCycle_Contended)->UseRealTime();

// A segment removed again when the benchmark ends.
struct Segment {
    std::string name = "nvbench_boost_" + std::to_string(getpid());
    bip::managed_shared_memory memory;
    Segment()
        : memory((bip::shared_memory_object::remove(name.c_str()), bip::create_only), name.c_str(),
                 4 << 20) {}
    ~Segment() { bip::shared_memory_object::remove(name.c_str()); }
};

void runBoostPool(benchmark::State& state, bool contended) {
    Segment segment;
    NodeAllocator pool(segment.memory.get_segment_manager());
    auto cycle = [&pool] {
        auto p = pool.allocate(1);
        p->data[0] = 1;
        benchmark::DoNotOptimize(p->data);
        pool.deallocate(p, 1);
    };
    Rival rival(contended, cycle);
    for (auto _ : state)
        cycle();
}

void BM_BoostNodePoolCycle(benchmark::State& state) {
    runBoostPool(state, false);
}
BENCHMARK(BM_BoostNodePoolCycle);

void BM_BoostNodePoolCycle_Contended(benchmark::State& state) {
    runBoostPool(state, true);
}
BENCHMARK(BM_BoostNodePoolCycle_Contended)->UseRealTime();

void runBoostSegment(benchmark::State& state, bool contended) {
    Segment segment;
    auto* manager = segment.memory.get_segment_manager();
    auto cycle = [manager] {
        auto* p = static_cast<char*>(manager->allocate(kBlockBytes + 16));
        p[0] = 1;
        benchmark::DoNotOptimize(p);
        manager->deallocate(p);
    };
    Rival rival(contended, cycle);
    for (auto _ : state)
        cycle();
}

void BM_BoostSegmentCycle(benchmark::State& state) {
    runBoostSegment(state, false);
}
BENCHMARK(BM_BoostSegmentCycle);

void BM_BoostSegmentCycle_Contended(benchmark::State& state) {
    runBoostSegment(state, true);
}
BENCHMARK(BM_BoostSegmentCycle_Contended)->UseRealTime();

} // namespace
