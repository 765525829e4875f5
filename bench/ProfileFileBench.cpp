// Profile files against QSettings (IniFormat): a cached read of one key, and a full parse of
// a 10 000-key INI file assembled from the corpus INI files (synthetic keys fill up when the
// corpus is absent). The files are generated into a temporary folder at start.
#include <nvsupport/Config/ProfileFile.h>

#include <QSettings>
#include <QString>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kBigKeys = 10000;
constexpr int kCorpusKeys = kBigKeys - 50; // at least one filler section, [filler0]

// The corpus INI folder: $NVSUPPORT_CORPUS_DIR/ini, else the project's shared corpus.
fs::path corpusIni() {
    if (const char* env = std::getenv("NVSUPPORT_CORPUS_DIR"))
        return fs::path(env) / "ini";
    return fs::path(NVSUPPORT_BENCH_DATA_DIR) / "../../../shared/corpus/ini";
}

std::string trimmed(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return "";
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

// The key=value lines of every readable corpus file, each file's sections renamed apart
// (so none merge), then filler sections up to kBigKeys keys; comments come along.
std::string buildBigIni() {
    std::string out;
    int keys = 0, sections = 0;
    std::error_code ec;
    if (fs::is_directory(corpusIni(), ec)) {
        for (const auto& e : fs::recursive_directory_iterator(corpusIni(), ec)) {
            if (keys >= kCorpusKeys)
                break;
            if (!e.is_regular_file())
                continue;
            std::ifstream in(e.path(), std::ios::binary);
            std::string line;
            bool inSection = false;
            while (keys < kCorpusKeys && std::getline(in, line)) {
                if (line.compare(0, 2, "\xFF\xFE") == 0 || line.compare(0, 2, "\xFE\xFF") == 0)
                    break; // UTF-16
                if (line.compare(0, 3, "\xEF\xBB\xBF") == 0)
                    line.erase(0, 3);
                std::string t = trimmed(line);
                if (t.empty())
                    continue;
                if (t[0] == '[' && t.back() == ']') {
                    out += "\n[s" + std::to_string(++sections) + "_" +
                           t.substr(1, t.size() - 2).substr(0, 40) + "]\n";
                    inSection = true;
                } else if (inSection && t[0] == ';') {
                    out += t + "\n";
                } else if (inSection && t.find('=') != std::string::npos && t[0] != '=') {
                    out += t + "\n";
                    ++keys;
                }
            }
        }
    }
    for (int s = 0; keys < kBigKeys; ++s) {
        out += "\n[filler" + std::to_string(s) + "]\n";
        for (int k = 0; k < 50 && keys < kBigKeys; ++k, ++keys)
            out += "key" + std::to_string(k) + "=value " + std::to_string(keys) + "\n";
    }
    return out;
}

struct Files {
    Files() {
        char tmpl[] = "/tmp/nvbench-ini-XXXXXX";
        dir = ::mkdtemp(tmpl) ? tmpl : "/tmp";
        small = dir + "/settings.ini";
        std::ofstream s(small);
        s << "; the settings of a typical run\n";
        for (int sec = 0; sec < 6; ++sec) {
            s << "[Section" << sec << "]\n";
            for (int k = 0; k < 8; ++k)
                s << "Key" << k << "=value " << sec * 10 + k << "\n";
            s << "\n";
        }
        s << "[Options]\nThreads=4\nTolerance=1e-6\n";
        s.close();
        big = dir + "/big.ini";
        std::ofstream b(big, std::ios::binary);
        b << buildBigIni();
    }
    ~Files() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string dir, small, big;
};

Files& files() {
    static Files f;
    return f;
}

// Gives the file a new modification time (whole seconds apart, which QSettings notices too),
// so the next access parses it again.
void touch(const std::string& path) {
    static time_t next = 1600000000;
    struct timespec t[2] = {{++next, 0}, {next, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), t, 0);
}

void BM_CachedRead_ProfileFile(benchmark::State& state) {
    const std::string& path = files().small;
    JString v;
    for (auto _ : state) {
        sp_GetPrivateProfileString("Options", "Threads", path.c_str(), &v);
        benchmark::DoNotOptimize(v);
    }
    if (std::strcmp(*v, "4") != 0)
        state.SkipWithError("wrong value");
}
BENCHMARK(BM_CachedRead_ProfileFile);

void BM_CachedRead_QSettings(benchmark::State& state) {
    QSettings settings(QString::fromStdString(files().small), QSettings::IniFormat);
    QVariant v;
    for (auto _ : state) {
        v = settings.value(QStringLiteral("Options/Threads"));
        benchmark::DoNotOptimize(v);
    }
    if (v.toString() != QStringLiteral("4"))
        state.SkipWithError("wrong value");
}
BENCHMARK(BM_CachedRead_QSettings);

// QSettings checking the file first, as every profile-file call does (sync() re-reads the
// file's size and time and re-parses only when they changed).
void BM_CachedReadSync_QSettings(benchmark::State& state) {
    QSettings settings(QString::fromStdString(files().small), QSettings::IniFormat);
    QVariant v;
    for (auto _ : state) {
        settings.sync();
        v = settings.value(QStringLiteral("Options/Threads"));
        benchmark::DoNotOptimize(v);
    }
    if (v.toString() != QStringLiteral("4"))
        state.SkipWithError("wrong value");
}
BENCHMARK(BM_CachedReadSync_QSettings);

void BM_CachedReadBigFile_ProfileFile(benchmark::State& state) {
    const std::string& path = files().big;
    JString v;
    for (auto _ : state) {
        sp_GetPrivateProfileString("filler0", "key3", path.c_str(), &v);
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_CachedReadBigFile_ProfileFile);

void BM_ParseBig_ProfileFile(benchmark::State& state) {
    const std::string& path = files().big;
    JString v;
    for (auto _ : state) {
        touch(path);
        sp_GetPrivateProfileString("filler0", "key3", path.c_str(), &v);
        benchmark::DoNotOptimize(v);
    }
    YList<JString> sections;
    sp_GetProfileSectionNames(path.c_str(), &sections);
    state.counters["sections"] = sections.size();
}
BENCHMARK(BM_ParseBig_ProfileFile)->Unit(benchmark::kMillisecond);

// QSettings splits the file into sections at once but parses a section's keys only when one
// of them is first read: opening it and reading one key is a partial parse.
void BM_ParseBigLazy_QSettings(benchmark::State& state) {
    const QString path = QString::fromStdString(files().big);
    for (auto _ : state) {
        touch(files().big);
        QSettings settings(path, QSettings::IniFormat);
        QVariant v = settings.value(QStringLiteral("filler0/key3"));
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_ParseBigLazy_QSettings)->Unit(benchmark::kMillisecond);

// Every section parsed: the work a profile file does on every (re-)read.
void BM_ParseBig_QSettings(benchmark::State& state) {
    const QString path = QString::fromStdString(files().big);
    qsizetype keys = 0;
    for (auto _ : state) {
        touch(files().big);
        QSettings settings(path, QSettings::IniFormat);
        keys = settings.allKeys().size();
        benchmark::DoNotOptimize(keys);
    }
    state.counters["keys"] = static_cast<double>(keys);
}
BENCHMARK(BM_ParseBig_QSettings)->Unit(benchmark::kMillisecond);

} // namespace
