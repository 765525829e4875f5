#include <nvsupport/streams/nvfbuf_async.h>
#include <nvsupport/streams/nvfstream.h>
#include <nvsupport/streams/nvstdbuf.h>
#include <nvsupport/streams/nvstdstream.h>
#include <nvsupport/streams/nvstrstream.h>

#include "../paths/AsUnprivileged.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using nvtest::TempDir;
using Lines = std::vector<std::pair<std::string, int>>;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string contents(nvstream& s) {
    auto* b = dynamic_cast<nvstrbuf*>(s.rdbuf());
    return b ? std::string(b->data(), std::size_t(b->length())) : "<no memory buffer>";
}

// Reads every line with getline(JString*): each line and the count after it. A copy sharing
// the previous line's block must keep its text while reading goes on.
Lines lines(nvstream& s) {
    Lines out;
    JString line("stale"), kept;
    while (s.getline(&line)) {
        if (!out.empty()) {
            EXPECT_EQ(out.back().first, *kept);
        }
        out.emplace_back(*line, s.getCharCount());
        kept = line;
    }
    EXPECT_STREQ(*line, "");
    EXPECT_TRUE(s.eof());
    return out;
}

class RecordingHandler : public MessageHandler {
public:
    std::vector<std::pair<MessageType, std::string>> got;

private:
    void finalOutput(MessageType type, const JString& text) override {
        got.emplace_back(type, *text);
    }
};

TEST(nvstreamTest, OutputAndStreamsWithoutInput) {
    nvstream s; // no buffer: everything does nothing
    char c = 'x';
    JString line("x");
    EXPECT_TRUE(s.write("ab", 2) == 0 && s.read(&c, 1) == 0 && s.tellg() == -1 &&
                s.seekg(0) == -1 && s.seekg(0, 2) == -1 && !s.eof() && !s.fail() && !s &&
                s.get() == -1 && s.takeAndwriteSharedBlock(1, 2, 3) == 0 && !s.getline(&line));
    EXPECT_EQ(s.takeAndWrite(new char[1]{'a'}, 1), 0u); // freed all the same (ASan)
    EXPECT_STREQ(*line, "");
    s << "text" << 1 << 2.5 << 'c' << JString("j") << static_cast<const char*>(nullptr);
    s.printf("%d", 4);

    nvstrstream m;
    m << "a" << static_cast<const char*>(nullptr) << ' ' << -42 << ' ' << 2.5 << ' ' << 1e20 << ' '
      << 0.1 << JString(" j");
    m.printf("|%5.2f|%s|", 3.14159, "x");
    EXPECT_EQ(contents(m), "a(null) -42 2.5 1e+20 0.1 j| 3.14|x|");
    EXPECT_EQ(m.getCharCount(), 0); // writing does not count

    // A handler stream delivers each write as one Raw text and gives no input.
    RecordingHandler h;
    nvstdstream out(h);
    EXPECT_EQ(out.write("abcdef", 3), 3u);
    out << 42;
    out.rdbuf()->put('z');
    EXPECT_EQ(out.rdbuf()->writeAt(5, "q", 1), 1u); // no seeking: written where it stands
    EXPECT_EQ(h.got, (decltype(h.got){{Raw, "abc"}, {Raw, "42"}, {Raw, "z"}, {Raw, "q"}}));
    EXPECT_TRUE(out.read(&c, 1) == 0 && out.rdbuf()->get() == 0 && !out.eof() && !out.fail() &&
                out && out.tellg() == -1 && out.seekg(0) == -1 && !out.getline(&line));
    EXPECT_EQ(nvstdbuf(static_cast<MessageHandler*>(nullptr)).handler(), nvstdbuf().handler());
    EXPECT_EQ(dynamic_cast<nvstdbuf*>(nvstdstream().rdbuf())->handler(), nvstdbuf().handler());
}

