// The subcommands of nvtool. Each takes the words after its own name and returns the
// process exit code: 0 done, 1 the work failed, 2 a bad command line.
#pragma once

#include <cstdio>

namespace nvtool {

struct Command {
    const char* name;
    const char* summary;
    void (*help)(std::FILE* out);
    int (*run)(int argc, char** argv);
};

/// Prints "nvtool: MESSAGE" on standard error and returns 2.
int usageError(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

void engHelp(std::FILE* out);
int engRun(int argc, char** argv);

void iniHelp(std::FILE* out);
int iniRun(int argc, char** argv);

void netlistHelp(std::FILE* out);
int netlistRun(int argc, char** argv);

} // namespace nvtool
