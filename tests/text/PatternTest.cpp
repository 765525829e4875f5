#include <nvsupport/text/Pattern.h>

#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>
#include <tuple>

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
    // Text, filter, case-sensitive, whether it matches.
    const std::tuple<const char*, const char*, bool, bool> cases[] = {
        {"Report.TXT", "*.txt", false, true},
        {"Report.TXT", "*.txt", true, false},
        {"", "*", true, true},
        {"", "*a", true, false},
        {"a*c", "a\\*c", true, true},
        {"abc", "a\\*c", true, false},
        {"a", "", true, false},
        {"abc", "a?c", true, true},
        {"ab", "ab?", true, false},
        {"abcd", "abc", true, false},
        {"abc", "abc**", true, true},
        {"abcbd", "a*b*d", true, true},
        {"", "*?", true, false},
        {"A", "\\a", false, true}, // an escaped letter follows the case mode too
        {"A", "\\a", true, false},
        {"abc", "a\\?c", true, false},
        {"a\\c", "a\\\\c", true, true},
        {"ab\\", "ab\\", true, false},  // a trailing backslash matches nothing
        {"\xc4", "\xe4", false, false}, // only ASCII letters fold
        {"\xe4x", "?x", true, true},
        {nullptr, "", true, true},
        {nullptr, "?", true, false},
    };
    for (const auto& [text, filter, caseSensitive, expected] : cases)
        EXPECT_EQ(sp_FilterString(text, filter, caseSensitive), expected)
            << text << " / " << filter << (caseSensitive ? " (cased)" : "");
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
    const auto glob = sp_GlobMatch, regexp = sp_RegexpMatch;
    // Search, pattern, text, position of the first match.
    const std::tuple<int (*)(const char*, const char*), const char*, std::string, int> cases[] = {
        {glob, "*.txt", "a.txt", 0},
        {glob, "*.txt", ".txt", -1}, // the star needs a character
        {glob, "b?d", "abcd", 1},
        {glob, "", "abc", 0},
        {glob, "a\\*b", "xa*b", 1},
        {glob, "a?b", "a\nb", 0},
        // Brackets, parentheses, braces, dot and plus are literal.
        {glob, "(x)", "(x)", 0},
        {glob, "[ab]", "a[ab]", 1},
        {glob, "]", "x]", 1},
        {glob, "a{2}", "xa{2}", 1},
        {glob, "a.c", "abc", -1},
        {glob, "a.c", "xa.c", 1},
        {glob, "a+", "aa", -1},
        {glob, "a+", "xa+", 1},
        // ^ $ | and other backslash sequences keep their meaning.
        {glob, "(a|b)", "xb)", 1},
        {glob, "(a|b)", "ab", -1},
        {glob, "ab$", "cab", 1},
        {glob, "ab$", "ab\n", -1},
        {glob, "\\d", "ab3", 2},
        // An escaped star or question mark is literal; backslash pairs stay escaped backslashes.
        {glob, "\\?", "a?b", 1},
        {glob, "\\\\*", "a\\b", 1}, // an escaped backslash, then one or more characters
        {glob, "\\\\*", "ab\\", -1},
        {glob, "\\\\\\*", "a\\*", 1}, // an escaped backslash, then a literal star
        {glob, "\\\\\\*", "a\\b", -1},
        {glob, "\\\\?", "\\x", 0},
        {glob, "\\Q*", "a(.){1,}", 1}, // inside \Q the rewritten star is read literally
        {glob, "\\", "\\", -1},        // does not compile: no match
        {glob, "\\c*", "ab", -1},
        {glob, "b?d", std::string("\xe9\xe8\xff") + "abcd", 4}, // positions count bytes
        {glob, "\xe9*", "ab\xe9\xe9", 2},
        {glob, "*", kMega, 0},
        {glob, "*b", kMega + "b", 0},
        {glob, "?b", kMega + "b", (1 << 20) - 1},
        {glob, "a*b", kMega, -1},
        {regexp, "[0-9]+", "R12", 1},
        {regexp, "b|ab", "xab", 1}, // the leftmost match, whichever alternative gives it
        {regexp, "(a)(?=c)", "abac", 2},
        {regexp, "a.b", "a\nb", 0},
        {regexp, "$", "ab", 2},
        {regexp, "a$", "a\n", -1},
        {regexp, "\\$", "a$", 1},
        {regexp, "[$]", "a$", 1},
        {regexp, "[]$]", "a$", 1},
        {regexp, "[^]a]", "a$", 1},
        {regexp, "[[:digit:]$]", "a$", 1},
        {regexp, "\\Q$\\E", "a$", 1},
        {regexp, "(", "(", -1}, // does not compile: no match
        {regexp, "[a", "[a", -1},
        {regexp, "a{2,1}", "aa", -1},
        {regexp, "\\w", "-\xe9", 1},
        {regexp, "\xe9", "\xc3\xa9\xe9", 2},
        {regexp, "b", kMega + "b", 1 << 20},
        {regexp, "[0-9]+", kMega, -1},
    };
    for (const auto& [search, pattern, text, expected] : cases)
        EXPECT_EQ(search(pattern, text.c_str()), expected)
            << pattern << " in " << text.substr(0, 40) << (search == glob ? " (glob)" : "");
    for (const auto search : {glob, regexp})
        EXPECT_TRUE(search(nullptr, "a") == -1 && search("a", nullptr) == -1);
}

} // namespace
