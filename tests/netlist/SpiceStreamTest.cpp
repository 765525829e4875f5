#include <nvsupport/netlist/SpiceStream.h>
#include <nvsupport/streams/nvstdstream.h>
#include <nvsupport/streams/nvstrstream.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

// Every statement as "LINE:TEXT" joined with '|'; each one's literal text (flushed after it)
// goes to `literals` when given.
std::string readAll(SpiceStream& in, Strings* literals = nullptr) {
    std::string out;
    JString s;
    int line = -1;
    bool encoded = false;
    while (in.gets(&s, &line, &encoded)) {
        out += (out.empty() ? "" : "|") + std::to_string(line) + ":" + *s;
        if (literals)
            literals->push_back(**in.getBuffer());
        in.flushBuffer();
    }
    EXPECT_STREQ(*s, "");
    EXPECT_NE(in.eof(), 0);
    EXPECT_FALSE(in.gets(&s, &line, &encoded)) << "the end is final";
    return out;
}

std::string readText(const std::string& text, Strings* literals = nullptr) {
    nvstrstream src(text.data(), int(text.size()));
    SpiceStream in(src);
    return readAll(in, literals);
}

TEST(SpiceStreamTest, Statements) {
    const char* cases[][2] = {
        {"R1 a b 1k ; load\nR2 c d 2k\n", "1:R1 a b 1k |2:R2 c d 2k"},
        {"*#PSPICE\nR1 a b 1k ; load\nR2 c $d\n", "2:R1 a b 1k |3:R2 c $d"},
        {"*#HSPICE\nR1 a b 1k $ load\nR2 c;d\n", "2:R1 a b 1k |3:R2 c;d"},
        {"R1 a b\n\n* note\n+ 1k\n", "1:R1 a b  1k"},
        {"R1 a b 1k", "1:R1 a b 1k"},
        {"* one\n* two\n* three\nR1 a b\n", "4:R1 a b"},
        {"\n* c\n\n  ; c\n\t* c\nR1\n\n\n* c\nR2\n", "6:R1|10:R2"},
        {"  \tR1 a\n \t+ b  \nC1 x\n", "1:R1 a  b  |3:C1 x"},
        {"+ x\n", "1:+ x"},
        {"* c\n+ x\n+ y\n", "2:+ x  y"},
        {"*#HSPICE\n$ c\nR1 a\n$c\n+2\n", "3:R1 a 2"},
        {"R1 a*b\n*c\n;c\n+2\n+\n", "1:R1 a*b 2 "},
        {"R1 a\r\n+ b\r\n", "1:R1 a  b"},
        {"R\x01\x80"
         "1 a\x7f\tb\n",
         "1:R1 a\x7f\tb"},
        {"R1 ; c", "1:R1 "},
        {"R1\n   ", "1:R1"},
        {"", ""},
        {"\n\n  \n* a\n* b", ""},
        {"R1 a {x*{y+z}} b\n", "1:R1 a {x*(y+z)} b"},
        {"R1 {a}{b} }c\n", "1:R1 {a}{b} }c"},
        {"R1 {abc\nR2\n", "1:R1 |2:R2"},
        {"R1 {a\n+ b}\n", "1:R1 {a  b}"},
        {"{a\n", "1:"},
        {"R1 {a ; b}\n", "1:R1 "},
        {"*# PSPICE\nR1 a $ c ; d\n", "2:R1 a $ c "},
        {"R1 a\n*#HSPICE\nR2 $ x\n", "1:R1 a|3:R2 $ x"},
        {"* #HSPICE\nR1 $x\n", "2:R1 $x"},
        {"*#HSPICE\r\n*#NORVANE\nR1 a ; b $ c\n", "3:R1 a "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(readText(c[0]), c[1]) << c[0];
}

// Every row of the grammar: the characters get(false) returns (-1 as '#'), and the literal
// text with empty lines suppressed and kept.
TEST(SpiceStreamTest, GrammarTransitionsAndLiteralText) {
    const char* cases[][4] = {
        {"  \tR\n", "R\n#", "R", "R\n"},
        {"\n\n*c\nR", "R\n#", "R", "R"},
        {"*c", "#", "", ""},
        {";c\n", "#", "", ""},
        {"R;x\n", "R\n#", "R;x", "R;x\n"},
        {"R;x", "R\n#", "R;x", "R;x"},
        {"R\n  \n\t+ a", "R  a\n#", "R\n+ a", "R\n\n+ a"},
        {"R\n*c\n;d\nS", "R\nS\n#", "R\n*c\n;dS", "R\n*c\n;d\nS"},
        {"R;x\n\n*c\n+a\nS\n", "R a\nS\n#", "R;x\n*c\n+aS", "R;x\n\n*c\n+a\nS\n"},
        {"R\n \n", "R\n#", "R", "R\n\n"},
        {"R\n+", "R \n#", "R\n+", "R\n+"},
    };
    for (const auto& c : cases) {
        for (int suppress = 1; suppress >= 0; --suppress) {
            nvstrstream src(c[0]);
            SpiceStream in(src);
            if (!suppress)
                in.dontSuppressEmptyLines();
            std::string chars;
            for (int ch = 0; ch >= 0 && chars.size() < 100;)
                chars += (ch = in.get(false)) < 0 ? '#' : char(ch);
            EXPECT_EQ(chars, c[1]) << c[0];
            EXPECT_EQ(in.eof(), 1);
            EXPECT_EQ(in.get(false), -1);
            EXPECT_STREQ(**in.getBuffer(), c[suppress ? 2 : 3]) << c[0];
        }
    }
    Strings lit;
    readText("R1 a b 1k ; load\nR2 c d 2k\n* tail\n", &lit);
    readText("R1 a b\n\n* note\n+ 1k\n", &lit);
    EXPECT_EQ(lit, (Strings{"R1 a b 1k ; load", "R2 c d 2k\n* tail", "R1 a b\n* note\n+ 1k"}));

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
    struct Case {
        std::string text;
        SpiceLanguage start, lang;
        const char* sep;
    } cases[] = {
        {"*#HSPICE\nR1\n", SPICE_NORVANE, SPICE_HSPICE, ""},
        {"*#hspice", SPICE_NORVANE, SPICE_HSPICE, ""},
        {"  *# PSPICE extra\n", SPICE_HSPICE, SPICE_PSPICE, ""},
        {"*#NORVANE sep %\n", SPICE_HSPICE, SPICE_NORVANE, "%"},
        {"*#NORVANE SEP NONE\n", SPICE_NORVANE, SPICE_NORVANE, ""},
        {"*#NORVANE sep ab\n", SPICE_PSPICE, SPICE_NORVANE, "$"},
        {"*#norvane sep=/\n", SPICE_NORVANE, SPICE_NORVANE, "/"},
        {"*#NORVANE(sep,:)\r\n", SPICE_NORVANE, SPICE_NORVANE, ":"},
        {"*#NORVANE sep\n", SPICE_NORVANE, SPICE_NORVANE, "$"},
        {"*#NORVANE x sep\tsep sep y\n", SPICE_NORVANE, SPICE_NORVANE, "y"},
        {"*#HSPICE\n*#NORVANE sep %\nR1\n", SPICE_NORVANE, SPICE_NORVANE, "%"},
        {"* #HSPICE\n", SPICE_NORVANE, SPICE_NORVANE, "$"},
        {"*\n#HSPICE\n", SPICE_NORVANE, SPICE_NORVANE, "$"},
        {";#HSPICE\n", SPICE_NORVANE, SPICE_NORVANE, "$"},
        {"*#OTHER\n*#\n", SPICE_PSPICE, SPICE_PSPICE, "$"},
        {"R1\n\n* c\n*#HSPICE\n", SPICE_PSPICE, SPICE_PSPICE, "$"},
        {big, SPICE_HSPICE, SPICE_NORVANE, "$"}, // "sep %" lies past the 199 characters read
    };
    char tmpl[] = "/tmp/spicestream-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const fs::path file = fs::path(tmpl) / "d.cir";
    for (const Case& c : cases) {
        std::ofstream(file, std::ios::binary) << c.text;
        SpiceStream in(file.c_str(), c.start);
        EXPECT_EQ(in.getLanguage(), c.start);
        const std::string all = readAll(in);
        EXPECT_EQ(in.getLanguage(), c.lang) << c.text;
        EXPECT_STREQ(in.getSeparator(), c.sep) << c.text;
        EXPECT_EQ(in.isHspiceMode(), c.lang == SPICE_HSPICE);
        EXPECT_EQ(in.getInlineCommentChar(), c.lang == SPICE_HSPICE ? '$' : ';');
        EXPECT_TRUE(c.text != big || all == "2:R1") << all;
        in.init(); // restores the separator, keeps the dialect
        EXPECT_STREQ(in.getSeparator(), "$");
        EXPECT_EQ(in.getLanguage(), c.lang);
    }
    fs::remove_all(tmpl);
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
    EXPECT_EQ(in.getLineCount(), 4);
    EXPECT_EQ(in.getCharCount(), 21);
    EXPECT_EQ(in.getLastAcceptedLineCount(), 4);
    EXPECT_EQ(in.getLastAcceptedCharCount(), 20);
    EXPECT_EQ(in.tellg(), 21);
    in.clearCounts();
    EXPECT_EQ(in.getLineCount() + in.getCharCount() + in.getLastAcceptedCharCount(), 0);
    EXPECT_EQ(in.getLastAcceptedLineCount(), 4);
    ASSERT_TRUE(in.gets(&s, &line, nullptr));
    EXPECT_STREQ(*s, "C1");
    EXPECT_EQ(line, 1);
    EXPECT_EQ(in.getCharCount(), 2);
    EXPECT_FALSE(in.gets(&s, &line, nullptr));

    in.init();
    EXPECT_EQ(in.eof(), 0);
    EXPECT_EQ(in.seekg(0), 0);
    EXPECT_EQ(readAll(in), "3:R1 a   b|5:C1");
    EXPECT_EQ(in.getCharCount(), 23);
    EXPECT_EQ(in.getLineCount(), 5);

    // The title: the first line raw, its carriage return counted but not kept; its line feed
    // counts as a line only.
    nvstrstream t("My \x80title\r\nR1 a\n");
    SpiceStream titled(t);
    titled.readTitle();
    EXPECT_STREQ(**titled.getBuffer(), "My \x80title");
    EXPECT_EQ(titled.getCharCount(), 10);
    EXPECT_EQ(titled.getLineCount(), 1);
    titled.flushBuffer();
    EXPECT_EQ(readAll(titled), "2:R1 a");
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
    EXPECT_EQ(readAll(in), "1:R1 a b 10 {x}  {y(z)}|3:R2 {a (b)}");
    EXPECT_EQ(in.offered, (Strings{"w*(2+3)", "x", "y(z)", "a (b)"}));
    JString v("kept");
    EXPECT_FALSE(in.SpiceStream::evaluate("x", &v));
    EXPECT_STREQ(*v, "kept");
}

int decodeHook(char* line, char* out, int* outLength) {
    if (std::strcmp(line, "?@@secret\n") != 0)
        return 7;
    std::strcpy(out, "R2 c\n");
    *outLength = 5;
    return 0;
}

TEST(SpiceStreamTest, EncodedLinesAndOtherStreams) {
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
    EXPECT_EQ(readAll(taken), "1:R1 x y");
    EXPECT_STREQ(*taken.getSourceFile(), "");
    JString rest;
    EXPECT_TRUE(mem.getline(&rest));
    EXPECT_STREQ(*rest, "C1 p q");

    // 0xFF is a byte (dropped), not the end; streams that give nothing end at once.
    std::string ff = "R1 \xff a\n\xff\nR2\n";
    EXPECT_EQ(readText(ff), "1:R1  a|3:R2");
    nvstream bare;
    SpiceStream none(bare);
    EXPECT_EQ(readAll(none), "");
    nvstdstream handler;
    SpiceStream output(handler);
    EXPECT_EQ(readAll(output), "");
}

TEST(SpiceStreamTest, HostileFilesAndLongStatements) {
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
        EXPECT_EQ(readAll(in), c.want) << c.file;
        EXPECT_EQ(in.getLineCount(), c.lines) << c.file;
        EXPECT_EQ(in.getCharCount(), c.chars) << c.file;
    }
    SpiceStream nullPath(nullptr, 2);
    EXPECT_EQ(nullPath.getLanguage(), SPICE_HSPICE);
    EXPECT_EQ(readAll(nullPath), "");

    // 20 000 continuation lines make one statement; a 1 MB line comes back whole.
    std::string text = "X1", want = "X1";
    for (int i = 0; i < 20000; ++i) {
        text += "\n+ n" + std::to_string(i % 10);
        want += "  n" + std::to_string(i % 10);
    }
    text += "\nL" + std::string(1 << 20, 'x') + "\n";
    Strings lit;
    EXPECT_EQ(readText(text, &lit), "1:" + want + "|20002:L" + std::string(1 << 20, 'x'));
    EXPECT_EQ(lit[0], text.substr(0, text.size() - (1 << 20) - 3));
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
// bytes outside printable ASCII and tab dropped; blank lines dropped; a line whose first
// non-blank is '*' or the comment character is a comment (before the first statement a
// "*#" line may switch the dialect), kept in the literal text of the statement before it;
// a '+' line joins that statement with a blank; text from the comment character on is cut;
// braces as gets() treats them when nothing is evaluated.

struct RefStatement {
    int line;
    std::string text, literal;
};

int directiveLanguage(std::string t) { // the bytes after "*#"
    t = t.substr(0, 199);
    t.erase(std::remove(t.begin(), t.end(), '\r'), t.end());
    t = t.substr(0, t.find('\0'));
    const std::size_t b = t.find_first_not_of(" =(),\t");
    std::string w = b == std::string::npos ? "" : t.substr(b, t.find_first_of(" =(),\t", b) - b);
    std::transform(w.begin(), w.end(), w.begin(), [](char c) { return char(std::toupper(c)); });
    return w == "NORVANE" ? 0 : w == "PSPICE" ? 1 : w == "HSPICE" ? 2 : -1;
}

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

std::vector<RefStatement> referenceRead(const std::string& bytes, int lang) {
    std::vector<RefStatement> out;
    std::size_t pos = 0;
    for (int n = 1; pos < bytes.size(); ++n) {
        const std::size_t nl = std::min(bytes.find('\n', pos), bytes.size());
        const std::string raw = bytes.substr(pos, nl - pos);
        pos = nl + 1;
        std::string f;
        std::size_t first = 0;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            const unsigned char c = raw[i];
            if ((c < 32 && c != '\t') || c > 127 || (f.empty() && (c == ' ' || c == '\t')))
                continue;
            first = f.empty() ? i : first;
            f += raw[i];
        }
        const char x = lang == 2 ? '$' : ';';
        const std::string code = f.substr(0, f.find(x));
        if (f.empty()) {
            continue;
        } else if (f[0] == '*' || f[0] == x) {
            if (!out.empty())
                out.back().literal += "\n" + f;
            else if (raw.compare(first, 2, "*#") == 0 &&
                     directiveLanguage(raw.substr(first + 2)) >= 0)
                lang = directiveLanguage(raw.substr(first + 2));
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
            const std::string bytes((std::istreambuf_iterator<char>(f)), {});
            const std::string p = e.path().string();
            const SpiceLanguage lang =
                p.find("/hspice/") != std::string::npos ? SPICE_HSPICE : SPICE_NORVANE;
            const std::vector<RefStatement> want = referenceRead(bytes, lang);
            SpiceStream in(p.c_str(), lang);
            JString s;
            int line = 0;
            std::size_t i = 0;
            for (; in.gets(&s, &line, nullptr); ++i) {
                ASSERT_LT(i, want.size()) << p << ": extra statement at line " << line;
                ASSERT_EQ(line, want[i].line) << p;
                ASSERT_TRUE(i == 0 || line > want[i - 1].line) << p;
                ASSERT_EQ(std::string(*s), want[i].text) << p << ":" << line;
                ASSERT_TRUE(!s.isEmpty() || want[i].text.empty()) << p << ":" << line;
                ASSERT_EQ(std::string(**in.getBuffer()), want[i].literal) << p << ":" << line;
                in.flushBuffer();
            }
            ASSERT_EQ(i, want.size()) << p;
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
