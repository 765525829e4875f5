// Writing 1 GB in 1 MB pieces: nvfbuf_async::takeAndWrite against plain fwrite. Reported per
// run: caller_ms, the time spent inside the write calls (what the producer waits for), and
// total_ms, from the first call until the file is complete (fclose / close returned). Both
// start with the same 1024 blocks made beforehand, outside the timing (takeAndWrite's worker
// deletes them; the fwrite runs delete them after the clock stops). A third run fwrites one
// cached 1 MB buffer 1024 times, for scale. Files go to /tmp and are deleted.

#include <nvsupport/streams/nvfbuf_async.h>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr unsigned kPiece = 1u << 20;
constexpr int kPieces = 1024; // 1 GB

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

const std::vector<char>& source() {
    static const std::vector<char> data = [] {
        std::vector<char> v(kPiece);
        for (std::size_t i = 0; i < v.size(); ++i)
            v[i] = char(i * 131 + (i >> 9));
        return v;
    }();
    return data;
}

std::string tempPath(const char* name) {
    return "/tmp/nvbench-" + std::to_string(getpid()) + "-" + name;
}

void report(benchmark::State& state, double caller, double total) {
    const double runs = double(state.iterations());
    state.counters["caller_ms"] = caller / runs;
    state.counters["total_ms"] = total / runs;
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kPieces * kPiece);
}

// 1024 blocks of 1 MB made with new[] and filled, as a producer hands them to takeAndWrite.
std::vector<char*> makeBlocks() {
    std::vector<char*> blocks(kPieces);
    for (char*& block : blocks)
        block = static_cast<char*>(std::memcpy(new char[kPiece], source().data(), kPiece));
    return blocks;
}

// fwrite of the blocks (the same data the asynchronous run hands over), or with `oneBuffer`
// of one 1 MB buffer 1024 times, which stays in the processor's cache.
void fwriteRun(benchmark::State& state, bool oneBuffer) {
    const std::string path = tempPath("fwrite.bin");
    double caller = 0, total = 0;
    for (auto _ : state) {
        std::vector<char*> blocks = makeBlocks();
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) {
            state.SkipWithError("cannot create the file in /tmp");
            break;
        }
        const Clock::time_point t0 = Clock::now();
        for (char* block : blocks)
            benchmark::DoNotOptimize(std::fwrite(oneBuffer ? blocks[0] : block, 1, kPiece, f));
        const Clock::time_point t1 = Clock::now();
        std::fclose(f);
        const Clock::time_point t2 = Clock::now();
        caller += ms(t1 - t0);
        total += ms(t2 - t0);
        state.SetIterationTime(std::chrono::duration<double>(t2 - t0).count());
        for (char* block : blocks)
            delete[] block;
        unlink(path.c_str());
    }
    report(state, caller, total);
}

void BM_Fwrite1GB(benchmark::State& state) {
    fwriteRun(state, false);
}

void BM_FwriteOneBuffer1GB(benchmark::State& state) {
    fwriteRun(state, true);
}

void BM_AsyncTakeAndWrite1GB(benchmark::State& state) {
    const std::string path = tempPath("async.bin");
    double caller = 0, total = 0;
    for (auto _ : state) {
        const std::vector<char*> blocks = makeBlocks();
        nvfbuf_async out(path.c_str(), NV_OPEN_WRITE | NV_OPEN_BINARY);
        if (!out) {
            state.SkipWithError("cannot create the file in /tmp");
            break;
        }
        const Clock::time_point t0 = Clock::now();
        for (char* block : blocks)
            out.takeAndWrite(block, kPiece); // the worker writes and deletes it
        const Clock::time_point t1 = Clock::now();
        out.close();
        const Clock::time_point t2 = Clock::now();
        caller += ms(t1 - t0);
        total += ms(t2 - t0);
        state.SetIterationTime(std::chrono::duration<double>(t2 - t0).count());
        if (!out.allWritesCompleted())
            state.SkipWithError("a write failed");
        unlink(path.c_str());
    }
    report(state, caller, total);
}

BENCHMARK(BM_FwriteOneBuffer1GB)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fwrite1GB)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AsyncTakeAndWrite1GB)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
