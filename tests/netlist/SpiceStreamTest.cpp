#include <nvsupport/netlist/SpiceStream.h>
#include <nvsupport/streams/nvstdstream.h>
#include <nvsupport/streams/nvstrstream.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

struct Reading {
    std::string statements, literals; // "LINE:TEXT" and literal text per statement, '|'-joined
};

// Reads to the end, emptying the literal buffer after each statement; the end must be final.
Reading readAll(SpiceStream& in) {
    Reading r;
    JString s;
    int line = -1;
    bool encoded = false;
    for (const char* sep = ""; in.gets(&s, &line, &encoded); sep = "|") {
        r.statements += sep + std::to_string(line) + ":" + *s;
        r.literals += sep + std::string(**in.getBuffer());
        in.flushBuffer();
    }
    EXPECT_STREQ(*s, "");
    EXPECT_NE(in.eof(), 0);
    EXPECT_FALSE(in.gets(&s, &line, &encoded)) << "the end is final";
    return r;
}

// Reads `text` from memory; every byte and every line feed must have been counted.
Reading readText(const std::string& text, bool suppressEmptyLines = true) {
    nvstrstream src(text.data(), int(text.size()));
    SpiceStream in(src);
    if (!suppressEmptyLines)
        in.dontSuppressEmptyLines();
    Reading r = readAll(in);
    EXPECT_EQ(in.getCharCount(), int(text.size())) << text;
    EXPECT_EQ(in.getLineCount(), int(std::count(text.begin(), text.end(), '\n'))) << text;
    return r;
}

// Statements, and the literal text of each with empty lines kept. With them suppressed the
// literal text must be the same less its empty lines and final line feed.
TEST(SpiceStreamTest, StatementsAndLiteralText) {
    const char* cases[][3] = {
        {"R1 a b 1k ; load\nR2 c d 2k\n* tail\n", "1:R1 a b 1k |2:R2 c d 2k",
         "R1 a b 1k ; load\n|R2 c d 2k\n* tail\n"},
        {"R1 a b\n\n* note\n+ 1k\n", "1:R1 a b  1k", "R1 a b\n\n* note\n+ 1k\n"},
        {"* one\n* two\n* three\nR1 a b", "4:R1 a b", "R1 a b"},
        {"* c\n+ x\n+ y\n", "2:+ x  y", "+ x\n+ y\n"},
        {"*#HSPICE\n$ c\nR1 a;b\n$c\n+2 $ x\n", "3:R1 a;b 2 ", "R1 a;b\n$c\n+2 $ x\n"},
        {"R1 a*b\n*c\n;c\n+2\n+\n", "1:R1 a*b 2 ", "R1 a*b\n*c\n;c\n+2\n+\n"},
        // Bytes above 127 and control bytes other than tab and line feed vanish (carriage
        // returns too); DEL stays.
        {"R\x01\x80"
         "1 a\x7f\tb\xff\r\n\f+ c\x1b\r\n\x1a",
         "1:R1 a\x7f\tb  c", "R1 a\x7f\tb\n+ c\n"},
        {"R1 ; c", "1:R1 ", "R1 ; c"},
        {"R1\n \n  ", "1:R1", "R1\n\n"},
        {"R\n+", "1:R ", "R\n+"},
        {"\n\n  \n* a\n* b", "", ""},
        {"R1 {a}{b} }c\n", "1:R1 {a}{b} }c", "R1 {a}{b} }c\n"},
        {"R1 {abc\nR2 e {f*{g}}\n", "1:R1 |2:R2 e {f*(g)}", "R1 {abc\n|R2 e {f*{g}}\n"},
        {"{a\n", "1:", "{a\n"},
        {"R1 {a ; b}\n", "1:R1 ", "R1 {a ; b}\n"},
    };
    for (const auto& c : cases) {
        const Reading suppressed = readText(c[0]), kept = readText(c[0], false);
        std::string lessEmptyLines;
        for (const char* p = c[2]; *p; ++p)
            if (*p != '\n' || (p[1] && p[1] != '\n' && p[1] != '|'))
                lessEmptyLines += *p;
        EXPECT_EQ(suppressed.statements, c[1]) << c[0];
        EXPECT_EQ(kept.statements, c[1]) << c[0];
        EXPECT_EQ(kept.literals, c[2]) << c[0];
        EXPECT_EQ(suppressed.literals, lessEmptyLines) << c[0];
    }
}

