// Reading engineering numbers: sp_ConvertEngToReal over the component values found in the
// corpus netlists, against strtod and std::from_chars reading only the numeric part of the
// same values (the suffix stripped beforehand).

#include <nvsupport/text/EngNotation.h>

#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Values {
    std::vector<std::string> full;    // as written: 4k7, 10u, 1MEG, 2.2n...
    std::vector<std::string> numeric; // the numeric part alone: 4, 10, 1, 2.2...
};

const Values& values() {
    static const Values v = [] {
        Values out;
        std::ifstream in(NVSUPPORT_BENCH_DATA_DIR "/component-values.txt");
        if (!in)
            throw std::runtime_error("cannot open component-values.txt");
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty())
                continue;
            // The numeric part ends where strtod stops (the data has no 'd' exponents and
            // no hexadecimal text). std::from_chars takes no leading '+', so drop it.
            char* end = nullptr;
            std::strtod(line.c_str(), &end);
            std::string num(line.c_str(), std::size_t(end - line.c_str()));
            if (!num.empty() && num[0] == '+')
                num.erase(0, 1);
            out.full.push_back(line);
            out.numeric.push_back(num);
        }
        return out;
    }();
    return v;
}

void BM_ConvertEngToReal(benchmark::State& state) {
    const auto& in = values().full;
    for (auto _ : state) {
        for (const std::string& s : in) {
            char* end;
            double v = sp_ConvertEngToReal(s.c_str(), &end);
            benchmark::DoNotOptimize(v);
            benchmark::DoNotOptimize(end);
        }
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(in.size()));
}
BENCHMARK(BM_ConvertEngToReal);

void BM_strtod(benchmark::State& state) {
    const auto& in = values().numeric;
    for (auto _ : state) {
        for (const std::string& s : in) {
            char* end;
            double v = std::strtod(s.c_str(), &end);
            benchmark::DoNotOptimize(v);
            benchmark::DoNotOptimize(end);
        }
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(in.size()));
}
BENCHMARK(BM_strtod);

void BM_from_chars(benchmark::State& state) {
    const auto& in = values().numeric;
    for (auto _ : state) {
        for (const std::string& s : in) {
            double v = 0;
            auto r = std::from_chars(s.data(), s.data() + s.size(), v);
            benchmark::DoNotOptimize(v);
            benchmark::DoNotOptimize(r.ptr);
        }
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(in.size()));
}
BENCHMARK(BM_from_chars);

} // namespace
