// libFuzzer target for NewSpiceStream. The input is the netlist, read from memory twice:
// straight from the buffer (signed bytes, 0xFF reads as -1) and through the stream's line
// queue (a decode hook that never decodes; bytes 0..255). Both readings must give the same
// statements, line numbers and literal text, and keep the reader's invariants: statements
// non-empty, starting with no blank, holding only tab and printable ASCII; line numbers from
// 1 that never decrease; the literal text a prefix of the filtered input ending at a line
// feed; every byte counted; the end final.
#include <nvsupport/netlist/NewSpiceStream.h>
#include <nvsupport/streams/nvstrstream.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int refuseToDecode(char*, char*, int*) {
    return 1;
}

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// The bytes the reader keeps.
bool kept(unsigned char c) {
    return c == '\n' || c == '\t' || (c >= 32 && c < 127);
}

struct Reading {
    std::vector<std::string> statements;
    std::vector<int> lines;
    std::string literal;
    int lineCount = 0;
    int charCount = 0;
    bool operator==(const Reading&) const = default;
};

Reading read(const uint8_t* data, size_t size, bool throughLineQueue) {
    nvstrstream src(reinterpret_cast<const char*>(data), int(size));
    NewSpiceStream in(src);
    if (throughLineQueue)
        in.setAllowEncryption(refuseToDecode);
    Reading r;
    JString s;
    int line = 0;
    while (in.gets(&s, &line)) {
        const char* p = *s;
        check(p[0] != 0 && p[0] != ' ' && p[0] != '\t', "statement starts with a non-blank");
        for (; *p; ++p)
            check(kept(static_cast<unsigned char>(*p)) && *p != '\n', "statement bytes");
        check(line >= 1 && line >= (r.lines.empty() ? 1 : r.lines.back()), "line order");
        check(line <= in.getLineCount() + 1, "line within the count");
        r.statements.push_back(*s);
        r.lines.push_back(line);
        // Half the time the literal text is collected piecewise.
        if (r.statements.size() % 2) {
            r.literal += *in.getLitBuffer();
            in.flushLitBuffer();
        }
    }
    r.literal += *in.getLitBuffer();
    check(s.length() == 0 && in.get() == -1 && !in.gets(&s, nullptr), "the end is final");
    r.lineCount = in.getLineCount();
    r.charCount = in.getCharCount();
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > INT_MAX / 2)
        return 0;
    std::string filtered;
    int lineFeeds = 0;
    for (size_t i = 0; i < size; ++i) {
        if (kept(data[i]))
            filtered += char(data[i]);
        lineFeeds += data[i] == '\n';
    }
    filtered += '\n';

    Reading a = read(data, size, false);
    check(a.charCount == int(size), "every byte counted");
    check(a.lineCount == lineFeeds + 1, "a line per line feed, one for the end");
    check(filtered.compare(0, a.literal.size(), a.literal) == 0, "literal is filtered input");
    check(a.literal.empty() || a.literal.back() == '\n', "literal ends at a line feed");
    check(read(data, size, true) == a, "same reading through the line queue");
    return 0;
}
