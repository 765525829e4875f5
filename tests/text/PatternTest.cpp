#include <nvsupport/text/Pattern.h>

#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>
#include <tuple>
#include <utility>

namespace {

// The filter algorithm done the obvious way: at a star, recurse at each text position up to
// the last character. Exponential on some filters, so only for short texts.
bool referenceFilter(const char* t, const char* f, bool caseSensitive) {
    while (*t) {
        switch (*f) {
        case '*':
            while (*f == '*')
                ++f;
            if (!*f)
                return true;
            for (; *t; ++t)
                if (referenceFilter(t, f, caseSensitive))
                    return true;
            return false;
        case '?':
            break;
        case '\\':
            if (!*++f)
                return false;
            [[fallthrough]];
        default:
            if (caseSensitive ? *f != *t : std::tolower(*f & 0xFF) != std::tolower(*t & 0xFF))
                return false;
        }
        ++f;
        ++t;
    }
    while (*f == '*')
        ++f;
    return !*f;
}

const std::string kMega(1 << 20, 'a');

TEST(PatternTest, FilterMatchesWholeText) {
    // Texts and filters that match in both case modes, only case-blind, and in neither. An
    // escaped letter follows the case mode too, a trailing backslash matches nothing, only
    // ASCII letters fold, a null text reads as "".
    using Pairs = std::pair<const char*, const char*>[];
    const Pairs both = {{"", "*"},          {"a*c", "a\\*c"},   {"abc", "a?c"},  {"abc", "abc**"},
                        {"abcbd", "a*b*d"}, {"a\\c", "a\\\\c"}, {"\xe4x", "?x"}, {nullptr, ""}};
    const Pairs blindOnly = {{"Report.TXT", "*.txt"}, {"A", "\\a"}};
    const Pairs neither = {{"", "*a"},       {"abc", "a\\*c"}, {"a", ""},        {"ab", "ab?"},
                           {"abcd", "abc"},  {"", "*?"},       {"abc", "a\\?c"}, {"ab\\", "ab\\"},
                           {"\xc4", "\xe4"}, {nullptr, "?"}};
    for (bool cased : {true, false}) {
        for (const auto& [text, filter] : both)
            EXPECT_TRUE(sp_FilterString(text, filter, cased)) << text << " / " << filter << cased;
        for (const auto& [text, filter] : blindOnly)
            EXPECT_NE(sp_FilterString(text, filter, cased), cased) << text << " / " << filter;
        for (const auto& [text, filter] : neither)
            EXPECT_FALSE(sp_FilterString(text, filter, cased)) << text << " / " << filter << cased;
    }
}

TEST(PatternTest, FilterAgreesWithRecursiveAlgorithm) {
    static constexpr char kAlphabet[] = "aAb*?\\";
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> length(0, 8), pick(0, sizeof kAlphabet - 2);
    auto randomText = [&] {
        std::string s(length(rng), ' ');
        for (char& c : s)
            c = kAlphabet[pick(rng)];
        return s;
    };
    int matched = 0, rejected = 0;
    for (int i = 0; i < 200000; ++i) {
        const std::string text = randomText(), filter = randomText();
        for (bool cs : {true, false}) {
            const bool expected = referenceFilter(text.c_str(), filter.c_str(), cs);
            ASSERT_EQ(sp_FilterString(text.c_str(), filter.c_str(), cs), expected)
                << text << " / " << filter << (cs ? " (cased)" : "");
            ++(expected ? matched : rejected);
        }
    }
    // Both answers must be well represented for the comparison to mean something.
    EXPECT_GT(matched, 20000);
    EXPECT_GT(rejected, 20000);
    // Filters that take exponential time when done the obvious way.
    const std::string as(10000, 'a');
    EXPECT_FALSE(sp_FilterString(as.c_str(), "*a*a*a*a*a*a*b", true));
    EXPECT_TRUE(sp_FilterString((as + "b").c_str(), "*a*a*a*a*a*a*b", true));
    EXPECT_TRUE(sp_FilterString(as.c_str(), "*a*?a*a*a*A*a", false));
    EXPECT_FALSE(sp_FilterString(kMega.c_str(), "*a*a*b*", true));
    EXPECT_TRUE(sp_FilterString((kMega + "b").c_str(), "a*?b", true));
}

TEST(PatternTest, GlobAndRegexpSearch) {
    // Pattern, text, position of the first match. A star needs a character; brackets,
    // parentheses, braces, dot and plus are literal; ^ $ | and other backslash sequences keep
    // their meaning; an escaped star or question mark is literal and backslash pairs stay
    // escaped backslashes; inside \Q the rewritten star is read literally.
    using Cases = std::tuple<const char*, const char*, int>[];
    const Cases globs = {
        {"*.txt", "a.txt", 0}, {"*.txt", ".txt", -1},      {"b?d", "abcd", 1},
        {"", "abc", 0},        {"a\\*b", "xa*b", 1},       {"a?b", "a\nb", 0},
        {"(x)", "(x)", 0},     {"[ab]", "a[ab]", 1},       {"a{2}", "xa{2}", 1},
        {"a.c", "abc", -1},    {"a+", "aa", -1},           {"(a|b)", "xb)", 1},
        {"(a|b)", "ab", -1},   {"ab$", "cab", 1},          {"ab$", "ab\n", -1},
        {"\\d", "ab3", 2},     {"\\?", "a?b", 1},          {"\\\\*", "a\\b", 1},
        {"\\\\*", "ab\\", -1}, {"\\\\\\*", "a\\*", 1},     {"\\\\\\*", "a\\b", -1},
        {"\\\\?", "\\x", 0},   {"\\Q*", "a(.){1,}", 1},    {"\\", "\\", -1},
        {"\\c*", "ab", -1},    {"\xe9*", "ab\xe9\xe9", 2}, {"b?d", "\351\350\377abcd", 4},
        {"*", "", -1},         {"*a*", "bab", 0},          {"*a*", "ba", -1},
        {"a?b?c", "axbyc", 0}};
    // `$` matches only at the very end, the leftmost match wins whichever alternative gives it.
    const Cases regexps = {
        {"[0-9]+", "R12", 1},     {"b|ab", "xab", 1},   {"a.b", "a\nb", 0},
        {"$", "ab", 2},           {"a$", "a\n", -1},    {"\\$", "a$", 1},
        {"[$]", "a$", 1},         {"[]$]", "a$", 1},    {"[^]a]", "a$", 1},
        {"\\Q$\\E", "a$", 1},     {"\\w", "-\xe9", 1},  {"(", "(", -1},
        {"[a", "[a", -1},         {"a{2,1}", "aa", -1}, {"x", "abc", -1},
        {"^b", "ab", -1},         {"x{2,}", "axxx", 1}, {"\xe9", "\xc3\xa9\xe9", 2},
        {"[[:digit:]$]", "a$", 1}};
    for (const auto& [pattern, text, expected] : globs)
        EXPECT_EQ(sp_GlobMatch(pattern, text), expected) << pattern << " in " << text;
    for (const auto& [pattern, text, expected] : regexps)
        EXPECT_EQ(sp_RegexpMatch(pattern, text), expected) << pattern << " in " << text;
    // Positions count bytes; long texts take no time.
    const std::string megB = kMega + "b";
    EXPECT_EQ(sp_GlobMatch("*b", megB.c_str()), 0);
    EXPECT_EQ(sp_GlobMatch("?b", megB.c_str()), (1 << 20) - 1);
    EXPECT_EQ(sp_GlobMatch("a*b", kMega.c_str()), -1);
    EXPECT_EQ(sp_RegexpMatch("b", megB.c_str()), 1 << 20);
    EXPECT_EQ(sp_RegexpMatch("[0-9]+", kMega.c_str()), -1);
    for (const auto search : {sp_GlobMatch, sp_RegexpMatch})
        EXPECT_TRUE(search(nullptr, "a") == -1 && search("a", nullptr) == -1);
}

} // namespace
