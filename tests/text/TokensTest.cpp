#include <nvsupport/text/Tokens.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

std::string str(const JString& s) {
    return *s;
}

// A word or quoted token as its text, a special character c as "#c" (the end as "#\xFF").
std::string str(const ScanToken& t) {
    EXPECT_TRUE(t.type >= -128 && t.type < 128) << "not a signed char: " << t.type;
    return t.type ? "#" + std::string(1, static_cast<char>(t.type)) + str(t.text) : str(t.text);
}

// A tokenizer under test: `get` takes a token at the cursor (of a writable text), first
// skipping bytes of `skip`, and gives `end` at the end. Words are at most 1023 characters,
// tokens opening with a byte of `quotes` (all if null) at most the length they consume.
struct Getter {
    const char* name;
    std::function<std::string(const char**)> get;
    std::string skip, end;
    const char* quotes;
};

Getter strTok(const char* d) {
    return {"sp_StrTok", [d](const char** p) { return str(sp_StrTok(p, d)); }, d ? d : "", "",
            "\""};
}

// sp_GetToken, after checking that sp_PeekToken gives the same token and leaves the cursor.
Getter getToken(const char* d, const char* open, const char* close, bool keep) {
    auto get = [=](const char** p) {
        const char* before = p ? *p : nullptr;
        const std::string peek = str(sp_PeekToken(p, d, open, close, keep));
        EXPECT_EQ(p ? *p : nullptr, before) << "the peek moved the cursor";
        const std::string t = str(sp_GetToken(p, d, open, close, keep));
        EXPECT_EQ(peek, t);
        return t;
    };
    return {"sp_GetToken", get, d ? d : "", "", close && open ? open : ""};
}

Getter scanSpec(ScanSpec s) {
    auto get = [s](const char** p) {
        ScanToken t;
        t.text = sp_GetToken(p, s, &t.type);
        return str(t);
    };
    const char* quotes = s.closeQuotes && s.openQuotes ? s.openQuotes : "";
    return {"sp_GetToken(ScanSpec)", get, s.delimiters ? s.delimiters : "", "#\xFF", quotes};
}

Getter splitToken(char d) {
    auto get = [d](const char** p) {
        JString t("untouched");
        return sp_SplitToken(p, d, &t) ? str(t) : "false, " + str(t);
    };
    return {"sp_SplitToken", get, "", "false, untouched", nullptr};
}

Getter inPlace(char d) {
    auto get = [d](const char** p) {
        const char* f = sp_ScanLine(const_cast<char**>(p), d);
        return f ? std::string(f) : "(null)";
    };
    return {"sp_ScanLine(in place)", get, "", "(null)", nullptr};
}

const Getter nonWS{"sp_GetNonWS", [](const char** p) { return std::to_string(sp_GetNonWS(p)); },
                   " \t", "0", ""};

// The tokens `g` takes from `text`. Each step must move the cursor (past no skipped byte
// after a word) and keep to the length limit, giving no non-empty `end`. At the end `g`
// must give `end` and stay, a result kept as a token when bytes were skipped.
Strings tokens(std::string text, const Getter& g) {
    Strings out;
    for (const char* p = text.data();;) {
        // A plain loop, not strspn: a sanitizer's strspn measures the whole rest of the text
        // each time, which makes long corpus lines quadratic.
        const char *before = p, *start = p;
        while (*start && g.skip.find(*start) != std::string::npos)
            ++start;
        const char next = *start;
        const bool free = !g.quotes || (next && std::strchr(g.quotes, next));
        const std::string t = g.get(&p);
        const bool ok = next ? p > before && p <= text.data() + text.size() &&
                                   (free || g.skip.find(p[-1]) == std::string::npos) &&
                                   (t != g.end || g.end.empty()) &&
                                   static_cast<long>(t.size()) <= (free ? p - before : 1023)
                             : p == start && t == g.end;
        EXPECT_TRUE(ok) << g.name << " at " << before - text.data() << ": " << text;
        if (next || start != before)
            out.push_back(t);
        if (!next || !ok)
            return out;
    }
}

template <class T> Strings items(const YArray<T>& a) {
    Strings out;
    for (const T& v : a)
        out.push_back(str(v));
    return out;
}

// An unnamed temporary file holding `bytes`, positioned at its start.
FILE* fileWith(const std::string& bytes) {
    FILE* f = std::tmpfile();
    if (f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size())
        std::rewind(f);
    return f;
}

