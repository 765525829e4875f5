// libFuzzer target for SpiceStream. The first byte picks the options (dialect directive,
// empty-line suppression, title, literal reads, a substituting evaluate), the rest is the
// netlist, read from memory. Each input is read twice: in blocks (no decode hook) and a
// byte at a time through the stream's line queue (a decode hook that never decodes); both
// readings must give the same statements, line numbers and literal text. The block reading
// must also keep the invariants of the grammar: no line feed and no byte outside printable
// ASCII and tab in a statement, line numbers that increase, every byte counted.
#include <nvsupport/netlist/SpiceStream.h>
#include <nvsupport/streams/nvstrstream.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Replaces expressions that start with 'v' by "VALUE", keeps the others.
class Substituting : public SpiceStream {
public:
    using SpiceStream::SpiceStream;
    bool evaluate(const char* expression, JString* value) override {
        if (expression[0] != 'v')
            return false;
        *value = "VALUE";
        return true;
    }
};

int refuseToDecode(char*, char*, int*) {
    return 1;
}

struct Reading {
    std::vector<std::string> statements, literals;
    std::vector<int> lines;
    std::string title;
    int lineCount = 0;
};

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

Reading read(const uint8_t* data, size_t size, uint8_t flags, bool byteAtATime) {
    nvstrstream src(reinterpret_cast<const char*>(data), int(size));
    Substituting in(src);
    if (byteAtATime)
        in.setAllowEncryption(refuseToDecode);
    if (flags & 1)
        in.dontSuppressEmptyLines();
    Reading r;
    if (flags & 2) {
        in.readTitle();
        r.title = **in.getBuffer();
        in.flushBuffer();
    }
    JString s;
    int line = 0;
    bool encoded = false;
    for (size_t n = 0; n <= size + 1; ++n) {
        // Every fourth statement read literally when asked.
        in.setLiteralMode((flags & 4) && n % 4 == 3);
        if (!in.gets(&s, &line, &encoded))
            break;
        r.statements.push_back(*s);
        r.lines.push_back(line);
        r.literals.push_back(**in.getBuffer());
        in.flushBuffer();
        if (flags & 8)
            in.get(true);
    }
    check(!in.gets(&s, &line, &encoded) || (flags & 12), "the end is final");
    r.lineCount = in.getLineCount();
    if (!byteAtATime && !(flags & 2)) {
        check(in.getCharCount() == int(size), "every byte counted");
        check(in.getLineCount() == int(std::count(data, data + size, '\n')), "line feeds counted");
    }
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1u << 20))
        return 0;
    const uint8_t flags = data[0];
    ++data;
    --size;
    Reading blocks = read(data, size, flags, false);
    Reading bytes = read(data, size, flags, true);
    check(blocks.statements == bytes.statements, "same statements both ways");
    check(blocks.lines == bytes.lines, "same line numbers both ways");
    check(blocks.literals == bytes.literals, "same literal text both ways");
    check(blocks.title == bytes.title && blocks.lineCount == bytes.lineCount,
          "same title and lines");
    if (flags & 12)
        return 0;
    for (size_t i = 0; i < blocks.statements.size(); ++i) {
        for (char c : blocks.statements[i])
            check((c >= 32 && c <= 126) || c == 127 || c == '\t', "statement bytes filtered");
        check(i == 0 || blocks.lines[i] > blocks.lines[i - 1], "line numbers increase");
        check(blocks.lines[i] >= 1 && blocks.lines[i] <= blocks.lineCount + 1, "line in range");
    }
    return 0;
}
