#include <nvsupport/netlist/NewSpiceStream.h>
#include <nvsupport/streams/nvstdstream.h>
#include <nvsupport/streams/nvstrstream.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;
using Stmts = std::vector<std::pair<std::string, int>>; // text, line number

// Every statement, each non-empty, with line numbers from 1 that never decrease; then checks
// that the end stays the end, and the counts: every byte read, one line per line feed plus
// one for the end of input.
Stmts readAll(NewSpiceStream& in, const std::string& bytes) {
    Stmts out;
    JString s;
    int line = -7;
    while (in.gets(&s, &line)) {
        EXPECT_TRUE(s.length() > 0 && line >= (out.empty() ? 1 : out.back().second));
        out.push_back({*s, line});
    }
    EXPECT_TRUE(s.length() == 0 && !in.gets(&s, nullptr) && in.get() == -1);
    EXPECT_EQ(in.getCharCount(), int(bytes.size()));
    EXPECT_EQ(in.getLineCount(), int(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
    return out;
}

Stmts readText(const std::string& text) {
    nvstrstream src(text.data(), int(text.size()));
    NewSpiceStream in(src);
    return readAll(in, text);
}

std::string fileBytes(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

TEST(NewSpiceStreamTest, StatementsFollowTheStateTable) {
    const std::pair<std::string, Stmts> cases[] = {
        {"Title line\nR1 a b 1k ; c\n+ 2\n* note\nR2 c d 3\n",
         {{"Title line", 1}, {"R1 a b 1k   2", 2}, {"* note", 5}, {"R2 c d 3", 5}}},
        {"T\nR1 a b\n* note\n+ 1k\n", {{"T", 1}, {"R1 a b  1k", 2}}},
        {"T\nR1 a\n; anything\nR2 b\n", {{"T", 1}, {"R1 a", 2}, {"R2 b", 4}}},
        {" \t\n;;\t; Title ; x\nR1\n", {{"Title ", 2}, {"R1", 3}}},
        {" ;\n\t;;\n\n", {}},
        {"T\nR1\n+\tb ; c\n+;d\n  + e\n", {{"T", 1}, {"R1 \tb    e", 2}}},
        {"T\nR1\n * a\n\n; x\n*b ; c\n\tR2 ; d\nR3\n",
         {{"T", 1}, {"R1", 2}, {"* a", 7}, {"*b ", 7}, {"R2 ", 7}, {"R3", 8}}},
        {"T\nR1\n* a\n; b\n\n* c\n+ x\n", {{"T", 1}, {"R1  x", 2}}},
        {"T\nR1\n* a\n* b", {{"T", 1}, {"R1", 2}, {"* a", 5}, {"* b", 5}}},
        {"* title\nR1\n", {{"* title", 1}, {"R1", 2}}},
        {"T\n+ more\n", {{"T  more", 1}}},
        {"T\nR1\n; c\n+ 2\n", {{"T", 1}, {"R1  2", 2}}},
        {"T\nR1 a*b+c ; * c\n*+*\nR2\n", {{"T", 1}, {"R1 a*b+c ", 2}, {"*+*", 4}, {"R2", 4}}},
        {"T\nR1\n*;\n;\nR2\n", {{"T", 1}, {"R1", 2}, {"*", 5}, {"R2", 5}}},
        {"T\nR1 a b\n+ 1k", {{"T", 1}, {"R1 a b  1k", 2}}},
        // Bytes above 127 (0xFF too: a byte, not the end), DEL, NUL and other control bytes
        // vanish.
        {"\xEF\xBB\xBFT\xE9st\x01\n\xFFR1 a\x7F b\x1A 1\xB5k\n* d\xE8g\0\n"s,
         {{"Tst", 1}, {"R1 a b 1k", 2}, {"* dg", 5}}},
    };
    for (const auto& [text, want] : cases)
        EXPECT_EQ(readText(text), want) << text.substr(0, 60);
}

// The hostile fixtures beside this test, through both constructors.
TEST(NewSpiceStreamTest, FixtureFilesThroughBothConstructors) {
    const std::pair<const char*, Stmts> cases[] = {
        {"crlf", {{"Title line", 1}, {"R1 a b 1k   2", 2}, {"* note", 5}, {"R2 c d 3", 5}}},
        {"nofinalnl", {{"T", 1}, {"R1 a b  1k", 2}}},
        {"empty", {}},
        // BOM, bytes above 127 (0xFF too), DEL, NUL and other control bytes vanish.
        {"highbytes", {{"Tst", 1}, {"R1 a b 1k", 2}, {"* dg", 5}}},
    };
    for (const auto& [name, want] : cases) {
        std::string path =
            std::string(NVSUPPORT_TEST_DATA_DIR) + "/netlist/data/newspice_" + name + ".cir";
        std::string bytes = fileBytes(path);
        NewSpiceStream file(path.c_str());
        EXPECT_STREQ(*file.getSourceFile(), path.c_str());
        EXPECT_EQ(readAll(file, bytes), want) << name;
        nvstrstream src(bytes.data(), int(bytes.size())); // signed bytes: 0xFF reads as -1
        NewSpiceStream mem(src);
        EXPECT_EQ(readAll(mem, bytes), want) << name;
    }
    for (const char* bad : {"/nonexistent/x.cir", "", static_cast<const char*>(nullptr)}) {
        NewSpiceStream in(bad);
        EXPECT_EQ(readAll(in, ""), Stmts{});
    }
}

TEST(NewSpiceStreamTest, LiteralBufferHoldsCompletedLines) {
    nvstrstream src("Title line\r\nR1 a b 1k ; c\n+ 2\n* note\nR2 c d 3\n; end\n");
    NewSpiceStream in(src);
    std::vector<std::string> chunks;
    while (in.gets(nullptr, nullptr)) {
        chunks.push_back(*in.getLitBuffer());
        in.flushLitBuffer();
    }
    EXPECT_EQ(chunks, (std::vector<std::string>{"Title line\n", "R1 a b 1k ; c\n+ 2\n", "* note\n",
                                                "R2 c d 3\n"}));
    EXPECT_EQ(in.getLitBuffer().getLength(), 0);
}

// A reader that treats input beyond `limit` characters as the end.
struct LimitedStream : NewSpiceStream {
    LimitedStream(nvstream& s, int limit) : NewSpiceStream(s) { charLimit = limit; }
};

TEST(NewSpiceStreamTest, CountsInitAndLimit) {
    nvstrstream src("T\nR1\nR2 x\n");
    NewSpiceStream in(src);
    JString s;
    int line = 0;
    ASSERT_TRUE(in.gets(&s, &line));
    EXPECT_TRUE(in.getLineCount() == 1 && in.getCharCount() == 3);
    in.clearCounts();
    EXPECT_TRUE(in.getLineCount() == 0 && in.getCharCount() == 0);
    in.init(); // the next text is a title again; lines count from the restart
    Stmts rest;
    while (in.gets(&s, &line))
        rest.push_back({*s, line});
    EXPECT_EQ(rest, (Stmts{{"R1", 1}, {"R2 x", 2}}));
    EXPECT_EQ(in.getLineCount(), 3);

    // The ninth character goes past a limit of 8: it is counted, and it is the end.
    nvstrstream src2("T\nR1 abcdef\nR2\n");
    LimitedStream lim(src2, 8);
    EXPECT_EQ(readAll(lim, "T\nR1 abcd"), (Stmts{{"T", 1}, {"R1 abc", 2}}));

    // Sources that give nothing (an output-only stream too) read as empty at once.
    nvstdstream handlerStream;
    NewSpiceStream fromHandler(handlerStream);
    EXPECT_EQ(readAll(fromHandler, ""), Stmts{});
    for (const char* bad : {"/nonexistent/x.cir", "", static_cast<const char*>(nullptr)}) {
        NewSpiceStream file(bad);
        EXPECT_EQ(readAll(file, ""), Stmts{});
    }
}

// Statements, line count and final literal buffer the reader must give for `raw`, worked out
// line by line: filter the bytes, find the title, then classify each line by its first
// non-blank character. '*' lines wait for the next statement line (delivered before it, with
// its line number) or for a '+' line (dropped).
Stmts model(const std::string& raw, std::string* literal) {
    std::string text;
    std::copy_if(raw.begin(), raw.end(), std::back_inserter(text),
                 [](char c) { return c == '\n' || c == '\t' || (c >= 32 && c < 127); });
    text += '\n';             // the end of input
    std::vector<size_t> ends; // offset past each line's line feed
    for (size_t e = 0; (e = text.find('\n', e)) != std::string::npos;)
        ends.push_back(++e);
    auto cut = [](const std::string& s) { return s.substr(0, s.find(';')); };
    Stmts out;
    size_t p = text.find_first_not_of(" \t\n;"), i = 0, last = 0;
    *literal = "";
    if (p == std::string::npos)
        return out;
    while (ends[i] <= p)
        ++i;
    std::pair<std::string, int> cur{cut(text.substr(p, ends[i] - 1 - p)), int(i) + 1};
    std::vector<std::string> pending;
    for (last = i++; i < ends.size(); ++i) {
        size_t b = text.find_first_not_of(" \t", ends[i - 1]); // stops at the line feed
        std::string t = text.substr(b, ends[i] - 1 - b);
        if (t.empty() || t[0] == ';')
            continue;
        if (t[0] == '*') {
            pending.push_back(cut(t));
            continue;
        }
        if (t[0] == '+') {
            cur.first += ' ' + cut(t.substr(1));
        } else {
            out.push_back(cur);
            for (const std::string& c : pending)
                out.push_back({c, int(i) + 1});
            cur = {cut(t), int(i) + 1};
        }
        pending.clear();
        last = i;
    }
    out.push_back(cur);
    for (const std::string& c : pending)
        out.push_back({c, int(ends.size()) + 1});
    *literal = text.substr(0, pending.empty() ? ends[last] : text.size());
    return out;
}

TEST(NewSpiceStreamTest, CorpusMatchesLineModel) {
    const std::filesystem::path corpus = NVSUPPORT_CORPUS_DIR;
    if (!std::filesystem::is_directory(corpus / "netlists"))
        GTEST_SKIP() << "no corpus at " << corpus;
    int files = 0;
    for (const char* dir : {"netlists", "models"})
        for (const auto& e : std::filesystem::recursive_directory_iterator(corpus / dir)) {
            if (!e.is_regular_file())
                continue;
            ++files;
            const std::string path = e.path().string(), raw = fileBytes(e.path());
            std::string literal;
            const Stmts want = model(raw, &literal);
            NewSpiceStream in(path.c_str());
            EXPECT_EQ(readAll(in, raw), want) << path;
            EXPECT_EQ(std::string(*in.getLitBuffer()), literal) << path;
            EXPECT_STREQ(*in.getSourceFile(), path.c_str());
            ASSERT_FALSE(HasFailure()) << path;
        }
    EXPECT_GT(files, 100);
}

} // namespace
