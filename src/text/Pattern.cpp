// Pattern matching: the anchored wildcard filter, and the wildcard and regular-expression
// searches, which run on QRegularExpression (PCRE2).

#include "Pattern.h"

#include "../core/CaseFold_p.h"

#include <QRegularExpression>
#include <QString>

#include <cstring>
#include <string>

namespace {

bool sameChar(unsigned char f, unsigned char t, bool caseSensitive) {
    using nvsupport::detail::asciiLower;
    return caseSensitive ? f == t : asciiLower(f) == asciiLower(t);
}

// What a `*` of a wildcard pattern becomes: one or more arbitrary characters.
constexpr const char* kStar = "(.){1,}";
// The same language, the same capture (the last character) and the same order of attempts
// (longest first), but with a single-character repeat. PCRE keeps a backtracking frame per
// iteration of a repeated group, so the literal form runs out of JIT stack on texts of a
// few hundred kilobytes and then matches nothing.
constexpr const char* kFastStar = ".*(.)";

// Rewrites a wildcard pattern into a regular expression: brackets, parentheses and braces
// are escaped, dot and plus put in a class; a `*` or `?` after an odd run of backslashes
// becomes "[*]" / "[?]" in place of the last backslash; any other `*` becomes `star` and
// any other `?` becomes ".". Only pattern backslashes can form a run before `*` or `?`
// (the escapes added here are always followed by their bracket), so one pass gives what
// applying these replacements one after another gives.
std::string globToRegex(const char* pattern, const char* star) {
    std::string out;
    out.reserve(std::strlen(pattern) * 2);
    std::size_t backslashes = 0; // length of the run of backslashes just copied
    for (const char* p = pattern; *p; ++p) {
        const char c = *p;
        switch (c) {
        case '[':
        case ']':
        case '(':
        case ')':
        case '{':
        case '}':
            out += '\\';
            out += c;
            break;
        case '.':
        case '+':
            out += '[';
            out += c;
            out += ']';
            break;
        case '*':
        case '?':
            if (backslashes % 2 == 1) {
                out.back() = '[';
                out += c;
                out += ']';
            } else {
                out += c == '*' ? star : ".";
            }
            break;
        default:
            out += c;
        }
        backslashes = c == '\\' ? backslashes + 1 : 0;
    }
    return out;
}

// True when `re` holds the escape "\Q" (quote) or "\c" (control character): both change
// how the characters after them read, so the star cannot be given another spelling there.
bool quotesOrControls(const std::string& re) {
    for (std::size_t i = 0; i + 1 < re.size(); ++i)
        if (re[i] == '\\') {
            if (re[i + 1] == 'Q' || re[i + 1] == 'c')
                return true;
            ++i;
        }
    return false;
}

// Where the POSIX class "[:name:]" (or "[.x.]", "[=x=]") opening at re[open] inside a
// bracket expression ends, or npos when PCRE reads that '[' as an ordinary character.
std::size_t posixClassEnd(const std::string& re, std::size_t open) {
    if (open + 1 >= re.size())
        return std::string::npos;
    const char term = re[open + 1];
    if (term != ':' && term != '.' && term != '=')
        return std::string::npos;
    for (std::size_t j = open + 2; j < re.size(); ++j) {
        const char next = j + 1 < re.size() ? re[j + 1] : '\0';
        if (re[j] == '\\' && (next == ']' || next == '\\'))
            ++j;
        else if ((re[j] == '[' && next == term) || re[j] == ']')
            return std::string::npos;
        else if (re[j] == term && next == ']')
            return j + 1;
    }
    return std::string::npos;
}

// The toolkit's `$` matches only at the very end of the text, PCRE's also just before a
// final newline: every `$` outside bracket expressions and \Q...\E becomes "\z".
std::string endOnlyDollars(const std::string& re) {
    std::string out;
    out.reserve(re.size() + 8);
    bool inClass = false;
    for (std::size_t i = 0; i < re.size(); ++i) {
        const char c = re[i];
        if (c == '\\' && i + 1 < re.size()) {
            std::size_t end = i + 2;
            if (re[i + 1] == 'Q') {
                const std::size_t e = re.find("\\E", i + 2);
                end = e == std::string::npos ? re.size() : e + 2;
            }
            out.append(re, i, end - i);
            i = end - 1;
        } else if (inClass) {
            const std::size_t posixEnd = c == '[' ? posixClassEnd(re, i) : std::string::npos;
            if (posixEnd != std::string::npos) {
                out.append(re, i, posixEnd + 1 - i);
                i = posixEnd;
            } else {
                inClass = c != ']';
                out += c;
            }
        } else if (c == '[') {
            // A ']' right after "[" or "[^" is a member, not the end of the class.
            std::size_t j = i + 1;
            if (j < re.size() && re[j] == '^')
                ++j;
            if (j < re.size() && re[j] == ']')
                ++j;
            out.append(re, i, j - i);
            i = j - 1;
            inClass = true;
        } else if (c == '$') {
            out += "\\z";
        } else {
            out += c;
        }
    }
    return out;
}

// Leftmost match of `expression` in `text`, or -1 when there is none or the expression does
// not compile. Both are 8-bit texts read as Latin-1: every byte becomes exactly one
// character, so the character position found is the byte position, bytes above 127
// included (a UTF-8 decoding would merge or reject them and shift the positions).
// `.` matches a newline too and \w, \d, \s, \b follow Unicode properties, as the
// toolkit's older regular expressions did.
int search(const std::string& expression, const char* text) {
    constexpr auto options = QRegularExpression::DotMatchesEverythingOption |
                             QRegularExpression::UseUnicodePropertiesOption;
    QRegularExpression re(QString::fromLatin1(endOnlyDollars(expression)), options);
    if (!re.isValid()) {
        // Only an expression that was invalid already should fail; should the rewrite of
        // `$` ever spoil a valid one, the expression as given is the better choice.
        re.setPattern(QString::fromLatin1(expression));
        if (!re.isValid())
            return -1;
    }
    const QRegularExpressionMatch match =
        re.match(QString::fromLatin1(text, static_cast<qsizetype>(std::strlen(text))));
    return match.hasMatch() ? static_cast<int>(match.capturedStart()) : -1;
}

} // namespace