TEST(SpiceStreamTest, GetAndLiteralReads) {
    // The end gives a line feed when a statement is open, then -1 for good ('#' here).
    const char* cases[][2] = {{"R\n+", "R \n#"}, {"R;x", "R\n#"}, {"R\n \n", "R\n#"}, {"*c", "#"}};
    for (const auto& c : cases) {
        nvstrstream src(c[0]);
        SpiceStream in(src);
        std::string chars;
        for (int ch = 0; ch >= 0 && chars.size() < 10;)
            chars += (ch = in.get(false)) < 0 ? '#' : char(ch);
        EXPECT_EQ(chars, c[1]) << c[0];
        EXPECT_EQ(in.get(false), -1);
    }

    // A literal read takes the next filtered character as it is and goes back to line start
    // (where blanks are skipped and comment lines dropped again).
    nvstrstream src("R1 a\n* x\n+ b\r\nC\x01 1\n* y\nR2\n");
    SpiceStream in(src);
    EXPECT_EQ(in.get(false), 'R');
    EXPECT_EQ(in.get(true), '1');
    EXPECT_EQ(in.get(false), 'a');
    in.setLiteralMode(true);
    JString s;
    int line = 0;
    std::string got;
    for (int i = 0; i < 3 && in.gets(&s, &line, nullptr); ++i)
        got += std::to_string(line) + ":" + *s + "|";
    in.setLiteralMode(false);
    EXPECT_TRUE(in.gets(&s, &line, nullptr));
    EXPECT_EQ(got + std::to_string(line) + ":" + *s, "2:|2:* x|3:+ b|4:C 1");
    EXPECT_STREQ(**in.getBuffer(), "R1a\n* x\n+ b\nC 1\n* y");
    in.copyBuffer("new text");
    EXPECT_STREQ(**in.getBuffer(), "new text");
    in.flushBuffer();
    EXPECT_EQ(in.getBuffer()->getLength(), 0);
    EXPECT_TRUE(in.gets(&s, nullptr, nullptr));
    EXPECT_STREQ(*s, "R2");
}

TEST(SpiceStreamTest, Directives) {
    const std::string big = "*#NORVANE" + std::string(195, ' ') + "sep %\nR1\n";
    const std::tuple<std::string, SpiceLanguage, const char*> cases[] = {
        {"*#hspice", SPICE_HSPICE, ""},
        {"  *# PSPICE extra\n", SPICE_PSPICE, ""},
        {"*#NORVANE SEP NONE\n", SPICE_NORVANE, ""},
        {"*#NORVANE sep ab\n", SPICE_NORVANE, "$"},
        {"*#norvane sep=/\n", SPICE_NORVANE, "/"},
        {"*#NORVANE(sep,:)\r\n", SPICE_NORVANE, ":"},
        {"*#NORVANE sep\n", SPICE_NORVANE, "$"},
        {"*#NORVANE x sep\tsep sep y\n", SPICE_NORVANE, "y"},
        {"*#HSPICE\n*#NORVANE sep %\nR1\n", SPICE_NORVANE, "%"},
        {"* #HSPICE\n", SPICE_NORVANE, "$"},
        {"*\n#HSPICE\n", SPICE_NORVANE, "$"},
        {";#HSPICE\n", SPICE_NORVANE, "$"},
        {"*#PSPICE\n*#OTHER\n*#\n", SPICE_PSPICE, ""},
        {"R1\n\n* c\n*#HSPICE\n", SPICE_NORVANE, "$"},
        {big, SPICE_NORVANE, "$"}, // "sep %" lies past the 199 characters read
    };
    for (const auto& [text, lang, sep] : cases) {
        nvstrstream src(text.data(), int(text.size()));
        SpiceStream in(src);
        const Reading r = readAll(in);
        EXPECT_EQ(in.getLanguage(), lang) << text;
        EXPECT_STREQ(in.getSeparator(), sep) << text;
        EXPECT_EQ(in.isHspiceMode(), lang == SPICE_HSPICE);
        EXPECT_EQ(in.getInlineCommentChar(), lang == SPICE_HSPICE ? '$' : ';');
        EXPECT_TRUE(text != big || r.statements == "2:R1") << r.statements;
        in.init(); // restores the separator, keeps the dialect
        EXPECT_STREQ(in.getSeparator(), "$");
        EXPECT_EQ(in.getLanguage(), lang);
    }
}