// The lines of sp_ReadNextLine, then "!" and what the false result left; or those of
// sp_ReadNextNonBlankLine as "<line count>:<text>", then "<line count>:!".
Strings readLines(FILE* f, bool nonBlank) {
    JString line("junk");
    Strings out;
    int n = 0;
    auto tag = [&] { return nonBlank ? std::to_string(n) + ":" : std::string(); };
    while (nonBlank ? sp_ReadNextNonBlankLine(f, &line, &n) : sp_ReadNextLine(f, &line))
        out.push_back(tag() + str(line));
    out.push_back(tag() + "!" + str(line));
    return out;
}

const std::string kLong(1500, 'w'), kHead = kLong.substr(0, 1023), kTail = kLong.substr(1023),
                                    kTwo = kLong + " " + kLong;

TEST(TokensTest, TokenizersTakeWordsQuotesAndSpecials) {
    const ScanSpec nest{" ", "(", ")", "=,", false, true}, kept{" ", "(", ")", "=,", true, true},
        flat{" ", "(", ")", "=,", false, false}, same{" \t", "\"'", "\"'", "+", false, true},
        high{" ", nullptr, nullptr, "\xB5", false, false};
    const Getter dq = getToken(" ", "\"", "\"", false);
    const std::tuple<Getter, std::string, Strings> cases[] = {
        {strTok(" "), "  \"a b\" c \"\" next \"open", {"a b", "c", "", "next", "open"}},
        {strTok(","), "x,,y\"z w\",v,", {"x", "y\"z w\"", "v", ""}}, // the last: the end
        {strTok(nullptr), " a b", {" a b"}},
        {strTok(" "), kLong + " \"" + kLong + "\" x", {kHead, kTail, kHead, kTail + "\"", "x"}},
        {dq, "\"\" x ab\"c d\"", {"", "x", "ab\"c", "d\""}}, // quotes only open a token
        {getToken(" ", "\"", "\"", true), "\"\" x   ", {"\"\"", "x", ""}},
        {getToken(" ,", "\"", "\"", false), "  \"a, b\",c", {"a, b", "c"}},
        {getToken(" ", "\"", nullptr, false), "\"a b\" c", {"\"a", "b\"", "c"}}, // no quoting
        {getToken(" ", nullptr, "\"", false), "\"a b\" c", {"\"a", "b\"", "c"}},
        {getToken(" ", "<{'", ">}'", false), "<a b>{c d} 'e f", {"a b", "c d", "e f"}},
        {getToken(" ", "<{'", ">}'", true), "<a b>{c d} 'e f", {"<a b>", "{c d}", "'e f"}},
        {getToken(" ", "([", ")", false), "(x) [y", {"x", "y"}}, // '[' has no closer
        {getToken(nullptr, "\"", "\"", false), " a b ", {" a b "}},
        {getToken(" ", "\xAB", "\xBB", true), "\xE9 \xAB\xE0 b\xBB", {"\xE9", "\xAB\xE0 b\xBB"}},
        {getToken(" ", "'", "'", false), kLong + " '" + kTwo + "' x", {kHead, kTail, kTwo, "x"}},
        {scanSpec(nest), "a=(b (c)) ,d", {"a", "#=", "b (c)", "#,", "d"}},
        {scanSpec(kept), "a=(b (c)) ,d", {"a", "#=", "(b (c))", "#,", "d"}},
        {scanSpec(flat), "a=(b (c)) ,d", {"a", "#=", "b (c", ")", "#,", "d"}},
        {scanSpec(nest), "() = (a))x (a (b)", {"", "#=", "a", ")x", "a (b)"}}, // no depth below 0
        {scanSpec(same), "\t\"a'b\"c+'x \"y' d", {"a'b", "c", "#+", "x \"y", "d"}},  // no nesting
        {scanSpec({" ", "(", nullptr, "(", false, false}), "a(b", {"a", "#(", "b"}}, // no closers
        {scanSpec({" ", "(", ")", "()", false, false}), "a(b)c", {"a", "b", "c"}},   // quotes first
        {scanSpec({nullptr, nullptr, nullptr, nullptr, false, false}), " a=b ", {" a=b "}},
        {scanSpec(high), "1 \xB5 ", {"1", "#\xB5", "#\xFF"}}, // a negative type, then the end
        {scanSpec(nest), kLong + "=(" + kTwo + ")", {kHead, kTail, "#=", kTwo}},
        {splitToken(','), kLong + kLong + ",a,,b, x y,", {kLong + kLong, "a", "", "b", " x y"}},
        {splitToken('\0'), "a,b", {"a,b"}},
        {nonWS, " \t x\t\xE9 ", {"120", "-23", "0"}}, // 'x', then a signed byte
        {inPlace(','), "a,,b c,", {"a", "", "b c"}},
        {inPlace('\0'), "x,y", {"x,y"}},
    };
    for (const auto& [g, text, want] : cases)
        EXPECT_EQ(tokens(text, g), want) << text;
    const char* noText = nullptr;
    for (const char** cursor : {&noText, static_cast<const char**>(nullptr)})
        for (const Getter& g :
             {strTok(" "), dq, scanSpec(nest), nonWS, splitToken(','), inPlace(',')})
            EXPECT_EQ(g.get(cursor), g.end) << g.name;
    const char* p = "x ;y";
    EXPECT_EQ(str(sp_GetToken(&p, nest, nullptr)), "x"); // null result pointers are ignored
    EXPECT_TRUE(sp_SplitToken(&p, ';', nullptr));
    EXPECT_STREQ(p, "y");
}

