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
#include <utility>
#include <vector>

namespace {

using nvtest::TempDir;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string contents(nvstream& s) {
    auto* b = dynamic_cast<nvstrbuf*>(s.rdbuf());
    return b ? std::string(b->data(), std::size_t(b->length())) : "<no memory buffer>";
}

// Reads every line with getline(JString*); each entry is the line, and the count after it.
std::vector<std::pair<std::string, int>> lines(nvstream& s) {
    std::vector<std::pair<std::string, int>> out;
    JString line("stale");
    JString kept; // shares the previous line's block: reading on must not write into it
    while (s.getline(&line)) {
        if (!out.empty()) {
            EXPECT_EQ(out.back().first, *kept);
        }
        out.emplace_back(*line, s.getCharCount());
        kept = line;
    }
    EXPECT_STREQ(*line, "");
    return out;
}

using Lines = std::vector<std::pair<std::string, int>>;

TEST(nvstreamTest, NoBuffer) {
    nvstream s;
    char c = 'x';
    JString line("x");
    EXPECT_TRUE(s.write("ab", 2) == 0 && s.read(&c, 1) == 0 && s.tellg() == -1 &&
                s.seekg(0) == -1 && s.seekg(0, 2) == -1 && !s.eof() && !s.fail() && !s &&
                s.get() == -1 && s.takeAndwriteSharedBlock(1, 2, 3) == 0);
    EXPECT_EQ(s.takeAndWrite(new char[1]{'a'}, 1), 0u); // freed all the same (ASan)
    EXPECT_FALSE(s.getline(&line));
    EXPECT_STREQ(*line, "");
    s << "text" << 1 << 2.5 << 'c' << JString("j") << static_cast<const char*>(nullptr);
    s.printf("%d", 4);
    s.close();
    EXPECT_EQ(s.rdbuf(), nullptr);
    EXPECT_EQ(s.getCharCount(), 0);
}

TEST(nvstreamTest, OutputFormats) {
    nvstrstream s;
    s << "a" << static_cast<const char*>(nullptr) << ' ' << -42 << ' ' << 2.5 << ' ' << 1e20 << ' '
      << 0.1 << JString(" j");
    s.printf("|%5.2f|%s|", 3.14159, "x");
    EXPECT_EQ(contents(s), "a(null) -42 2.5 1e+20 0.1 j| 3.14|x|");
    EXPECT_EQ(s.getCharCount(), 0); // writing does not count
}

TEST(nvstreamTest, GetlineJString) {
    struct Row {
        const char* text;
        int n;
        Lines expect;
    } rows[] = {
        {"ab\ncd\n", 6, {{"ab", 3}, {"cd", 6}}},
        {"ab\ncd", 5, {{"ab", 3}, {"cd", 5}}}, // a final line without '\n' is kept
        {"", 0, {}},
        {"\n\n", 2, {{"", 1}, {"", 2}}},
        {"a\r\nb\r\n", 6, {{"a\r", 3}, {"b\r", 6}}},       // CR bytes are kept
        {"x\xFFy\n\xFF", 5, {{"x\xFFy", 4}, {"\xFF", 5}}}, // 0xFF is a byte, not the end
    };
    for (const Row& r : rows) {
        nvstrstream s(r.text, r.n);
        EXPECT_EQ(lines(s), r.expect) << r.text;
        EXPECT_TRUE(s.eof());
    }
    // A long line, and the same text through a file stream.
    std::string longLine(100000, 'q');
    nvstrstream big((longLine + "\nz").c_str());
    EXPECT_EQ(lines(big), (Lines{{longLine, 100001}, {"z", 100002}}));

    TempDir dir;
    for (const Row& r : rows) {
        const std::string p = dir / "f";
        std::ofstream(p, std::ios::binary).write(r.text, r.n);
        nvfstream f(p.c_str(), NV_OPEN_READ);
        ASSERT_TRUE(f);
        EXPECT_EQ(lines(f), r.expect) << r.text;
        EXPECT_TRUE(f.eof());
    }
    // A line longer than stdio's buffer, read back after writing through "w+".
    nvfstream rw((dir / "rw").c_str(), NV_OPEN_READ | NV_OPEN_WRITE);
    rw << (longLine + "\nz").c_str();
    rw.seekg(0);
    EXPECT_EQ(lines(rw), (Lines{{longLine, 100001}, {"z", 100002}}));
    JString line;
    nvfstream closed;
    EXPECT_FALSE(closed.getline(&line));
    nvstrstream nulls("a\0b\nc", 5); // text after a NUL cannot be held by a JString
    EXPECT_TRUE(nulls.getline(&line));
    EXPECT_STREQ(*line, "a");
    EXPECT_EQ(nulls.getCharCount(), 4);
    EXPECT_TRUE(nulls.getline(nullptr));
    EXPECT_EQ(nulls.getCharCount(), 5);
}

TEST(nvstreamTest, GetlineCharBufferAndGet) {
    nvstrstream s("ab\ncd\xFF"
                  "ef\nghijk");
    // Each call: the size given, the bytes expected in buf (a '#' was never written), the
    // count after it. 0xFF reads as -1 and ends a line; n bytes without an end get no NUL.
    struct Step {
        int n;
        std::string buf;
        int count;
    } steps[] = {{8, std::string("ab\0#", 4), 3},
                 {8, std::string("cd\0#", 4), 6},
                 {8, std::string("ef\0#", 4), 9},
                 {3, "ghi#", 12},
                 {8, std::string("jk\0#", 4), 14}};
    for (const Step& st : steps) {
        char buf[8];
        std::memset(buf, '#', sizeof buf);
        s.getline(buf, st.n);
        EXPECT_EQ(std::string(buf, 4), st.buf);
        EXPECT_EQ(s.getCharCount(), st.count);
    }
    EXPECT_TRUE(s.eof());
    s.getline(nullptr, 5);
    EXPECT_EQ(s.getCharCount(), 14);

    nvstrstream g("a\xFF");
    char c = 0;
    EXPECT_EQ(g.get(), 'a');
    g.get(c);
    EXPECT_EQ(c, '\xFF');
    EXPECT_FALSE(g.eof());
    EXPECT_EQ(g.get(), -1);
    EXPECT_TRUE(g.eof());
    EXPECT_EQ(g.getCharCount(), 2); // finding the end reads no character
    g.seekg(0);
    EXPECT_EQ(g.read(&c, 1), 1u); // read and seek do not count
    EXPECT_EQ(g.getCharCount(), 2);
    g.clearCount();
    EXPECT_EQ(g.getCharCount(), 0);
}

// A host decode hook: "?@@" lines become "<rest upper-cased>"; "?@@fail" fails with 7.
int g_hookCalls = 0;
int decode(char* line, char* out, int* outLength) {
    ++g_hookCalls;
    if (std::strncmp(line, "?@@fail", 7) == 0)
        return 7;
    std::string s = line + 3;
    bool newline = !s.empty() && s.back() == '\n';
    if (newline)
        s.pop_back();
    for (char& c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    s = "<" + s + (newline ? ">\n" : ">");
    std::memcpy(out, s.data(), s.size());
    *outLength = int(s.size());
    return 0;
}
int decodeToNothing(char*, char*, int* outLength) {
    *outLength = 0;
    return 0;
}
int decodeTooLong(char*, char* out, int* outLength) {
    std::memset(out, 'L', 512);
    *outLength = 100000;
    return 0;
}

TEST(nvstreamTest, DecodeHook) {
    nvstrstream s("plain\n?@@secret\nmid\n?@@fail\n?@@more\nend");
    EXPECT_FALSE(s.encryptionAllowed());
    s.setAllowEncryption(decode);
    EXPECT_TRUE(s.encryptionAllowed());
    g_hookCalls = 0;
    struct Step {
        const char* line;
        bool encrypted;
        int count;
        int ret;
    } steps[] = {
        {"plain", false, 6, 0},   {"<SECRET>", true, 16, 0}, {"mid", false, 20, 0},
        {"?@@fail", true, 28, 7}, {"?@@more", true, 36, 7},  {"end", false, 39, 7},
    };
    JString line;
    for (const Step& st : steps) {
        ASSERT_TRUE(s.getline(&line)) << st.line;
        EXPECT_STREQ(*line, st.line);
        EXPECT_EQ(s.lineIsEncrypted(), st.encrypted) << st.line;
        EXPECT_EQ(s.getCharCount(), st.count) << st.line;
        EXPECT_EQ(s.getEncryptReturn(), st.ret) << st.line;
    }
    EXPECT_EQ(g_hookCalls, 2); // after a failure no line is decoded
    EXPECT_FALSE(s.getline(&line));

    // The count leaves out the unread part of an undecoded line, and eof waits for it.
    nvstrstream t("abc\ndef");
    t.setAllowEncryption(decode);
    EXPECT_EQ(t.get(), 'a');
    EXPECT_EQ(t.getCharCount(), 1);
    EXPECT_FALSE(t.eof());
    char buf[8];
    t.getline(buf, 8);
    EXPECT_EQ(t.get(), 'd');
    EXPECT_EQ(t.getCharCount(), 5);
    t.getline(buf, 8);
    EXPECT_STREQ(buf, "ef");
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.getCharCount(), 7);

    // A line decoded to nothing is skipped; an oversized answer is held to the 512-byte area.
    nvstrstream u("?@@gone\nnext\n");
    u.setAllowEncryption(decodeToNothing);
    EXPECT_TRUE(u.getline(&line));
    EXPECT_STREQ(*line, "next");
    nvstrstream v("?@@x\n");
    v.setAllowEncryption(decodeTooLong);
    EXPECT_TRUE(v.getline(&line));
    EXPECT_EQ(line.length(), 512);
    // Bytes above 127 come out as 0..255 through the line queue.
    nvstrstream w("\xFF\n");
    w.setAllowEncryption(decode);
    EXPECT_EQ(w.get(), 0xFF);
    EXPECT_EQ(w.get(), '\n');
    EXPECT_EQ(w.get(), -1);
}

TEST(nvfstreamTest, OpenPutGetsAndNumbers) {
    TempDir dir;
    const std::string p = dir / "f.txt";
    nvfstream out(p.c_str(), NV_OPEN_WRITE);
    ASSERT_TRUE(out);
    out << "12 3.5e2\n";
    out.put('x');
    out << "yz\nlast";
    out.close();
    EXPECT_FALSE(out);
    EXPECT_EQ(slurp(p), "12 3.5e2\nxyz\nlast");

    nvfstream in;
    EXPECT_FALSE(in);
    EXPECT_TRUE(in.open(p.c_str(), NV_OPEN_READ));
    int i = 0;
    double d = 0;
    in >> i >> d;
    EXPECT_EQ(i, 12);
    EXPECT_DOUBLE_EQ(d, 350.0);
    char buf[16];
    for (const char* expect : {"", "xyz", "last"}) { // "" is the rest of the first line
        EXPECT_EQ(in.gets(buf, 16), buf);
        EXPECT_STREQ(buf, expect);
    }
    EXPECT_EQ(in.gets(buf, 16), nullptr);
    i = 99;
    in >> i;
    EXPECT_EQ(i, 99);
    EXPECT_EQ(in.gets(nullptr, 4), nullptr);

    FILE* f = std::fopen(p.c_str(), "r");
    nvfstream wrapped(f);
    EXPECT_EQ(wrapped.get(), '1');
    wrapped.open(std::fopen(p.c_str(), "r")); // replaces (and closes) the old buffer
    EXPECT_EQ(wrapped.get(), '1');
    nvfstream async(p.c_str(), NV_OPEN_READ, false, true);
    EXPECT_EQ(async.get(), '1');

    // open on a stream whose buffer is not a file buffer does nothing.
    nvfstream odd;
    nvstrstream mem("m");
    nvstream::transferBuffer(&mem, &odd);
    EXPECT_FALSE(odd.open(p.c_str(), NV_OPEN_READ));
    EXPECT_EQ(odd.get(), 'm');
    EXPECT_EQ(odd.gets(buf, 16), nullptr);
}

TEST(nvstreamTest, TransferBuffer) {
    TempDir dir;
    const std::string p = dir / "t.txt";
    nvfstream a(p.c_str(), NV_OPEN_WRITE), b;
    a << "one ";
    nvstream::transferBuffer(&a, &b);
    b << "two";
    EXPECT_TRUE(b);
    EXPECT_FALSE(a); // a fresh, closed file buffer
    EXPECT_NE(dynamic_cast<nvfbuf*>(a.rdbuf()), nullptr);
    b.close();
    EXPECT_EQ(slurp(p), "one two");

    nvstrstream s("x");
    nvstream plain;
    nvstream::transferBuffer(&s, &plain);
    EXPECT_EQ(plain.get(), 'x');
    EXPECT_EQ(contents(s), ""); // a fresh empty memory buffer
    nvstream::transferBuffer(&plain, &s);
    EXPECT_EQ(plain.rdbuf(), nullptr); // a plain stream makes no buffer
    nvstream::transferBuffer(&s, &s);
    nvstream::transferBuffer(nullptr, &s);
    EXPECT_TRUE(s);

    nvstrstream m("moved");
    m.setAllowEncryption(decode);
    nvstrstream n(std::move(m));
    EXPECT_FALSE(m);
    EXPECT_FALSE(m.encryptionAllowed());
    EXPECT_TRUE(n.encryptionAllowed());
    EXPECT_EQ(n.get(), 'm');
}

class RecordingHandler : public MessageHandler {
public:
    std::vector<std::pair<MessageType, std::string>> got;

private:
    void finalOutput(MessageType type, const JString& text) override {
        got.emplace_back(type, *text);
    }
};

TEST(nvstdstreamTest, WritesRawTexts) {
    RecordingHandler h;
    nvstdstream s(h);
    EXPECT_EQ(s.write("abcdef", 3), 3u);
    s << 42;
    s.rdbuf()->put('z');
    EXPECT_EQ(s.rdbuf()->writeAt(5, "q", 1), 1u); // no seeking: written where it stands
    using Got = std::vector<std::pair<MessageType, std::string>>;
    EXPECT_EQ(h.got, (Got{{Raw, "abc"}, {Raw, "42"}, {Raw, "z"}, {Raw, "q"}}));
    char c;
    EXPECT_TRUE(s.read(&c, 1) == 0 && s.rdbuf()->get() == 0 && !s.eof() && !s.fail() && s &&
                s.tellg() == -1 && s.seekg(0) == -1);
    JString line;
    EXPECT_FALSE(s.getline(&line)); // a handler gives no input
    s.setAllowEncryption(decode);
    EXPECT_EQ(s.get(), -1);
    EXPECT_EQ(nvstdbuf(static_cast<MessageHandler*>(nullptr)).handler(), nvstdbuf().handler());
    EXPECT_EQ(dynamic_cast<nvstdbuf*>(nvstdstream().rdbuf())->handler(), nvstdbuf().handler());
}

} // namespace
