// JString against std::string and QByteArray doing the same jobs on 64-byte texts.
#include <nvsupport/core/JString.h>

#include <QByteArray>
#include <QHash>
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <strings.h>

namespace {

const char* const kText64 = "X1 net_0042 net_0043 sub_amp_stage PARAMS: gain=4k7 rload=10meg ";
const char* const kText64Upper = "X1 NET_0042 NET_0043 SUB_AMP_STAGE PARAMS: GAIN=4K7 RLOAD=10MEG ";
const char* const kPieces[5] = {"R1", " net_in", " net_out", " 4k7", " tc1=0.001"};

void BM_Copy_JString(benchmark::State& state) {
    JString src(kText64);
    for (auto _ : state) {
        JString c(src);
        benchmark::DoNotOptimize(c);
    }
}
BENCHMARK(BM_Copy_JString);

void BM_Copy_StdString(benchmark::State& state) {
    std::string src(kText64);
    for (auto _ : state) {
        std::string c(src);
        benchmark::DoNotOptimize(c);
    }
}
BENCHMARK(BM_Copy_StdString);

void BM_Copy_QByteArray(benchmark::State& state) {
    QByteArray src(kText64);
    for (auto _ : state) {
        QByteArray c(src);
        benchmark::DoNotOptimize(c);
    }
}
BENCHMARK(BM_Copy_QByteArray);

// Assigning one of two texts in turn, so every assignment changes the target.
void BM_Assign_JString(benchmark::State& state) {
    JString a(kText64), b(kText64Upper), dst;
    bool flip = false;
    for (auto _ : state) {
        dst = (flip = !flip) ? a : b;
        benchmark::DoNotOptimize(dst);
    }
}
BENCHMARK(BM_Assign_JString);

void BM_Assign_StdString(benchmark::State& state) {
    std::string a(kText64), b(kText64Upper), dst;
    bool flip = false;
    for (auto _ : state) {
        dst = (flip = !flip) ? a : b;
        benchmark::DoNotOptimize(dst);
    }
}
BENCHMARK(BM_Assign_StdString);

void BM_Assign_QByteArray(benchmark::State& state) {
    QByteArray a(kText64), b(kText64Upper), dst;
    bool flip = false;
    for (auto _ : state) {
        dst = (flip = !flip) ? a : b;
        benchmark::DoNotOptimize(dst);
    }
}
BENCHMARK(BM_Assign_QByteArray);

// A five-piece concatenation chain building a netlist line.
void BM_Concat5_JString(benchmark::State& state) {
    JString first(kPieces[0]);
    for (auto _ : state) {
        JString r(
            first.concat(kPieces[1]).concat(kPieces[2]).concat(kPieces[3]).concat(kPieces[4]));
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_Concat5_JString);

void BM_Concat5_StdString(benchmark::State& state) {
    std::string first(kPieces[0]);
    for (auto _ : state) {
        std::string r(first);
        r += kPieces[1];
        r += kPieces[2];
        r += kPieces[3];
        r += kPieces[4];
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_Concat5_StdString);

void BM_Concat5_QByteArray(benchmark::State& state) {
    QByteArray first(kPieces[0]);
    for (auto _ : state) {
        QByteArray r(first);
        r += kPieces[1];
        r += kPieces[2];
        r += kPieces[3];
        r += kPieces[4];
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_Concat5_QByteArray);

void BM_Hash_JString(benchmark::State& state) {
    JString s(kText64);
    for (auto _ : state)
        benchmark::DoNotOptimize(s.hashValue());
}
BENCHMARK(BM_Hash_JString);

void BM_Hash_StdString(benchmark::State& state) {
    std::string s(kText64);
    for (auto _ : state)
        benchmark::DoNotOptimize(std::hash<std::string>()(s));
}
BENCHMARK(BM_Hash_StdString);

void BM_Hash_QByteArray(benchmark::State& state) {
    QByteArray s(kText64);
    for (auto _ : state)
        benchmark::DoNotOptimize(qHash(s));
}
BENCHMARK(BM_Hash_QByteArray);

void BM_CaseBlindEqual_JString(benchmark::State& state) {
    JString a(kText64), b(kText64Upper);
    for (auto _ : state)
        benchmark::DoNotOptimize(a == b);
}
BENCHMARK(BM_CaseBlindEqual_JString);

void BM_CaseBlindEqual_StdString(benchmark::State& state) {
    std::string a(kText64), b(kText64Upper);
    for (auto _ : state)
        benchmark::DoNotOptimize(a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0);
}
BENCHMARK(BM_CaseBlindEqual_StdString);

void BM_CaseBlindEqual_QByteArray(benchmark::State& state) {
    QByteArray a(kText64), b(kText64Upper);
    for (auto _ : state)
        benchmark::DoNotOptimize(a.compare(b, Qt::CaseInsensitive) == 0);
}
BENCHMARK(BM_CaseBlindEqual_QByteArray);

} // namespace