TEST(TokensTest, ScanLineAndSplitLineFillArrays) {
    const ScanSpec spec{" ", "\"", "\"", "=", false, false};
    const Strings words{"old", "x", "y", "z"}, texts{"old", "a", "", "", "b c"},
        typed{"a", "#=", "", "b c"};
    auto head = [](const Strings& s, int n) { return Strings(s.begin(), s.begin() + n); };
    // maxTokens, how many of the words, how many of the tokens are appended (null lines: none).
    const int cases[][3] = {{-1, 3, 4}, {-7, 3, 4}, {0, 0, 0}, {2, 2, 2}, {3, 3, 3}, {9, 3, 4}};
    YArray<JString> old;
    old.add("old");
    for (const auto& [max, nWords, nTokens] : cases) {
        YArray<JString> w = old, t = old;
        YArray<ScanToken> ty;
        for (const char* line : {static_cast<const char*>(nullptr), "  x y\tz "})
            sp_ScanLine(line, " \t", &w, max);
        for (const char* line : {static_cast<const char*>(nullptr), "a = \"\" \"b c\""}) {
            sp_ScanLine(line, spec, &t, max);
            sp_ScanLine(line, spec, &ty, max);
        }
        EXPECT_EQ(items(w), head(words, 1 + nWords)) << max;
        EXPECT_EQ(items(t), head(texts, 1 + nTokens)) << max;
        EXPECT_EQ(items(ty), head(typed, nTokens)) << max;
    }
    YArray<JString> a = old;
    sp_ScanLine((kLong + " \"q r\"").c_str(), " ", &a, -1); // no quoting, 1023-character pieces
    EXPECT_EQ(items(a), (Strings{"old", kHead, kTail, "\"q", "r\""}));

    // Line, delimiter, entries held before ("p"), minFields, the array after.
    const std::tuple<std::string, char, int, int, Strings> splits[] = {
        {"a,,b,", ',', 0, 5, {"a", "", "b", "", ""}},
        {"a,,b,", ',', 0, 0, {"a", "", "b"}},
        {"", ',', 0, 0, {}},
        {",", ',', 0, 0, {""}},
        {",,x", ',', 0, -3, {"", "", "x"}},
        {" a b ", ' ', 0, 0, {"", "a", "b"}},
        {"a,b", '\0', 0, 2, {"a,b", ""}},
        {"a", ',', 3, 4, {"p", "p", "p", "a"}}, // entries held before count towards minFields
        {"a", ',', 3, 5, {"p", "p", "p", "a", ""}},
        {kLong + kLong + "|" + kLong, '|', 0, 0, {kLong + kLong, kLong}},
    };
    for (const auto& [line, delim, before, minFields, want] : splits) {
        YArray<JString> fields;
        for (int i = 0; i < before; ++i)
            fields.add("p");
        sp_SplitLine(nullptr, delim, &fields, minFields); // does nothing, not even padding
        sp_SplitLine(line.c_str(), delim, &fields, minFields);
        EXPECT_EQ(items(fields), want) << line;
    }
    sp_ScanLine("a b", " ", nullptr, -1); // null arrays are allowed
    sp_ScanLine("a b", spec, static_cast<YArray<JString>*>(nullptr), -1);
    sp_ScanLine("a b", spec, static_cast<YArray<ScanToken>*>(nullptr), -1);
    sp_SplitLine("a", ',', nullptr, 5);
}

