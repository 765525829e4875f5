#include "Tokens.h"

#include "../core/CaseFold_p.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Longest word (and StrTok quoted text) handed out by one call; longer ones come in pieces.
constexpr std::size_t kMaxPiece = 1023;

/// The byte as a signed char widened to int: bytes above 127 are negative.
inline int signedByte(char c) {
    return static_cast<signed char>(c);
}

/// A set of bytes built from a NUL-terminated string; null or "" is the empty set. The
/// terminator is never a member, so a lookup of the end of text always fails.
class ByteSet {
public:
    explicit ByteSet(const char* chars) {
        if (chars)
            for (const unsigned char* p = reinterpret_cast<const unsigned char*>(chars); *p; ++p)
                m_bits[*p >> 6] |= std::uint64_t{1} << (*p & 63);
    }
    bool has(char c) const {
        const unsigned char u = static_cast<unsigned char>(c);
        return (m_bits[u >> 6] >> (u & 63)) & 1;
    }

private:
    std::uint64_t m_bits[4] = {};
};

/// Position of `c` in `chars`, or -1 (never found for the terminator or a null set).
int indexIn(const char* chars, char c) {
    if (!chars || c == 0)
        return -1;
    const char* hit = std::strchr(chars, c);
    return hit ? static_cast<int>(hit - chars) : -1;
}

/// The closing character paired with openQuotes[i]; 0 (the token runs to the end of the
/// text) when `closeQuotes` is shorter than `openQuotes`.
char closerAt(const char* closeQuotes, int i) {
    return std::strlen(closeQuotes) > static_cast<std::size_t>(i) ? closeQuotes[i] : 0;
}

/// A JString of `n` bytes from `s`, built once.
JString span(const char* s, std::size_t n) {
    return JString(s, n > INT_MAX ? INT_MAX : static_cast<int>(n));
}

/// Gathers a line read byte by byte: short lines stay in a local buffer, longer ones spill
/// into a growing string, so building a line costs linear time.
class LineBuilder {
public:
    void put(char c) {
        if (m_used == sizeof m_buf)
            spill();
        m_buf[m_used++] = c;
    }
    void clear() {
        m_used = 0;
        m_spilled.clear();
    }
    JString take() {
        if (m_spilled.empty())
            return span(m_buf, m_used);
        spill();
        return span(m_spilled.data(), m_spilled.size());
    }

private:
    void spill() {
        m_spilled.append(m_buf, m_used);
        m_used = 0;
    }
    char m_buf[1024];
    std::size_t m_used = 0;
    std::string m_spilled;
};

/// Follows the maxTokens rule of the splitters: false when the budget is used up; a
/// negative budget never runs out.
bool takeOne(int& budget) {
    if (budget == 0)
        return false;
    if (budget > 0)
        --budget;
    return true;
}

} // namespace

// --- line readers ----------------------------------------------------------------------

bool sp_ReadNextLine(FILE* file, JString* line) {
    if (line)
        *line = JString();
    if (!file)
        return false;
    LineBuilder text;
    int c;
    while ((c = std::fgetc(file)) != EOF) {
        if (c == '\n') {
            if (line)
                *line = text.take();
            return true;
        }
        if (line && c != '\r' && c != 0) // a JString cannot hold NUL bytes
            text.put(static_cast<char>(c));
    }
    // An unterminated last line is not a line, but its text is left for callers that want it.
    if (line)
        *line = text.take();
    return false;
}

bool sp_ReadNextNonBlankLine(FILE* file, JString* line, int* lineCounter) {
    if (line)
        *line = JString();
    if (!file)
        return false;
    LineBuilder text;
    bool blank = true;
    int c;
    while ((c = std::fgetc(file)) != EOF) {
        if (c == '\r')
            continue;
        if (c == '\n') {
            if (lineCounter)
                ++*lineCounter;
            if (!blank)
                break;
            text.clear(); // a blank line: drop its blanks and tabs
            continue;
        }
        if (c != ' ' && c != '\t')
            blank = false;
        if (line && c != 0)
            text.put(static_cast<char>(c));
    }
    if (blank)
        return false;
    if (line)
        *line = text.take();
    return true;
}

// --- tokenizers --------------------------------------------------------------------------

