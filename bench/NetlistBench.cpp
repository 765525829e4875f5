// Netlist reading: SpiceStream (and NewSpiceStream) against a plain std::getline reader that
// does the same basic job, and against the raw cost of reading the bytes (nvfstream's get
// loop; fread + memchr). Two inputs: the largest model libraries of the corpus put together
// (argument 0; skipped without the corpus), and a generated 100 MB netlist (argument 1),
// written once to /tmp/nvbench-netlist-100mb.cir and reused by later runs.
#include <nvsupport/netlist/NewSpiceStream.h>
#include <nvsupport/netlist/SpiceStream.h>
#include <nvsupport/streams/nvfstream.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t kBigSize = 100u << 20;
const char* const kBigPath = "/tmp/nvbench-netlist-100mb.cir";

fs::path corpusModels() {
    if (const char* env = std::getenv("NVSUPPORT_CORPUS_DIR"))
        return fs::path(env) / "models";
    return fs::path(NVSUPPORT_BENCH_DATA_DIR) / "../../../shared/corpus/models";
}

// One block of a generated netlist: subcircuits, models, comments of both kinds,
// continuation lines, blank lines and parameter expressions, numbered by `n`.
std::string generatedBlock(int n) {
    std::string s = std::to_string(n);
    return "* block " + s +
           ": an amplifier cell\n"
           ".subckt cell" +
           s +
           " in out vdd vss\n"
           "+ params: w=" +
           s +
           "u l=0.18u\n"
           "M1 out in vss vss nch W={w*2} L={l} ; input device\n"
           "M2 out in vdd vdd pch W={w*{3+1}} L={l}\n"
           "R" +
           s + " out mid " + std::to_string(n % 97 + 1) +
           "k\n"
           "C" +
           s +
           " mid vss 10p ; compensation\n"
           "\n"
           ".ends cell" +
           s +
           "\n"
           ".model nch" +
           s +
           " NMOS (LEVEL=1 VTO=0.7 KP=110u GAMMA=0.4\n"
           "+   LAMBDA=0.04 PHI=0.7 CGSO=0.6n CGDO=0.6n)\n"
           "    * indented comment line\n"
           "X" +
           s + " a" + s + " b" + s + " vdd 0 cell" + s + "\n";
}

const std::string& bigFile() {
    static const std::string path = [] {
        std::error_code ec;
        if (fs::file_size(kBigPath, ec) < kBigSize || ec) {
            std::ofstream out(kBigPath, std::ios::binary | std::ios::trunc);
            out << "* generated netlist for nvbench\n";
            std::uintmax_t written = 0;
            for (int n = 0; written < kBigSize; ++n) {
                std::string b = generatedBlock(n);
                out << b;
                written += b.size();
            }
            out << ".end\n";
        }
        return std::string(kBigPath);
    }();
    return path;
}

// The largest model libraries of the corpus, joined into one temporary file.
const std::string& modelsFile() {
    static const std::string path = []() -> std::string {
        std::error_code ec;
        std::vector<std::pair<std::uintmax_t, fs::path>> files;
        if (!fs::is_directory(corpusModels(), ec))
            return "";
        for (const auto& e : fs::recursive_directory_iterator(corpusModels(), ec))
            if (e.is_regular_file())
                files.push_back({e.file_size(), e.path()});
        std::sort(files.rbegin(), files.rend());
        files.resize(std::min<std::size_t>(files.size(), 6));
        const std::string out = "/tmp/nvbench-netlist-models.lib";
        std::ofstream o(out, std::ios::binary | std::ios::trunc);
        for (const auto& f : files) {
            std::ifstream in(f.second, std::ios::binary);
            o << in.rdbuf() << "\n";
        }
        return out;
    }();
    return path;
}

const std::string& input(benchmark::State& state) {
    return state.range(0) == 0 ? modelsFile() : bigFile();
}