TEST(TokensTest, LineReaders) {
    const std::string meg(1 << 20, 'A'), blanks(1 << 20, ' '), bom = "\xEF\xBB\xBF";
    const std::string megFile = meg + "\r\n" + blanks + "\n" + blanks + "y\n" + meg;
    // A BOM stays as bytes, CRs go everywhere, "last" has no line feed, NULs are dropped.
    const std::tuple<FILE*, Strings, Strings> cases[] = {
        {std::fopen(NVSUPPORT_TEST_DATA_DIR "/text/data/hostile_lines.txt", "rb"),
         {bom + "first", "", " \t ", "  caf\xC3\xA9 \xE9t\xE9", "middle", "\t", "!last"},
         {"1:" + bom + "first", "4:  caf\xC3\xA9 \xE9t\xE9", "5:middle", "6:last", "6:!"}},
        {fileWith(""), {"!"}, {"0:!"}},
        {fileWith("\n\n  text"), {"", "", "!  text"}, {"2:  text", "2:!"}},
        {fileWith("a\r\n\r\nb\n"), {"a", "", "b", "!"}, {"1:a", "3:b", "3:!"}},
        {fileWith(" \t\n\t"), {" \t", "!\t"}, {"1:!"}},
        {fileWith(std::string("a\0b\n\0\n", 6)), {"ab", "", "!"}, {"1:ab", "2:", "2:!"}},
        {fileWith("\r\r\n\r"), {"", "!"}, {"1:!"}},
        {fileWith(megFile),
         {meg, blanks, blanks + "y", "!" + meg},
         {"1:" + meg, "3:" + blanks + "y", "3:" + meg, "3:!"}},
        {nullptr, {"!"}, {"0:!"}},
    };
    for (const auto& [f, lines, nonBlank] : cases) {
        EXPECT_EQ(readLines(f, false), lines);
        if (f)
            std::rewind(f);
        EXPECT_EQ(readLines(f, true), nonBlank);
        if (f)
            std::fclose(f);
    }
    FILE* f = fileWith(megFile);
    ASSERT_NE(f, nullptr);
    JString line;
    int count = 0;
    EXPECT_TRUE(sp_ReadNextLine(f, nullptr) && sp_ReadNextNonBlankLine(f, nullptr, &count));
    EXPECT_TRUE(sp_ReadNextNonBlankLine(f, &line, nullptr)); // null lines skip, null counters ok
    EXPECT_EQ(std::to_string(count) + ":" + str(line), "2:" + meg);
    std::fclose(f);
}