TEST(nvstreamTest, GetlineJString) {
    const std::string longLine(100000, 'q'); // longer than stdio's buffer
    const std::pair<std::string, Lines> rows[] = {
        {"ab\ncd\n", {{"ab", 3}, {"cd", 6}}},
        {"ab\ncd", {{"ab", 3}, {"cd", 5}}}, // a final line without '\n' is kept
        {"", {}},
        {"\n\n", {{"", 1}, {"", 2}}},
        {"a\r\nb\r\n", {{"a\r", 3}, {"b\r", 6}}},       // CR bytes are kept
        {"x\xFFy\n\xFF", {{"x\xFFy", 4}, {"\xFF", 5}}}, // 0xFF is a byte, not the end
        {longLine + "\nz", {{longLine, 100001}, {"z", 100002}}},
    };
    TempDir dir;
    const std::string p = dir / "f";
    for (const auto& [text, expect] : rows) {
        SCOPED_TRACE(text.substr(0, 8));
        nvstrstream s(text.data(), int(text.size()));
        EXPECT_EQ(lines(s), expect);
        std::ofstream(p, std::ios::binary) << text;
        for (bool async : {false, true}) {
            nvfstream f(p.c_str(), NV_OPEN_READ, false, async);
            EXPECT_EQ(lines(f), expect);
        }
        // Written and read back through one "w+" file.
        nvfstream rw((dir / "rw").c_str(), NV_OPEN_READ | NV_OPEN_WRITE);
        rw.write(text.data(), unsigned(text.size()));
        rw.seekg(0);
        EXPECT_EQ(lines(rw), expect);
    }
    JString line;
    EXPECT_FALSE(nvfstream().getline(&line));
    nvstrstream nulls("a\0b\nc", 5); // text after a NUL cannot be held by a JString
    EXPECT_TRUE(nulls.getline(&line) && std::strcmp(*line, "a") == 0);
    EXPECT_TRUE(nulls.getline(nullptr) && nulls.getCharCount() == 5); // read and dropped
}

TEST(nvstreamTest, GetlineCharBufferAndGet) {
    nvstrstream s("ab\ncd\xFF"
                  "ef\nghijk");
    // Each call: the size given, the bytes expected in buf (a '#' was never written), the
    // count after it. 0xFF reads as -1 and ends a line; n bytes without an end get no NUL.
    const std::tuple<int, std::string, int> steps[] = {{8, std::string("ab\0#", 4), 3},
                                                       {8, std::string("cd\0#", 4), 6},
                                                       {8, std::string("ef\0#", 4), 9},
                                                       {3, "ghi#", 12},
                                                       {8, std::string("jk\0#", 4), 14}};
    for (const auto& [n, expect, count] : steps) {
        char buf[8];
        std::memset(buf, '#', sizeof buf);
        s.getline(buf, n);
        EXPECT_EQ(std::string(buf, 4), expect);
        EXPECT_EQ(s.getCharCount(), count);
    }
    EXPECT_TRUE(s.eof());

    nvstrstream g("a\xFF");
    char c = 0;
    EXPECT_EQ(g.get(), 'a');
    g.get(c);
    EXPECT_TRUE(c == '\xFF' && !g.eof()); // read as -1, but not the end
    EXPECT_TRUE(g.get() == -1 && g.eof());
    EXPECT_EQ(g.getCharCount(), 2);                      // finding the end reads no character
    EXPECT_TRUE(g.seekg(0) == 0 && g.read(&c, 1) == 1u); // read and seek do not count
    EXPECT_EQ(g.getCharCount(), 2);
    g.clearCount();
    EXPECT_EQ(g.getCharCount(), 0);
}

