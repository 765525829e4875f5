// Streams against the C and C++ runtimes: writing 1 GB through nvfstream in 100-byte and
// 64 KB pieces against fwrite of the same pieces, and reading the largest corpus model file
// line by line with nvstream::getline(JString*) against std::getline.
#include <nvsupport/streams/nvfstream.h>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kTotal = std::int64_t(1) << 30;

std::string tempFile() {
    return "/tmp/nvstreambench." + std::to_string(getpid());
}

std::vector<char> piece(std::size_t n) {
    std::vector<char> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = char('a' + i % 26);
    return v;
}

void BM_NvfstreamWrite(benchmark::State& state) {
    const auto data = piece(std::size_t(state.range(0)));
    const unsigned n = unsigned(data.size());
    const std::string path = tempFile();
    for (auto _ : state) {
        nvfstream out(path.c_str(), NV_OPEN_WRITE | NV_OPEN_BINARY);
        for (std::int64_t done = 0; done < kTotal; done += n)
            out.write(data.data(), n);
        out.close();
    }
    unlink(path.c_str());
    state.SetBytesProcessed(state.iterations() * kTotal);
}

void BM_FwriteWrite(benchmark::State& state) {
    const auto data = piece(std::size_t(state.range(0)));
    const std::size_t n = data.size();
    const std::string path = tempFile();
    for (auto _ : state) {
        FILE* f = std::fopen(path.c_str(), "wb");
        for (std::int64_t done = 0; done < kTotal; done += std::int64_t(n))
            std::fwrite(data.data(), 1, n, f);
        std::fclose(f);
    }
    unlink(path.c_str());
    state.SetBytesProcessed(state.iterations() * kTotal);
}

BENCHMARK(BM_FwriteWrite)->Arg(100)->Arg(65536)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NvfstreamWrite)->Arg(100)->Arg(65536)->Iterations(2)->Unit(benchmark::kMillisecond);

// The largest file under the corpus models folder ("" when there is none).
std::string largestModel() {
    std::string best;
    std::uintmax_t bestSize = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(NVSUPPORT_CORPUS_DIR "/models", ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file(ec) && it->file_size(ec) > bestSize) {
            bestSize = it->file_size(ec);
            best = it->path().string();
        }
    }
    return best;
}

void BM_NvGetline(benchmark::State& state) {
    const std::string path = largestModel();
    if (path.empty()) {
        state.SkipWithError("no corpus model file");
        return;
    }
    std::int64_t bytes = 0;
    for (auto _ : state) {
        nvfstream in(path.c_str(), NV_OPEN_READ);
        JString line;
        // Arg 1 drops the text (getline(nullptr)): the stream's own cost without the
        // JString block each line needs.
        JString* into = state.range(0) ? nullptr : &line;
        while (in.getline(into))
            benchmark::DoNotOptimize(*line);
        bytes += in.getCharCount();
    }
    state.SetBytesProcessed(bytes);
}

void BM_StdGetline(benchmark::State& state) {
    const std::string path = largestModel();
    if (path.empty()) {
        state.SkipWithError("no corpus model file");
        return;
    }
    std::int64_t bytes = 0;
    for (auto _ : state) {
        std::ifstream in(path, std::ios::binary);
        std::string line;
        while (std::getline(in, line))
            benchmark::DoNotOptimize(line.data());
        bytes += std::int64_t(fs::file_size(path));
    }
    state.SetBytesProcessed(bytes);
}

BENCHMARK(BM_StdGetline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NvGetline)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