void report(benchmark::State& state, std::uintmax_t bytes, long statements) {
    state.SetBytesProcessed(std::int64_t(bytes) * state.iterations());
    state.counters["statements/s"] = benchmark::Counter(
        double(statements) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["statements"] = double(statements);
}

void BM_SpiceStream(benchmark::State& state) {
    const std::string& path = input(state);
    if (path.empty())
        return state.SkipWithError("no corpus");
    long statements = 0;
    for (auto _ : state) {
        SpiceStream in(path.c_str(), SPICE_NORVANE);
        JString s;
        int line;
        bool encoded;
        statements = 0;
        while (in.gets(&s, &line, &encoded)) {
            benchmark::DoNotOptimize(*s);
            in.flushBuffer();
            ++statements;
        }
    }
    report(state, fs::file_size(path), statements);
}
BENCHMARK(BM_SpiceStream)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_NewSpiceStream(benchmark::State& state) {
    const std::string& path = input(state);
    if (path.empty())
        return state.SkipWithError("no corpus");
    long statements = 0;
    for (auto _ : state) {
        NewSpiceStream in(path.c_str());
        JString s;
        int line;
        statements = 0;
        while (in.gets(&s, &line)) {
            benchmark::DoNotOptimize(*s);
            in.flushLitBuffer();
            ++statements;
        }
    }
    report(state, fs::file_size(path), statements);
}
BENCHMARK(BM_NewSpiceStream)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The plain reader: std::getline, '*' lines dropped, ';' comments cut, leading blanks
// dropped, '+' lines joined with a blank.
void BM_GetlineBaseline(benchmark::State& state) {
    const std::string& path = input(state);
    if (path.empty())
        return state.SkipWithError("no corpus");
    long statements = 0;
    for (auto _ : state) {
        std::ifstream in(path, std::ios::binary);
        std::string line, statement;
        bool have = false;
        statements = 0;
        while (std::getline(in, line)) {
            std::size_t b = line.find_first_not_of(" \t\r");
            if (b == std::string::npos || line[b] == '*')
                continue;
            std::size_t e = line.find(';', b);
            if (e == std::string::npos)
                e = line.size();
            if (line[b] == '+' && have) {
                statement += ' ';
                statement.append(line, b + 1, e - b - 1);
                continue;
            }
            if (have) {
                benchmark::DoNotOptimize(statement.data());
                ++statements;
            }
            statement.assign(line, b, e - b);
            have = true;
        }
        if (have) {
            benchmark::DoNotOptimize(statement.data());
            ++statements;
        }
    }
    report(state, fs::file_size(path), statements);
}
BENCHMARK(BM_GetlineBaseline)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_RawNvfstreamGet(benchmark::State& state) {
    const std::string& path = input(state);
    if (path.empty())
        return state.SkipWithError("no corpus");
    long lines = 0;
    for (auto _ : state) {
        nvfstream in(path.c_str(), NV_OPEN_READ | NV_OPEN_BINARY);
        lines = 0;
        for (int c; (c = in.get()) >= 0;)
            lines += c == '\n';
    }
    report(state, fs::file_size(path), lines);
}
BENCHMARK(BM_RawNvfstreamGet)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_RawFreadMemchr(benchmark::State& state) {
    const std::string& path = input(state);
    if (path.empty())
        return state.SkipWithError("no corpus");
    long lines = 0;
    std::vector<char> block(1 << 16);
    for (auto _ : state) {
        FILE* f = std::fopen(path.c_str(), "rb");
        lines = 0;
        for (std::size_t n; (n = std::fread(block.data(), 1, block.size(), f)) > 0;) {
            const char* p = block.data();
            const char* end = p + n;
            while ((p = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p))))) {
                ++lines;
                ++p;
            }
        }
        std::fclose(f);
    }
    report(state, fs::file_size(path), lines);
}
BENCHMARK(BM_RawFreadMemchr)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
