// nvtool eng: shows how engineering numbers are read and written.
#include "Command.h"

#include <nvsupport/nvsupport.h>

#include <cstdlib>
#include <cstring>

namespace nvtool {

void engHelp(std::FILE* out) {
    std::fputs(
        "nvtool eng VALUE...\n"
        "    Reads each VALUE as an engineering number and prints one line per value:\n"
        "    INPUT<TAB>NUMBER (%.17g)<TAB>CHARACTERS CONSUMED<TAB>WRITTEN BACK (width 8).\n"
        "    Example: nvtool eng 4k7 10uF 1meg 100mil\n"
        "nvtool eng --format VALUE --width N [--percent] [--zeros]\n"
        "    Writes VALUE (read as an engineering number, all of it) aimed at N characters;\n"
        "    --percent allows % and ppm for values from 1e-7 to 10, --zeros fills with zeros.\n",
        out);
}

namespace {

bool parseInt(const char* s, int* out) {
    char* end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (end == s || *end || v < -1000000 || v > 1000000)
        return false;
    *out = static_cast<int>(v);
    return true;
}

int formatMode(int argc, char** argv) {
    const char* value = nullptr;
    int width = 0;
    bool haveWidth = false, percent = false, zeros = false;
    for (int i = 0; i < argc; ++i) {
        const char* a = argv[i];
        if (!std::strcmp(a, "--format") || !std::strcmp(a, "--width")) {
            if (i + 1 >= argc)
                return usageError("%s needs a value", a);
            const char* v = argv[++i];
            if (a[2] == 'f') {
                value = v;
            } else {
                if (!parseInt(v, &width))
                    return usageError("--width wants an integer, not '%s'", v);
                haveWidth = true;
            }
        } else if (!std::strcmp(a, "--percent")) {
            percent = true;
        } else if (!std::strcmp(a, "--zeros")) {
            zeros = true;
        } else {
            return usageError("unexpected argument '%s' for eng --format", a);
        }
    }
    if (!value)
        return usageError("eng --format needs a VALUE");
    if (!haveWidth)
        return usageError("eng --format needs --width N");
    char* end = nullptr;
    double v = sp_ConvertEngToReal(value, &end);
    if (end == value || *end)
        return usageError("'%s' is not an engineering number", value);
    std::printf("%s\n", *sp_FormatEng(v, width, percent, zeros));
    return 0;
}

} // namespace

int engRun(int argc, char** argv) {
    if (argc == 0)
        return usageError("eng needs at least one VALUE");
    for (int i = 0; i < argc; ++i)
        if (!std::strcmp(argv[i], "--format") || !std::strcmp(argv[i], "--width") ||
            !std::strcmp(argv[i], "--percent") || !std::strcmp(argv[i], "--zeros"))
            return formatMode(argc, argv);
    for (int i = 0; i < argc; ++i) {
        if (argv[i][0] == '-' && argv[i][1] == '-')
            return usageError("unknown option '%s' for eng", argv[i]);
    }
    for (int i = 0; i < argc; ++i) {
        char* end = nullptr;
        double v = sp_ConvertEngToReal(argv[i], &end);
        std::printf("%s\t%.17g\t%d\t%s\n", argv[i], v, static_cast<int>(end - argv[i]),
                    *sp_FormatEng(v, 8, false, false));
    }
    return 0;
}

} // namespace nvtool
