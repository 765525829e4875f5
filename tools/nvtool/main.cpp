// nvtool: the command-line window onto the NvSupport library.
#include "Command.h"

#include <cstdarg>
#include <cstring>

namespace nvtool {

int usageError(const char* fmt, ...) {
    std::fputs("nvtool: ", stderr);
    va_list args;
    va_start(args, fmt);
    std::vfprintf(stderr, fmt, args);
    va_end(args);
    std::fputs(" (try 'nvtool --help')\n", stderr);
    return 2;
}

namespace {

const Command kCommands[] = {
    {"eng", "read and write engineering numbers (4k7, 10u, 1meg)", engHelp, engRun},
    {"ini", "list, read and change profile (INI) files", iniHelp, iniRun},
    {"netlist", "print the logical statements of a SPICE netlist", netlistHelp, netlistRun},
};

void mainHelp(std::FILE* out) {
    std::fputs("usage: nvtool COMMAND [ARGS...]\n"
               "       nvtool --help | nvtool COMMAND --help\n\n"
               "commands:\n",
               out);
    for (const Command& c : kCommands)
        std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
    std::fputs("\n", out);
    for (const Command& c : kCommands)
        c.help(out);
}

} // namespace
} // namespace nvtool

int main(int argc, char** argv) {
    using namespace nvtool;
    if (argc < 2)
        return usageError("no command given");
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") ||
        !std::strcmp(argv[1], "help")) {
        mainHelp(stdout);
        return 0;
    }
    for (const Command& c : kCommands) {
        if (std::strcmp(argv[1], c.name) != 0)
            continue;
        for (int i = 2; i < argc; ++i) {
            if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
                c.help(stdout);
                return 0;
            }
        }
        return c.run(argc - 2, argv + 2);
    }
    return usageError("unknown command '%s'", argv[1]);
}