TEST(SpiceStreamTest, CountsTitleAndRewind) {
    nvstrstream src("* c\r\n\x01\nR1 a ; x\n+ b\nC1\n");
    SpiceStream in(src);
    JString s;
    int line = 0;
    ASSERT_TRUE(in.gets(&s, &line, nullptr));
    EXPECT_EQ(line, 3);
    EXPECT_STREQ(*s, "R1 a   b");
    // The "C" of the next statement has been read: 21 bytes, 4 line feeds. The last
    // character accepted was the line feed after "+ b".
    const auto counts = [&in] {
        return std::vector<int>{in.getLineCount(), in.getCharCount(), in.getLastAcceptedLineCount(),
                                in.getLastAcceptedCharCount()};
    };
    EXPECT_EQ(counts(), (std::vector<int>{4, 21, 4, 20}));
    EXPECT_EQ(in.tellg(), 21);
    in.clearCounts();
    EXPECT_EQ(counts(), (std::vector<int>{0, 0, 4, 0}));
    ASSERT_TRUE(in.gets(&s, &line, nullptr));
    EXPECT_EQ(std::to_string(line) + ":" + *s, "1:C1");
    EXPECT_EQ(counts(), (std::vector<int>{1, 2, 1, 2}));
    EXPECT_FALSE(in.gets(&s, &line, nullptr));

    in.init();
    EXPECT_EQ(in.eof(), 0);
    EXPECT_EQ(in.seekg(0), 0);
    EXPECT_EQ(readAll(in).statements, "3:R1 a   b|5:C1");
    EXPECT_EQ(counts(), (std::vector<int>{5, 23, 5, 23}));

    // The title: the first line raw, every byte but the carriage return kept and counted;
    // its line feed counts as a line only.
    const char title[] = "My \x80ti\0tle\r\nR1 a\n";
    nvstrstream t(title, int(sizeof title - 1));
    SpiceStream titled(t);
    titled.readTitle();
    EXPECT_EQ(std::string(**titled.getBuffer(), titled.getBuffer()->getLength()),
              std::string("My \x80ti\0tle", 10));
    EXPECT_EQ(titled.getCharCount(), 11);
    EXPECT_EQ(titled.getLineCount(), 1);
    titled.flushBuffer();
    EXPECT_EQ(readAll(titled).statements, "2:R1 a");
}

class Evaluating : public SpiceStream {
public:
    using SpiceStream::SpiceStream;
    Strings offered;
    bool evaluate(const char* e, JString* value) override {
        offered.push_back(e);
        if (std::strcmp(e, "w*(2+3)") != 0)
            return SpiceStream::evaluate(e, value);
        *value = "10";
        return true;
    }
};

TEST(SpiceStreamTest, EvaluateHookSeesNestedBracesAsParentheses) {
    nvstrstream src("R1 a b {w*{2+3}} {x}\n+ {y{z}}{\nR2 {a\n+{b}}\n");
    Evaluating in(src);
    EXPECT_EQ(readAll(in).statements, "1:R1 a b 10 {x}  {y(z)}|3:R2 {a (b)}");
    EXPECT_EQ(in.offered, (Strings{"w*(2+3)", "x", "y(z)", "a (b)"}));
}

int decodeHook(char* line, char* out, int* outLength) {
    if (std::strcmp(line, "?@@secret\n") != 0)
        return 7;
    std::strcpy(out, "R2 c\n");
    *outLength = 5;
    return 0;
}