JString sp_StrTok(const char** cursor, const char* delimiters) {
    if (!cursor || !*cursor)
        return JString();
    const ByteSet delims(delimiters);
    const char* p = *cursor;
    while (delims.has(*p))
        ++p;
    const char* start = p;
    std::size_t n = 0;
    if (*p == '"') {
        start = ++p;
        while (n < kMaxPiece && start[n] && start[n] != '"')
            ++n;
        p = start + n;
        if (*p == '"')
            ++p;
    } else {
        while (n < kMaxPiece && start[n] && !delims.has(start[n]))
            ++n;
        p = start + n;
    }
    *cursor = p;
    return span(start, n);
}

JString sp_GetToken(const char** cursor, const char* delimiters, const char* openQuotes,
                    const char* closeQuotes, bool keepQuotes) {
    if (!cursor || !*cursor)
        return JString();
    const ByteSet delims(delimiters);
    const char* p = *cursor;
    while (delims.has(*p))
        ++p;
    const int quote = closeQuotes ? indexIn(openQuotes, *p) : -1;
    if (quote >= 0) {
        const char close = closerAt(closeQuotes, quote);
        const char* open = p++;
        const char* body = p;
        while (*p && *p != close)
            ++p;
        const char* end = p; // the closing character or the terminator
        if (*p) {
            ++p;
            if (keepQuotes)
                ++end;
        }
        *cursor = p;
        return keepQuotes ? span(open, end - open) : span(body, end - body);
    }
    const char* start = p;
    std::size_t n = 0;
    while (n < kMaxPiece && start[n] && !delims.has(start[n]))
        ++n;
    *cursor = start + n;
    return span(start, n);
}

JString sp_PeekToken(const char** cursor, const char* delimiters, const char* openQuotes,
                     const char* closeQuotes, bool keepQuotes) {
    if (!cursor)
        return JString();
    const char* saved = *cursor;
    JString token = sp_GetToken(cursor, delimiters, openQuotes, closeQuotes, keepQuotes);
    *cursor = saved;
    return token;
}

JString sp_GetToken(const char** cursor, const ScanSpec& spec, int* type) {
    int ignored;
    if (!type)
        type = &ignored;
    *type = -1;
    if (!cursor || !*cursor)
        return JString();
    const ByteSet delims(spec.delimiters);
    const char* p = *cursor;
    while (delims.has(*p))
        ++p;
    *cursor = p;
    if (!*p)
        return JString();

    const int quote = spec.closeQuotes ? indexIn(spec.openQuotes, *p) : -1;
    if (quote >= 0) {
        const char open = *p;
        const char close = closerAt(spec.closeQuotes, quote);
        const bool nest = spec.nestQuotes && open != close;
        const char* first = p++;
        const char* body = p;
        int depth = 0;
        for (; *p; ++p) {
            if (*p == close && depth == 0)
                break;
            if (nest) {
                if (*p == open)
                    ++depth;
                else if (*p == close && depth > 0)
                    --depth;
            }
        }
        const char* end = p;
        if (*p) {
            ++p;
            if (spec.keepQuotes)
                ++end;
        }
        *cursor = p;
        *type = 0;
        return spec.keepQuotes ? span(first, end - first) : span(body, end - body);
    }

    const ByteSet specials(spec.specials);
    if (specials.has(*p)) {
        *type = signedByte(*p);
        *cursor = p + 1;
        return JString();
    }

    std::size_t n = 0;
    while (n < kMaxPiece && p[n] && !delims.has(p[n]) && !specials.has(p[n]))
        ++n;
    *cursor = p + n;
    *type = 0;
    return span(p, n);
}

bool sp_SplitToken(const char** cursor, char delimiter, JString* token) {
    if (!cursor || !*cursor || !**cursor)
        return false;
    const char* start = *cursor;
    const char* end = delimiter ? std::strchr(start, delimiter) : nullptr;
    if (!end)
        end = start + std::strlen(start);
    if (token)
        *token = span(start, end - start);
    *cursor = *end ? end + 1 : end;
    return true;
}

int sp_GetNonWS(const char** cursor) {
    if (!cursor || !*cursor)
        return 0;
    const char* p = *cursor;
    while (*p == ' ' || *p == '\t')
        ++p;
    if (!*p) {
        *cursor = p;
        return 0;
    }
    *cursor = p + 1;
    return signedByte(*p);
}

