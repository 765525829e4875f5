// nvtool netlist: prints the logical statements of a SPICE netlist as the library reads them.
#include "Command.h"

#include <nvsupport/netlist/NewSpiceStream.h>
#include <nvsupport/netlist/SpiceStream.h>
#include <nvsupport/paths/FileOpenForensic.h>

#include <chrono>
#include <cstring>
#include <memory>

namespace nvtool {

void netlistHelp(std::FILE* out) {
    std::fputs(
        "nvtool netlist [--dialect norvane|pspice|hspice] [--reader 1|2] [--literal] [--stats] "
        "FILE\n"
        "    Prints each logical statement of the netlist FILE as LINE<TAB>STATEMENT, LINE being\n"
        "    the physical line of its first character: '+' lines joined (a blank for each '+'),\n"
        "    comment lines and inline comments (';', or '$' for HSPICE) removed.\n"
        "    --dialect  the dialect reading starts in (default norvane); a '*#NORVANE',\n"
        "               '*#PSPICE' or '*#HSPICE' line at the head of the file still switches it.\n"
        "    --reader 2 reads with the second-generation reader (NewSpiceStream) instead.\n"
        "    --literal  prints after each statement its source text (comments included),\n"
        "               each line indented by four blanks.\n"
        "    --stats    prints only the counts: statements, lines (line feeds read), bytes\n"
        "               read, seconds and MB/s of the reading.\n"
        "    A file that cannot be read exits with 1.\n"
        "    Example: nvtool netlist examples/amplifier.cir\n",
        out);
}

namespace {

struct Options {
    const char* file = nullptr;
    int dialect = -1; // -1: not given
    int reader = 1;
    bool literal = false;
    bool stats = false;
};

int parse(int argc, char** argv, Options* o) {
    for (int i = 0; i < argc; ++i) {
        const char* a = argv[i];
        if (!std::strcmp(a, "--dialect") || !std::strcmp(a, "--reader")) {
            if (i + 1 >= argc)
                return usageError("%s needs a value", a);
            const char* v = argv[++i];
            if (a[2] == 'd') {
                if (!std::strcmp(v, "norvane"))
                    o->dialect = SPICE_NORVANE;
                else if (!std::strcmp(v, "pspice"))
                    o->dialect = SPICE_PSPICE;
                else if (!std::strcmp(v, "hspice"))
                    o->dialect = SPICE_HSPICE;
                else
                    return usageError("--dialect wants norvane, pspice or hspice, not '%s'", v);
            } else if (!std::strcmp(v, "1") || !std::strcmp(v, "2")) {
                o->reader = v[0] - '0';
            } else {
                return usageError("--reader wants 1 or 2, not '%s'", v);
            }
        } else if (!std::strcmp(a, "--literal")) {
            o->literal = true;
        } else if (!std::strcmp(a, "--stats")) {
            o->stats = true;
        } else if (a[0] == '-' && a[1]) {
            return usageError("unknown option '%s' for netlist", a);
        } else if (o->file) {
            return usageError("netlist takes one FILE, not also '%s'", a);
        } else {
            o->file = a;
        }
    }
    if (!o->file)
        return usageError("netlist needs a FILE");
    if (o->reader == 2 && o->dialect >= 0)
        return usageError("--dialect applies to reader 1 only");
    if (o->stats && o->literal)
        return usageError("--stats and --literal do not go together");
    return 0;
}

// Prints "nvtool: The file PATH: REASON" and returns 1.
int cannotRead(const char* path) {
    JString msg;
    sp_FileOpenForensicMsg(path, GFN_READ, &msg);
    msg.substitute("\n", ": ");
    std::fprintf(stderr, "nvtool: %s\n", *msg);
    return 1;
}

// Both readers behind one face: the next statement, its line, and its literal text.
class Reader {
public:
    virtual ~Reader() = default;
    virtual bool next(JString* statement, int* line) = 0;
    virtual const char* literal() const = 0;
    virtual void flushLiteral() = 0;
    virtual int lines() const = 0;
    virtual int bytes() const = 0;
    virtual nvstream& stream() = 0;
};

class FirstReader : public Reader {
public:
    FirstReader(const char* path, int dialect) : in(path, SpiceLanguage(dialect)) {}
    bool next(JString* s, int* line) override { return in.gets(s, line, nullptr); }
    const char* literal() const override { return **in.getBuffer(); }
    void flushLiteral() override { in.flushBuffer(); }
    int lines() const override { return in.getLineCount(); }
    int bytes() const override { return in.getCharCount(); }
    nvstream& stream() override { return in; }

private:
    SpiceStream in;
};

class SecondReader : public Reader {
public:
    explicit SecondReader(const char* path) : in(path) {}
    bool next(JString* s, int* line) override { return in.gets(s, line); }
    const char* literal() const override { return *in.getLitBuffer(); }
    void flushLiteral() override { in.flushLitBuffer(); }
    int lines() const override { return in.getLineCount(); }
    int bytes() const override { return in.getCharCount(); }
    nvstream& stream() override { return in; }

private:
    NewSpiceStream in;
};

void printIndented(const char* text) {
    while (*text) {
        const char* end = std::strchr(text, '\n');
        std::size_t n = end ? std::size_t(end - text) : std::strlen(text);
        std::fputs("    ", stdout);
        std::fwrite(text, 1, n, stdout);
        std::fputc('\n', stdout);
        text += n + (end ? 1 : 0);
    }
}

} // namespace

int netlistRun(int argc, char** argv) {
    Options o;
    if (int rc = parse(argc, argv, &o))
        return rc;
    if (!sp_CheckFileOpen(o.file, GFN_READ))
        return cannotRead(o.file);
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<Reader> reader;
    if (o.reader == 2)
        reader = std::make_unique<SecondReader>(o.file);
    else
        reader = std::make_unique<FirstReader>(o.file, o.dialect < 0 ? SPICE_NORVANE : o.dialect);
    if (!reader->stream())
        return cannotRead(o.file);
    JString statement;
    int line = 0;
    long count = 0;
    while (reader->next(&statement, &line)) {
        ++count;
        if (!o.stats) {
            std::printf("%d\t%s\n", line, *statement);
            if (o.literal)
                printIndented(reader->literal());
        }
        reader->flushLiteral();
    }
    if (reader->stream().fail())
        return cannotRead(o.file);
    if (o.stats) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double mb = double(reader->bytes()) / 1e6;
        std::printf("statements %ld\nlines %d\nbytes %d\nseconds %.3f\nMB/s %.1f\n", count,
                    reader->lines(), reader->bytes(), seconds, seconds > 0 ? mb / seconds : 0.0);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace nvtool