TEST(SpiceStreamTest, EncodedLinesAndOtherSources) {
    // The flag is looked at for every character taken, the line feed that ends a statement
    // included, and that line feed comes once the next line has been read.
    nvstrstream src("R1 a\n?@@secret\nR3 b\n");
    SpiceStream in(src);
    in.setAllowEncryption(decodeHook);
    JString s;
    int line = 0;
    bool enc = false;
    std::vector<std::pair<std::string, bool>> got;
    while (in.gets(&s, &line, &enc))
        got.push_back({*s, enc});
    EXPECT_EQ(got, (decltype(got){{"R1 a", true}, {"R2 c", true}, {"R3 b", false}}));
    // With a hook the stream's own count (bytes taken from the buffer) is the count.
    EXPECT_EQ(in.getCharCount(), 20);
    EXPECT_EQ(in.getLineCount(), 3);
    in.clearCounts();
    EXPECT_EQ(in.nvstream::getCharCount(), 0);

    // The stream constructor takes the buffer over and leaves the source a fresh one.
    nvstrstream mem("R1 x y\n");
    SpiceStream taken(mem);
    mem.write("C1 p q\n", 7);
    EXPECT_EQ(readAll(taken).statements, "1:R1 x y");
    EXPECT_STREQ(*taken.getSourceFile(), "");
    JString rest;
    EXPECT_TRUE(mem.getline(&rest));
    EXPECT_STREQ(*rest, "C1 p q");

    // Sources that give nothing end at once.
    nvstream bare;
    SpiceStream none(bare);
    nvstdstream handler;
    SpiceStream output(handler);
    SpiceStream missing("/nonexistent/x.cir", SPICE_NORVANE), nullPath(nullptr, 2);
    EXPECT_FALSE(missing);
    EXPECT_EQ(nullPath.getLanguage(), SPICE_HSPICE);
    for (SpiceStream* empty : {&none, &output, &missing, &nullPath})
        EXPECT_EQ(readAll(*empty).statements, "");
}

TEST(SpiceStreamTest, SimulatorTypeText) {
    const std::pair<int, const char*> built[] = {{0, ""},        {1, "Norvane"},
                                                 {2, "KESTRUM"}, {3, "KESTRUM|Norvane"},
                                                 {4, ""},        {7, "KESTRUM|Norvane"}};
    for (const auto& [type, text] : built)
        EXPECT_STREQ(*support_BuildSimulatorTypeString(SimulatorType(type)), text) << type;
    const std::pair<const char*, int> cracked[] = {
        {"kestrum|NORVANE", 3}, {"Norvane|Other", 1},   {"", 0},
        {nullptr, 0},           {" Norvane", 0},        {"KESTRUM||kestrum", 2},
        {"|norvane|", 1},       {"Norvane KESTRUM", 0}, {"KESTRUM|Norvane", 3}};
    for (const auto& [text, type] : cracked)
        EXPECT_EQ(support_CrackSimulatorType(text), type) << (text ? text : "null");
}

// --- Corpus: every file against an independent line-by-line reading of the same rules: ---
// bytes outside printable ASCII and tab dropped, leading blanks and blank lines dropped; a
// line starting with '*' or the comment character is a comment, kept in the literal text of
// the statement before it; a '+' line joins that statement with a blank; text from the
// comment character on is cut; braces as gets() treats them when nothing is evaluated. No
// corpus file switches the dialect, so it must stay as opened.

struct RefStatement {
    int line;
    std::string text, literal;
};

std::string withBraces(const std::string& s) {
    std::string out, expr;
    int depth = 0;
    for (char c : s) {
        if (depth == 0 && c == '{')
            depth = 1;
        else if (depth == 0)
            out += c;
        else if (c == '{')
            ++depth, expr += '(';
        else if (c != '}')
            expr += c;
        else if (--depth > 0)
            expr += ')';
        else
            out += "{" + expr + "}", expr.clear();
    }
    return out;
}

std::vector<RefStatement> referenceRead(const std::string& bytes, char x) {
    std::vector<RefStatement> out;
    int n = 1;
    for (std::size_t pos = 0; pos < bytes.size(); ++n) {
        const std::size_t nl = std::min(bytes.find('\n', pos), bytes.size());
        std::string f; // the line, filtered, without its leading blanks
        for (; pos < nl; ++pos) {
            const unsigned char c = bytes[pos];
            if (((c >= 32 && c <= 127) || c == '\t') && !(f.empty() && (c == ' ' || c == '\t')))
                f += char(c);
        }
        pos = nl + 1;
        const std::string code = f.substr(0, f.find(x));
        if (f.empty())
            continue;
        if (f[0] == '*' || f[0] == x) {
            if (!out.empty())
                out.back().literal += "\n" + f;
        } else if (f[0] == '+' && !out.empty()) {
            out.back().text += " " + code.substr(1);
            out.back().literal += "\n" + f;
        } else {
            out.push_back({n, code, f});
        }
    }
    for (RefStatement& s : out)
        s.text = withBraces(s.text);
    return out;
}