char* sp_ScanLine(char** cursor, char delimiter) {
    if (!cursor || !*cursor || !**cursor)
        return nullptr;
    char* field = *cursor;
    char* end = delimiter ? std::strchr(field, delimiter) : nullptr;
    if (end) {
        *end = 0;
        *cursor = end + 1;
    } else {
        *cursor = field + std::strlen(field);
    }
    return field;
}

// --- line splitters ------------------------------------------------------------------------

void sp_ScanLine(const char* line, const char* delimiters, YArray<JString>* tokens, int maxTokens) {
    if (!line || !tokens)
        return;
    for (;;) {
        JString token = sp_GetToken(&line, delimiters, nullptr, nullptr, false);
        if (token.isEmpty() || !takeOne(maxTokens))
            return;
        tokens->add(token);
    }
}

void sp_ScanLine(const char* line, const ScanSpec& spec, YArray<JString>* tokens, int maxTokens) {
    if (!line || !tokens)
        return;
    for (;;) {
        int type;
        JString token = sp_GetToken(&line, spec, &type);
        if (type == -1 || !takeOne(maxTokens))
            return;
        tokens->add(token);
    }
}

void sp_ScanLine(const char* line, const ScanSpec& spec, YArray<ScanToken>* tokens, int maxTokens) {
    if (!line || !tokens)
        return;
    for (;;) {
        ScanToken token;
        token.text = sp_GetToken(&line, spec, &token.type);
        if (token.type == -1 || !takeOne(maxTokens))
            return;
        tokens->add(token);
    }
}

void sp_SplitLine(const char* line, char delimiter, YArray<JString>* fields, int minFields) {
    if (!line || !fields)
        return;
    if (delimiter) {
        const char* start = line;
        while (const char* end = std::strchr(start, delimiter)) {
            fields->add(span(start, end - start));
            start = end + 1;
        }
        if (*start)
            fields->add(JString(start));
    } else if (*line) {
        fields->add(JString(line)); // a NUL delimiter never occurs inside the text
    }
    while (fields->size() < minFields)
        fields->add(JString());
}

// --- other text functions ------------------------------------------------------------------

int sp_CompareStrings(const char* a, const char* b) {
    using nvsupport::detail::asciiLower;
    if (!a)
        a = "";
    if (!b)
        b = "";
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    int tieBreak = 0;
    for (;;) {
        if (!*a && !*b)
            return tieBreak;
        if (isDigit(*a) && isDigit(*b)) {
            // Measure both digit runs: full length and significant digits.
            const char* sigA = a;
            while (*sigA == '0')
                ++sigA;
            const char* endA = sigA;
            while (isDigit(*endA))
                ++endA;
            const char* sigB = b;
            while (*sigB == '0')
                ++sigB;
            const char* endB = sigB;
            while (isDigit(*endB))
                ++endB;
            if (endA - sigA != endB - sigB)
                return endA - sigA > endB - sigB ? 1 : -1;
            if (endA - a != endB - b && tieBreak == 0)
                tieBreak = endA - a > endB - b ? 1 : -1; // more leading zeros sorts later
            for (; sigA != endA; ++sigA, ++sigB)
                if (*sigA != *sigB)
                    return *sigA > *sigB ? 1 : -1;
            a = endA;
            b = endB;
            continue;
        }
        const int ca = asciiLower(signedByte(*a));
        const int cb = asciiLower(signedByte(*b));
        if (ca != cb)
            return ca > cb ? 1 : -1;
        ++a;
        ++b;
    }
}

void sp_FormatName(char* field, int width, char breakChar, JString* text) {
    if (!field)
        return;
    if (width <= 0) {
        field[0] = 0;
        return;
    }
    const char* t = text ? **text : "";
    const std::size_t w = static_cast<std::size_t>(width);
    std::size_t n = 0;
    std::size_t breakAt = 0; // 0: none (a break at the first position does not count)
    for (; n < w && t[n]; ++n) {
        field[n] = t[n];
        if (n > 0 && t[n] == breakChar)
            breakAt = n;
    }
    std::size_t kept;
    if (n < w) {
        kept = n;
        if (text)
            *text = JString();
    } else {
        kept = breakAt > 0 ? breakAt + 1 : w - 1;
        if (kept > 0)
            *text = t + kept; // assignment from the string's own tail is safe
    }
    std::memset(field + kept, ' ', w - kept);
    field[w] = 0;
}

void sp_FillString(char** strings, const YList<JString>* list) {
    if (!strings || !list)
        return;
    for (const JString& entry : *list)
        *strings++ = entry.Copy();
}
