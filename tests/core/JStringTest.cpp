#include <nvsupport/core/JString.h>
#include <nvsupport/core/YList.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

namespace {

const char* const kNull = nullptr;

TEST(JStringTest, ConstructionGivesExpectedText) {
    EXPECT_STREQ(*JString(), "");
    EXPECT_STREQ(*JString(kNull), "");
    EXPECT_STREQ(*JString(""), "");
    EXPECT_STREQ(*JString("abcdef", 3), "abc");
    EXPECT_STREQ(*JString("ab\0cd", 5), "ab"); // stops at the NUL of the source
    EXPECT_STREQ(*JString("abc", 0), "");
    EXPECT_STREQ(*JString("abc", -4), "");
    EXPECT_STREQ(*JString(kNull, 4), "");
    EXPECT_STREQ(*JString(-42), "-42");
    EXPECT_STREQ(*JString(4000000000u), "4000000000");
    EXPECT_STREQ(*JString(std::int64_t(-9223372036854775807LL - 1)), "-9223372036854775808");
    EXPECT_STREQ(*JString(0.1), "0.1");
    EXPECT_STREQ(*JString(1.0 / 3.0), "0.333333333333");
    EXPECT_STREQ(*JString(1e300), "1e+300");
    EXPECT_EQ(JString("abc").getBlockBytes(), 7);
    EXPECT_EQ(JString().getBlockBytes(), 4);
}

TEST(JStringTest, CopiesShareAndAssignmentHandlesSelfAndOwnTail) {
    JString a("shared text"), b(a), c;
    c = a;
    EXPECT_EQ(*b, *a);
    EXPECT_EQ(a.getRefCount(), 3);
    b &= "!";
    EXPECT_STREQ(*a, "shared text");
    EXPECT_STREQ(*b, "shared text!");
    EXPECT_EQ(a.getRefCount(), 2);
    EXPECT_EQ(b.getRefCount(), 1);
    JString moved(std::move(c));
    EXPECT_STREQ(*moved, "shared text");
    EXPECT_STREQ(*c, ""); // NOLINT(bugprone-use-after-move): a moved-from string is empty

    b = static_cast<const JString&>(b);
    EXPECT_STREQ(*b, "shared text!");
    EXPECT_EQ(b.getRefCount(), 1);
    b = *b + 7; // a tail of its own text, owned alone
    EXPECT_STREQ(*b, "text!");
    JString shared(b);
    b = *b + 2; // a tail of a shared block
    EXPECT_STREQ(*b, "xt!");
    EXPECT_STREQ(*shared, "text!");
    b = "a much longer text than before";
    EXPECT_STREQ(*b, "a much longer text than before");
    b = kNull;
    EXPECT_STREQ(*b, "");

    JString s("ab");
    s &= s;
    EXPECT_STREQ(*s, "abab");
    s &= *s + 2; // own tail
    s &= kNull;
    EXPECT_STREQ(*s, "ababab");
}

// Every editing operation must leave the copies that shared the block untouched (appending,
// assigning, detaching and formatting are checked where they are tested).
TEST(JStringTest, EveryEditLeavesSharedCopiesAlone) {
    const char* original = "\"  Ab,c\r\nd  \"";
    const std::pair<const char*, std::function<void(JString&)>> edits[] = {
        {"pad", [](JString& s) { s.pad(40, '*'); }},
        {"substitute", [](JString& s) { s.substitute(JString("Ab"), JString("XY"), 0); }},
        {"strtok", [](JString& s) { s.strtok(","); }},
        {"stripLeading", [](JString& s) { s.stripLeading("\" "); }},
        {"stripTrailing", [](JString& s) { s.stripTrailing("\" "); }},
        {"stripQuotes", [](JString& s) { s.stripQuotes("\"", true); }},
        {"shiftLeft", [](JString& s) { s.shiftLeft(3, 0); }},
        {"tolower", [](JString& s) { s.tolower(); }},
        {"toupper", [](JString& s) { s.toupper(); }},
        {"convertDosToUnix", [](JString& s) { s.convertDosToUnix(); }},
        {"operator[]", [](JString& s) { s[1] = '#'; }},
        {"readBlock", [](JString& s) {
             char buf[16];
             void *w = buf, *r = buf;
             JString("new").writeBlock(&w);
             s.readBlock(&r);
         }}};
    for (auto& [name, edit] : edits) {
        JString a(original), b(a);
        edit(b);
        EXPECT_STREQ(*a, original) << name;
        EXPECT_STRNE(*b, original) << name;
        EXPECT_EQ(a.getRefCount(), 1) << name;
    }
}

TEST(JStringTest, CaseBlindEqualityExactHashesAndRawPaths) {
    EXPECT_TRUE(JString("Vdd") == "VDD" && "vdd" == JString("VDD"));
    EXPECT_TRUE(JString("Vdd") != "Vss");
    EXPECT_TRUE(JString("") == kNull);
    EXPECT_TRUE(JString("abc") == JString("ABC"));
    EXPECT_FALSE(JString("abc") == JString("abcd"));
    EXPECT_FALSE(JString("\xe9") == "\xc9"); // only ASCII letters fold
    // Long texts are compared several bytes at a time: differences anywhere must count,
    // and neighbours of the letters ('@', '[', '`', '{') and high bytes must not fold.
    const std::string base = "Subckt OPAMP_Stage2 in+ in- out vdd vss PARAMS: gain=4k7";
    for (std::size_t i = 0; i < base.size(); ++i) {
        std::string flipped = base, changed = base;
        flipped[i] = static_cast<char>(std::isalpha(base[i]) ? base[i] ^ 0x20 : base[i]);
        changed[i] = '\x01';
        EXPECT_TRUE(JString(base.c_str()) == flipped.c_str()) << i;
        EXPECT_FALSE(JString(base.c_str()) == changed.c_str()) << i;
    }
    EXPECT_FALSE(JString("0123456789@[`{") == "0123456789`{@[");
    EXPECT_FALSE(JString("01234567\xc9\xe9") == "01234567\xe9\xc9");
    EXPECT_FALSE(JString("0123456789") == "01234567");

    EXPECT_EQ(JString().hashValue(), 0u);
    EXPECT_EQ(JString("a").hashValue(), 65u);
    EXPECT_EQ(JString("abc").hashValue(), 541327426u);
    EXPECT_EQ(JString("ABC").HashValue(), 541327426u);
    // Bytes above 127 enter the hash as negative numbers.
    EXPECT_EQ(JString("\xe9").hashValue(), 2147483625u);
    EXPECT_EQ(JString("R1 \xc3\xa9t\xe9 4k7").hashValue(), 621414780u);
    EXPECT_EQ(std::hash<JString>()(JString("abc")), std::hash<JString>()(JString("ABC")));

    // File names are case-sensitive here: paths compare and hash on raw bytes.
    EXPECT_EQ(JString("/a/B").comparePath(JString("/a/B")), 0);
    EXPECT_NE(JString("/a/B").comparePath(JString("/a/b")), 0);
    EXPECT_FALSE(JString("/a/B").pathEqual(JString("/a/b")));
    EXPECT_EQ(JString("a").comparePath(JString("b")), -1);
    EXPECT_EQ(JString("\xe9").comparePath(JString("a")), 1); // unsigned byte order
    EXPECT_EQ(JString("abc").pathHashValue(), 807794786u);
    EXPECT_EQ(JString("ABC").pathHashValue(), 541327426u);
    EXPECT_EQ(JString("R1 \xc3\xa9t\xe9 4k7").pathHashValue(), 1790327100u);
}

TEST(JStringTest, PrefixAndAccess) {
    const std::pair<const char*, const char*> prefixes[] = {
        {"abc", ""}, {"abc", kNull}, {"abc", "ab"}, {"ab", "ab"}, {"a", "ab"}, {"abc", "AB"}};
    std::vector<int> got;
    for (const auto& [text, prefix] : prefixes)
        got.push_back(JString(text).hasPrefix(prefix));
    got.push_back(JString("abc").hasPrefix(JString("abc")));
    EXPECT_EQ(got, (std::vector<int>{0, 0, 2, 2, 0, 0, 3}));

    JString s("xyz");
    EXPECT_EQ(&s[-1], &s[4]); // both are the error byte
    EXPECT_EQ(s[3], '\0');
    EXPECT_EQ(JString("a\xff").lastChar(), -1);
    EXPECT_EQ(JString().lastChar(), 0);
    JString e;
    e[0] = 0; // writing the terminator of an empty string must not touch shared memory
    EXPECT_STREQ(*e, "");
    EXPECT_EQ(e.getRefCount(), 1);
}

// Each edit: the text before, the edit (returning what the operation returns, as text, or ""
// for operations without a result), the text after, and the returned value.
TEST(JStringTest, EditsGiveExpectedTextAndResult) {
    using Edit = std::function<std::string(JString&)>;
    auto tok = [](const char* d) -> Edit {
        return [=](JString& s) { return std::string(*s.strtok(d)); };
    };
    auto sub = [](const char* f, const char* t, int start) -> Edit {
        return
            [=](JString& s) { return std::to_string(s.substitute(JString(f), JString(t), start)); };
    };
    auto strip = [](void (JString::*op)(const char*), const char* set) -> Edit {
        return [=](JString& s) { return ((s.*op)(set), std::string()); };
    };
    auto lead = [=](const char* set) { return strip(&JString::stripLeading, set); };
    auto trail = [=](const char* set) { return strip(&JString::stripTrailing, set); };
    auto quotes = [](const char* q, bool both) -> Edit {
        return [=](JString& s) { return (s.stripQuotes(q, both), std::string()); };
    };
    auto shift = [](int n, char fill) -> Edit {
        return [=](JString& s) { return std::string(*s.shiftLeft(n, fill)); };
    };
    auto pad = [](unsigned n, char c) -> Edit {
        return [=](JString& s) { return (s.pad(n, c), std::string()); };
    };
    const Edit lower = [](JString& s) { return std::string(*s.tolower()); };
    const Edit upper = [](JString& s) { return std::string(*s.toupper()); };
    const Edit dos = [](JString& s) { return std::string(*s.convertDosToUnix()); };
    const struct {
        const char* before;
        Edit edit;
        const char *after, *returned;
    } cases[] = {
        {"a,,b", tok(","), ",b", "a"},
        {",b", tok(","), "", "b"},
        {"", tok(","), "", ""},
        {",,,", tok(","), "", ""},
        {"abc", tok(nullptr), "", "abc"},
        {"cabab", sub("ab", "xyz", 0), "cxyzab", "4"},
        {"cabab", sub("ab", "xyz", 2), "cabxyz", "6"},
        {"cabab", sub("ab", "xyz", 5), "cabab", "0"},
        {"cabab", sub("ab", "xyz", -1), "cabab", "0"},
        {"cabab", sub("", "xyz", 0), "cabab", "0"},
        {"cabab", sub("zz", "xyz", 0), "cabab", "0"},
        {"aaab", sub("aab", "-", 0), "a-", "2"}, // found inside a failed partial match
        {"long replaced by short", sub("replaced by ", "", 0), "long short", "5"},
        {"  x  ", lead(" "), "x  ", ""},
        {"x  ", trail(" "), "x", ""},
        {"x", trail("x"), "", ""},
        {"", lead(" "), "", ""},
        {"\"open", quotes("\"", true), "\"open", ""},
        {"\"open", quotes("\"", false), "open", ""},
        {"[x]", quotes("[]", true), "x", ""},
        {"\"", quotes("\"", true), "", ""},
        {"x'", quotes("'", false), "x", ""},
        {"'x'", quotes(nullptr, false), "'x'", ""},
        {"'x'", quotes("", false), "'x'", ""},
        {"abc", shift(5, '-'), "", "abc--"},
        {"abc", shift(5, 0), "", "abc"},
        {"abcdef", shift(2, '-'), "cdef", "ab"},
        {"cdef", shift(0, '-'), "cdef", "cdef"},
        {"ab", pad(5, '.'), "ab...", ""},
        {"ab...", pad(2, '.'), "ab...", ""},
        {"", pad(3, 'z'), "zzz", ""},
        {"Mixed \xe9 Case", lower, "mixed \xe9 case", "mixed \xe9 case"},
        {"Mixed \xe9 Case", upper, "MIXED \xe9 CASE", "MIXED \xe9 CASE"},
        {"a\r\nb\rc\r\n\r\n", dos, "a\nb\rc\n\n", "a\nb\rc\n\n"},
    };
    for (const auto& c : cases) {
        JString s(c.before);
        const std::string returned = c.edit(s);
        EXPECT_STREQ(*s, c.after) << c.before;
        EXPECT_EQ(returned, c.returned) << c.before;
    }
}

TEST(JStringTest, TokenizeAppendsNonEmptyRunsToAList) {
    YList<JString> list;
    const JString t(",a,,b,");
    EXPECT_EQ(JString::tokenize(&t, ',', &list), &list);
    EXPECT_EQ(JString::tokenize(&t, ',', &list), &list); // appends after what is there
    EXPECT_EQ(JString::tokenize(nullptr, ',', &list), &list);
    std::string got;
    for (const JString& x : list)
        got += std::string(*x) + "|";
    EXPECT_EQ(got, "a|b|a|b|");
    // The list: insertion at the head, case-blind find of the first match, deep copies.
    list.push_front(JString("B"));
    EXPECT_EQ(list.size(), 5);
    EXPECT_EQ(list.find("b"), &list.front());
    EXPECT_EQ(list.find(JString("A")), &*std::next(list.begin()));
    EXPECT_EQ(list.find("c"), nullptr);
    const YList<JString> copy(list);
    list.clear();
    EXPECT_TRUE(list.empty() && list.begin() == list.end());
    EXPECT_EQ(copy.size(), 5);
    EXPECT_STREQ(*copy.front(), "B");
}

TEST(JStringTest, DetachCopyAndUnique) {
    JString a("text"), x("shared"), y(x), u("u"), v(u);
    const char* before = *a;
    char *p = a.detach(), *q = y.detach(), *e = JString().detach(), *c = x.Copy();
    EXPECT_EQ(p + 4, before); // the block itself, text moved down over the count word
    EXPECT_STREQ(p, "text");
    EXPECT_STREQ(*a, "");
    EXPECT_STREQ(q, "shared"); // a copy of a shared block
    EXPECT_STREQ(e, "");
    EXPECT_STREQ(c, "shared");
    EXPECT_NE(c, *x);
    EXPECT_STREQ(*x, "shared");
    EXPECT_EQ(x.getRefCount(), 1);
    for (char* m : {p, q, e, c})
        std::free(m);
    v.unique();
    EXPECT_NE(*u, *v);
    EXPECT_EQ(u.getRefCount(), 1);
}

TEST(JStringTest, SprintfNeverOverruns) {
    JString s;
    s.sprintf("%d-%s-%.3f", 0, "x", 1.5);
    EXPECT_STREQ(*s, "0-x-1.500");
    // Length modifiers and huge results that a rough estimate would get wrong.
    s.sprintf("%ld|%lld|%hd", 123456789012L, -5LL, static_cast<short>(7));
    EXPECT_STREQ(*s, "123456789012|-5|7");
    // Windows size prefixes: I64 is a 64-bit integer, I32 a 32-bit one, I pointer-sized.
    s.sprintf("%I64d|%-4I32d|%05I64x|%Iu|%%I64d", std::int64_t{-9000000000}, 7, std::int64_t{255},
              std::size_t{1} << 40);
    EXPECT_STREQ(*s, "-9000000000|7   |000ff|1099511627776|%I64d");
    s.sprintf("%.0f", 1e300);
    EXPECT_EQ(s.length(), 301);
    s.sprintf("%500d|", 1);
    EXPECT_EQ(s.length(), 501);
    // Formatting a string from its own text.
    JString self("me");
    self.sprintf("%s and %s", *self, *self);
    EXPECT_STREQ(*self, "me and me");
    JString shared(self);
    self.sprintf("[%s]", *shared);
    EXPECT_STREQ(*self, "[me and me]");
    EXPECT_STREQ(*shared, "me and me");
}

TEST(JStringTest, BlocksRoundTrip) {
    std::vector<char> buf(64);
    void *w = buf.data(), *r = buf.data();
    JString("first").writeBlock(&w);
    JString().writeBlock(&w);
    JString("\xff\x80 high").writeBlock(&w);
    EXPECT_EQ(static_cast<char*>(w) - buf.data(), 4 + 5 + 4 + 4 + 7);
    JString a("old"), b("not empty"), c;
    a.readBlock(&r);
    b.readBlock(&r);
    c.readBlock(&r);
    EXPECT_EQ(r, w);
    EXPECT_STREQ(*a, "first");
    EXPECT_STREQ(*b, "");
    EXPECT_STREQ(*c, "\xff\x80 high");
}

TEST(JStringTest, ConcatChainsBuildOneBlock) {
    JString a("R1");
    TempString& t = a.concat(" ").concat("in").concat(" ").concat("out");
    const char* built = t.theString();
    EXPECT_EQ(t.len(), 9);
    JString r(t); // adopts the block without copying
    EXPECT_EQ(*r, built);
    EXPECT_STREQ(*r, "R1 in out");
    EXPECT_EQ(r.getRefCount(), 1);
    EXPECT_STREQ(*a, "R1");
    char* c = JString("x").concat(kNull).concat("y").Copy();
    EXPECT_STREQ(c, "xy");
    std::free(c);
    TempString& self = JString("ab").concat("cd"); // the chain's own text appended to itself
    EXPECT_STREQ(*JString(self.concat(self.theString())), "abcdabcd");
    EXPECT_STREQ(*JString(JString().concat("")), "");
    EXPECT_EQ(TempString::GetNumJStringBytes(), 0u);
    static_assert(!std::is_copy_assignable_v<TempString>); // only JString moves blocks around
}

TEST(JStringTest, LargeTextsAndHighBytes) {
    std::string big(1 << 20, 'a');
    big[12345] = '\xff';
    JString s(big.c_str()), t(s);
    t.toupper();
    EXPECT_EQ(static_cast<unsigned char>((*t)[12345]), 0xffu);
    EXPECT_EQ(std::string(*s, 2) + std::string(*t, 2), "aaAA");
    EXPECT_TRUE(s == t);
    JString u(s.concat(*s));
    EXPECT_EQ(u.length(), 2 << 20);
    EXPECT_EQ(u.substitute(JString("\xff"), JString("<>"), 20000), (1 << 20) + 12345 + 2);
}

} // namespace