TEST(SpiceStreamTest, CorpusMatchesLineByLineReading) {
    const fs::path corpus = NVSUPPORT_CORPUS_DIR;
    if (!fs::is_directory(corpus / "netlists"))
        GTEST_SKIP() << "no corpus at " << corpus;
    int files = 0;
    long statements = 0;
    for (const char* sub : {"netlists", "models"}) {
        for (const auto& e : fs::recursive_directory_iterator(corpus / sub)) {
            if (!e.is_regular_file())
                continue;
            std::ifstream f(e.path(), std::ios::binary);
            const std::string p = e.path().string(), bytes{std::istreambuf_iterator<char>(f), {}};
            const bool hspice = p.find("/hspice/") != std::string::npos;
            const std::vector<RefStatement> want = referenceRead(bytes, hspice ? '$' : ';');
            SpiceStream in(p.c_str(), hspice ? SPICE_HSPICE : SPICE_NORVANE);
            JString s;
            int line = 0;
            std::size_t i = 0;
            for (; in.gets(&s, &line, nullptr); ++i, in.flushBuffer()) {
                ASSERT_LT(i, want.size()) << p << ": extra statement at line " << line;
                ASSERT_EQ(line, want[i].line) << p;
                ASSERT_EQ(std::string(*s), want[i].text) << p << ":" << line;
                ASSERT_EQ(std::string(**in.getBuffer()), want[i].literal) << p << ":" << line;
            }
            ASSERT_EQ(i, want.size()) << p;
            EXPECT_EQ(in.isHspiceMode(), hspice) << p;
            EXPECT_STREQ(*in.getSourceFile(), p.c_str());
            EXPECT_EQ(in.getCharCount(), int(bytes.size())) << p;
            EXPECT_EQ(in.getLineCount(), int(std::count(bytes.begin(), bytes.end(), '\n'))) << p;
            ++files;
            statements += long(i);
        }
    }
    EXPECT_GT(files, 300);
    EXPECT_GT(statements, 100000);
}

} // namespace

// The hostile fixtures beside this test, read from their files: CR LF, no final line feed,
// bytes above 127, control bytes, unterminated braces, an empty file, a missing one.
TEST(SpiceStreamTest, HostileFixtureFiles) {
    const std::string dir = std::string(NVSUPPORT_TEST_DATA_DIR) + "/netlist/data/";
    struct Case {
        const char* file;
        const char* want;
        int lines, chars;
    } cases[] = {
        {"spice_crlf.cir", "1:Title line|2:R1 a b 1k   2|5:C1 x y 1p", 5, 54},
        {"spice_nofinalnl.cir", "2:R1 a b  1k", 2, 18},
        {"spice_highbytes.cir", "1:R1 a  b|3:C1  x", 3, 33},
        {"spice_controls.cir", "1:R1 a b\x7f  c", 2, 17},
        {"spice_unterminated.cir", "1:R1 a |3:R2 e {f*(g)}|4:R3 ", 4, 34},
        {"spice_empty.cir", "", 0, 0},
        {"no_such_file.cir", "", 0, 0},
    };
    for (const Case& c : cases) {
        std::string path = dir + c.file;
        SpiceStream in(path.c_str(), SPICE_NORVANE);
        EXPECT_EQ(bool(in), std::strcmp(c.file, "no_such_file.cir") != 0) << c.file;
        EXPECT_STREQ(*in.getSourceFile(), path.c_str());
        EXPECT_EQ(readAll(in).statements, c.want) << c.file;
        EXPECT_EQ(in.getLineCount(), c.lines) << c.file;
        EXPECT_EQ(in.getCharCount(), c.chars) << c.file;
    }
}