bool sp_FilterString(const char* text, const JString& filter, bool caseSensitive) {
    // The text and the filter advance together. After a run of stars the rest of the filter
    // is tried at the current text position and, whenever it fails later on, again one
    // character further on. Only the latest run of stars needs remembering: the pieces
    // between stars match a fixed number of characters, so if the rest cannot match from
    // some text position, an earlier star taking more characters cannot help either.
    // This gives the answers of trying every position recursively in O(text * filter)
    // steps. A filter of stars only, "*" among them, matches every text.
    const auto* t = reinterpret_cast<const unsigned char*>(text ? text : "");
    const auto* f = reinterpret_cast<const unsigned char*>(*filter);
    const unsigned char* retryFilter = nullptr; // the filter after the latest run of stars
    const unsigned char* retryText = nullptr;   // where the text was last tried against it
    while (*t) {
        if (*f == '*') {
            while (*f == '*')
                ++f;
            if (!*f)
                return true;
            retryFilter = f;
            retryText = t;
            continue;
        }
        bool ok;
        int width = 1; // filter characters the current item uses
        if (*f == '?') {
            ok = true;
        } else if (*f == '\\') {
            // The next character is literal; a backslash ending the filter matches nothing.
            ok = f[1] != 0 && sameChar(f[1], *t, caseSensitive);
            width = 2;
        } else {
            ok = *f != 0 && sameChar(*f, *t, caseSensitive);
        }
        if (ok) {
            f += width;
            ++t;
        } else if (retryFilter) {
            f = retryFilter;
            t = ++retryText;
        } else {
            return false;
        }
    }
    while (*f == '*')
        ++f;
    return *f == 0;
}

int sp_GlobMatch(const char* pattern, const char* text) {
    if (!pattern || !text)
        return -1;
    std::string re = globToRegex(pattern, kStar);
    if (!quotesOrControls(re))
        re = globToRegex(pattern, kFastStar);
    return search(re, text);
}

int sp_RegexpMatch(const char* pattern, const char* text) {
    if (!pattern || !text)
        return -1;
    return search(pattern, text);
}