TEST(TokensTest, NameHashOrderAndFields) {
    // The last: a signed byte, cut to 16 bits.
    const std::pair<const char*, unsigned> hashes[] = {
        {"ab", 0x180u}, {"AB", 0x180u}, {"a", 0x82u}, {"", 0u}, {nullptr, 0u}, {"\xFF", 0x1FFFEu}};
    for (const auto& [text, hash] : hashes)
        EXPECT_EQ(sp_HashValue(text), hash) << text;
    std::string mixed;
    for (int i = 0; i < 600; ++i)
        EXPECT_LT(sp_HashValue((mixed += static_cast<char>(i * 37 % 255 + 1)).c_str()), 1u << 17);
    const std::tuple<const char*, const char*, int> cases[] = {
        {"R10", "r9", 1},  {"007", "7", 1},       {"", "a", -1},
        {"a01", "a1", 1},  {"a01b", "a1c", -1},   {"X9", "x10", -1},
        {"abc", "ABC", 0}, {"R2", "R10", -1},     {"", "", 0},
        {"a", "ab", -1},   {"a2b3", "a2b03", -1}, {"a007x", "a07y", -1},
        {"0", "00", -1},   {"x12y", "x13", -1},   {"v123456789012345678901", "v99", 1},
        {"n_1", "n-1", 1}, {"a\xE9", "a", -1},    {"1", "a", -1},
        {"a", "[", 1},     {nullptr, "", 0},      {"a", nullptr, 1},
    };
    for (const auto& [a, b, result] : cases) {
        EXPECT_EQ(sp_CompareStrings(a, b), result) << a << " vs " << b;
        EXPECT_EQ(sp_CompareStrings(b, a), -result) << b << " vs " << a;
    }

    // Width, text, field, what is left of the text; '.' is the break character.
    const std::tuple<int, const char*, const char*, const char*> names[] = {
        {8, "alpha.beta.gamma", "alpha.  ", "beta.gamma"},
        {8, "abcdefg", "abcdefg ", ""},        // shorter than the width: whole
        {8, "abcdefgh", "abcdefg ", "h"},      // exactly the width: cut
        {8, "abcdefg.x", "abcdefg.", "x"},     // break at the last position
        {8, ".bcdefghi", ".bcdefg ", "hi"},    // the first character is no break
        {8, "a.b.c.d.e.f", "a.b.c.d.", "e.f"}, // the last break wins
        {1, "abc", " ", "abc"},
        {0, "abc", "", "abc"},
        {-3, "abc", "", "abc"},
        {3, nullptr, "   ", ""}, // a null text reads as ""
    };
    for (const auto& [width, in, want, rest] : names) {
        std::string field(16, '#');
        JString text(in ? in : ""), copy = text; // the copy keeps the whole text
        sp_FormatName(field.data(), width, '.', in ? &text : nullptr);
        const int used = width > 0 ? width + 1 : 1; // nothing is written past the field
        EXPECT_EQ(field, want + std::string(1, '\0') + std::string(16 - used, '#')) << in;
        EXPECT_EQ(str(text) + "|" + str(copy), std::string(rest) + "|" + (in ? in : "")) << in;
    }
    JString shared("top.sub1");
    sp_FormatName(nullptr, 3, '.', &shared); // no field: nothing happens
    EXPECT_EQ(str(shared), "top.sub1");

    YList<JString> list;
    for (const char* v : {"one", "", "three"})
        list.push_back(v);
    char* out[4] = {};
    sp_FillString(out, &list);
    out[0][0] = 'O';             // copies, not the list's texts
    sp_FillString(out, nullptr); // null arguments: nothing happens
    sp_FillString(nullptr, &list);
    EXPECT_EQ((Strings{out[0], out[1], out[2]}), (Strings{"One", "", "three"}));
    EXPECT_TRUE(out[3] == nullptr && str(list.front()) == "one");
    for (char* s : out)
        std::free(s);
}

// Every tokenizer keeps its rules on every line of the real input files: the first 2000
// lines of each (to keep the run short under sanitizers) and its unterminated last line.
TEST(TokensTest, EveryTokenizerEndsOnTheCorpus) {
    namespace fs = std::filesystem;
    if (!fs::is_directory(NVSUPPORT_CORPUS_DIR))
        GTEST_SKIP() << "no corpus at " NVSUPPORT_CORPUS_DIR;
    const char *d = " \t,", *opens = "\"'({", *closes = "\"')}";
    const ScanSpec spec{d, opens, closes, "=;", false, true};
    long files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(NVSUPPORT_CORPUS_DIR)) {
        FILE* f = entry.is_regular_file() ? std::fopen(entry.path().c_str(), "rb") : nullptr;
        files += f != nullptr;
        JString text;
        for (long n = 1, more = f != nullptr; more; ++n) {
            more = sp_ReadNextLine(f, &text);
            if (n > 2000 && more)
                continue;
            const std::string line = *text;
            for (const Getter& g :
                 {strTok(d), getToken(d, opens, closes, false), getToken(d, opens, closes, true),
                  scanSpec(spec), splitToken(','), nonWS, inPlace(' ')})
                tokens(line, g);
            YArray<JString> words, texts, fields;
            YArray<ScanToken> toks;
            sp_ScanLine(line.c_str(), d, &words, -1);
            sp_ScanLine(line.c_str(), spec, &texts, -1);
            sp_ScanLine(line.c_str(), spec, &toks, -1);
            sp_SplitLine(line.c_str(), ',', &fields, 0);
            EXPECT_EQ(texts.size(), toks.size());
            EXPECT_EQ(items(fields), tokens(line, splitToken(',')));
            for (const JString& w : words)
                EXPECT_TRUE(!w.isEmpty() && w.length() <= 1023) << "sp_ScanLine: " << *w;
            ASSERT_FALSE(HasFailure()) << entry.path() << " line " << n;
        }
        if (f)
            std::fclose(f);
    }
    EXPECT_GT(files, 0);
}

} // namespace