// A host decode hook: "?@@x...\n" becomes "<X...>\n"; "?@@fail" fails with 7.
int g_hookCalls = 0;
int decode(char* line, char* out, int* outLength) {
    ++g_hookCalls;
    if (std::strncmp(line, "?@@fail", 7) == 0)
        return 7;
    std::string s = "<" + std::string(line + 3, std::strcspn(line + 3, "\n")) + ">\n";
    for (char& c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    std::memcpy(out, s.data(), s.size());
    *outLength = int(s.size());
    return 0;
}

TEST(nvstreamTest, DecodeHook) {
    nvstrstream s("plain\n?@@secret\nmid\n?@@fail\n?@@more\nend");
    EXPECT_FALSE(s.encryptionAllowed());
    s.setAllowEncryption(decode);
    EXPECT_TRUE(s.encryptionAllowed());
    g_hookCalls = 0;
    // Each line, whether it was encoded, the count after it, the last decode result.
    const std::tuple<const char*, bool, int, int> steps[] = {
        {"plain", false, 6, 0},   {"<SECRET>", true, 16, 0}, {"mid", false, 20, 0},
        {"?@@fail", true, 28, 7}, {"?@@more", true, 36, 7},  {"end", false, 39, 7},
    };
    JString line;
    for (const auto& [text, encrypted, count, ret] : steps) {
        ASSERT_TRUE(s.getline(&line)) << text;
        EXPECT_STREQ(*line, text);
        EXPECT_TRUE(s.lineIsEncrypted() == encrypted && s.getCharCount() == count &&
                    s.getEncryptReturn() == ret)
            << text;
    }
    EXPECT_EQ(g_hookCalls, 2); // after a failure no line is decoded
    EXPECT_FALSE(s.getline(&line));

    // The count leaves out the unread part of an undecoded line, and eof waits for it.
    nvstrstream t("abc\ndef");
    t.setAllowEncryption(decode);
    char buf[8];
    EXPECT_EQ(t.get(), 'a');
    EXPECT_EQ(t.getCharCount(), 1);
    t.getline(buf, 8);
    EXPECT_EQ(t.get(), 'd');
    EXPECT_EQ(t.getCharCount(), 5);
    EXPECT_FALSE(t.eof());
    t.getline(buf, 8);
    EXPECT_TRUE(std::strcmp(buf, "ef") == 0 && t.eof() && t.getCharCount() == 7);

    // A line decoded to nothing is skipped; an oversized answer is held to the 512-byte area;
    // bytes above 127 come out as 0..255 through the line queue; a handler gives no input.
    nvstrstream u("?@@gone\nnext\n"), v("?@@x\n"), w("\xFF\n");
    RecordingHandler h;
    nvstdstream x(h);
    u.setAllowEncryption([](char*, char*, int* n) { return *n = 0; });
    v.setAllowEncryption([](char*, char* out, int* n) {
        std::memset(out, 'L', 512);
        *n = 100000;
        return 0;
    });
    w.setAllowEncryption(decode);
    x.setAllowEncryption(decode);
    EXPECT_TRUE(u.getline(&line));
    EXPECT_STREQ(*line, "next");
    EXPECT_TRUE(v.getline(&line));
    EXPECT_EQ(line.length(), 512);
    EXPECT_TRUE(w.get() == 0xFF && w.get() == '\n' && w.get() == -1 && x.get() == -1);
}

// gets and >> read the file with stdio; an asynchronous buffer must first write out its queue
// and read at its logical position, which then follows the read.
TEST(nvfstreamTest, OpenPutGetsAndNumbers) {
    TempDir dir;
    const std::string p = dir / "f.txt", pad(300, 'p');
    for (bool async : {false, true}) {
        SCOPED_TRACE(async);
        nvfstream s(p.c_str(), NV_OPEN_READ | NV_OPEN_WRITE, false, async);
        EXPECT_EQ(dynamic_cast<nvfbuf_async*>(s.rdbuf()) != nullptr, async);
        s << "12 3.5e2\n";
        s.put('x');
        s << "yz\n" << pad.c_str() << "\nlast"; // 300 bytes: queued by an async buffer
        EXPECT_EQ(s.seekg(0), 0);
        int i = 0;
        double d = 0;
        s >> i >> d;
        EXPECT_TRUE(i == 12 && d == 350.0);
        char buf[512];
        for (const std::string& expect :
             {std::string(), std::string("xyz"), pad, std::string("last")}) {
            EXPECT_EQ(s.gets(buf, sizeof buf), buf);
            EXPECT_EQ(buf, expect); // "" is the rest of the first line
        }
        EXPECT_EQ(s.gets(buf, sizeof buf), nullptr);
        s >> i;
        EXPECT_EQ(i, 12); // nothing read: unchanged
        EXPECT_EQ(s.gets(nullptr, 4), nullptr);
        EXPECT_EQ(s.tellg(), 318);
        s.write("END", 3); // where reading stopped
        s.close();
        EXPECT_EQ(slurp(p), "12 3.5e2\nxyz\n" + pad + "\nlastEND");
        EXPECT_EQ(s.gets(buf, sizeof buf), nullptr);
    }
    nvfstream wrapped(std::fopen(p.c_str(), "r"));
    EXPECT_EQ(wrapped.get(), '1');
    wrapped.open(std::fopen(p.c_str(), "r")); // replaces (and closes) the old buffer
    EXPECT_EQ(wrapped.get(), '1');
}

TEST(nvstreamTest, TransferBufferAndMove) {
    TempDir dir;
    const std::string p = dir / "t.txt";
    nvfstream a(p.c_str(), NV_OPEN_WRITE), b;
    a << "one ";
    nvstream::transferBuffer(&a, &b);
    b << "two";
    EXPECT_TRUE(b && !a); // a has a fresh, closed file buffer
    EXPECT_NE(dynamic_cast<nvfbuf*>(a.rdbuf()), nullptr);
    b.close();
    EXPECT_EQ(slurp(p), "one two");
    nvstrstream mem("m");
    nvstream::transferBuffer(&mem, &a);
    EXPECT_EQ(contents(mem), "");                  // a fresh empty memory buffer
    EXPECT_FALSE(a.open(p.c_str(), NV_OPEN_READ)); // not a file buffer: does nothing
    EXPECT_EQ(a.get(), 'm');

    nvstream plain;
    nvstream::transferBuffer(&a, &plain);
    nvstream::transferBuffer(&plain, &mem);
    EXPECT_EQ(plain.rdbuf(), nullptr); // a plain stream makes no buffer
    nvstream::transferBuffer(&mem, &mem);
    nvstream::transferBuffer(nullptr, &mem);
    EXPECT_TRUE(mem);

    nvstrstream m("moved");
    m.setAllowEncryption(decode);
    nvstrstream n(std::move(m));
    EXPECT_TRUE(!m && !m.encryptionAllowed() && n.encryptionAllowed());
    EXPECT_EQ(n.get(), 'm');
}

} // namespace
