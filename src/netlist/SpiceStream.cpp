#include "SpiceStream.h"

#include "../core/CaseFold_p.h"
#include "../core/YArray.h"
#include "../streams/nvfstream.h"
#include "../text/Tokens.h"

#include <bit>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <cstring>

thread_local int SpiceStream::dummyLineNum = 0;

void nvsupport::detail::SpiceTextBuf::putSlowly(const char* s, int n) {
    if (n <= 0)
        return;
    while (std::int64_t(length) + n >= capacity) {
        if (capacity >= maxCapacity) {
            n = capacity - 1 - length;
            if (n <= 0)
                return;
            break;
        }
        grow();
    }
    std::memcpy(buffer + length, s, std::size_t(n));
    length += n;
    buffer[length] = 0;
}

namespace {

// Positions in the statement grammar.
enum State {
    kLineStart,   // before a statement's first character; comment lines here are skipped
    kCommentLine, // in a comment line read at line start
    kInStatement,
    kInComment, // after the inline comment character of a statement line
    kAfterNewline,
    kEndPending, // the input ended inside a statement: its line feed has been returned
    kEnded,
};

// Directive text is at most this many characters after "*#".
constexpr int kDirectiveMax = 199;

// Bytes read ahead from a buffer at a time, and bytes allocated past them so that short runs
// can be copied sixteen bytes at a time.
constexpr int kChunkSize = 1 << 16;
constexpr int kChunkSlack = 16;

// 32-bit counts wrap like the counters they model instead of overflowing.
inline int bump(int n, int by = 1) {
    return int(unsigned(n) + unsigned(by));
}

// Characters the raw reader lets through: printable ASCII, DEL, tab and line feed.
constexpr bool passesFilter(int c) {
    return (c >= 32 && c <= 127) || c == '\n' || c == '\t';
}

// Runs of bytes that the grammar passes on unchanged are found sixteen bytes at a time: a run
// is bytes in 32..127 other than up to three stop bytes. Tabs end a run too (they take the
// ordinary way, one at a time).
class RunScanner {
public:
    RunScanner(char a, char b, char c) : a(a), b(b), c(c) {
#ifdef __SSE2__
        ma = _mm_set1_epi8(a);
        mb = _mm_set1_epi8(b);
        mc = _mm_set1_epi8(c);
#endif
    }

    // The length of the run at the start of [p, end).
    int length(const char* p, const char* end) const {
        const char* q = p;
#ifdef __SSE2__
        const __m128i space = _mm_set1_epi8(32);
        while (end - q >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
            // Bytes above 127 are negative as signed bytes, so one comparison finds them with
            // the control bytes.
            const __m128i stop =
                _mm_or_si128(_mm_or_si128(_mm_cmplt_epi8(v, space), _mm_cmpeq_epi8(v, ma)),
                             _mm_or_si128(_mm_cmpeq_epi8(v, mb), _mm_cmpeq_epi8(v, mc)));
            if (const int bits = _mm_movemask_epi8(stop))
                return int(q - p) + std::countr_zero(unsigned(bits));
            q += 16;
        }
#endif
        for (; q < end; ++q) {
            const unsigned char u = static_cast<unsigned char>(*q);
            if (u < 32 || u > 127 || *q == a || *q == b || *q == c)
                break;
        }
        return int(q - p);
    }

private:
    char a, b, c;
#ifdef __SSE2__
    __m128i ma, mb, mc;
#endif
};

} // namespace

SpiceStream::SpiceStream(const char* path, SpiceLanguage lang)
    : state(kLineStart), pending(-1), lineCount(0), charCount(0), lastAcceptedLineCount(0),
      lastAcceptedCharCount(0), literalMode(false), suppressEmptyLines(true), language(lang),
      separator("$"), sourceFile(path) {
    nvfstream file(path, NV_OPEN_READ | NV_OPEN_BINARY, false, false);
    transferBuffer(&file, this);
    init();
}

SpiceStream::SpiceStream(nvstream& source)
    : state(kLineStart), pending(-1), lineCount(0), charCount(0), lastAcceptedLineCount(0),
      lastAcceptedCharCount(0), literalMode(false), suppressEmptyLines(true),
      language(SPICE_NORVANE), separator("$") {
    transferBuffer(&source, this);
    init();
}

SpiceStream::~SpiceStream() = default;

void SpiceStream::init() {
    state = kLineStart;
    pending = -1;
    lineCount = charCount = lastAcceptedLineCount = lastAcceptedCharCount = 0;
    clearCount();
    literalMode = false;
    suppressEmptyLines = true;
    separator = "$";
    inputEnded = false;
}

int SpiceStream::eof() {
    return state == kEnded;
}

void SpiceStream::clearCounts() {
    lineCount = charCount = lastAcceptedCharCount = 0;
    clearCount();
}

void SpiceStream::copyBuffer(const JString& text) {
    literal.flush();
    literal.put(*text, text.length());
}

// Reads the next block from the buffer and returns its first byte; -1 at the end. With a
// decode hook, bytes come one at a time through the stream's line queue instead.
int SpiceStream::refill() {
    chunkPos = chunkLength = 0;
    if (encryptionAllowed()) {
        int c = nvstream::get();
        return c < 0 ? -1 : c & 0xFF;
    }
    nvbuf* b = rdbuf();
    if (!b)
        return -1;
    if (!chunk)
        chunk = std::make_unique<char[]>(kChunkSize + kChunkSlack);
    unsigned int n = b->read(chunk.get(), kChunkSize);
    if (n == 0 || n > unsigned(kChunkSize))
        return -1;
    chunkLength = int(n);
    chunkPos = 1;
    return static_cast<unsigned char>(chunk[0]);
}

std::int64_t SpiceStream::tellg() {
    std::int64_t t = nvstream::tellg();
    return t < 0 ? t : t - (chunkLength - chunkPos);
}

int SpiceStream::seekg(std::int64_t pos) {
    chunkPos = chunkLength = 0;
    inputEnded = false;
    return nvstream::seekg(pos);
}

int SpiceStream::seekg(std::int64_t offset, int whence) {
    if (whence == 1)
        offset -= chunkLength - chunkPos;
    chunkPos = chunkLength = 0;
    inputEnded = false;
    return nvstream::seekg(offset, whence);
}

// In an inline comment with nothing pending: the run of read-ahead bytes that only go to the
// literal buffer.
void SpiceStream::skipCommentRun() {
    if (chunkPos >= chunkLength)
        return;
    const char* start = chunk.get() + chunkPos;
    const RunScanner comment('\n', '\n', '\n');
    int n = comment.length(start, chunk.get() + chunkLength);
    chunkPos += n;
    charCount = bump(charCount, n);
    literal.put(start, n);
}

// At line start or after a line feed with nothing pending: skips (and counts) the blanks and
// tabs read ahead.
void SpiceStream::skipBlanks() {
    int n = 0;
    while (chunkPos + n < chunkLength &&
           (chunk[chunkPos + n] == ' ' || chunk[chunkPos + n] == '\t'))
        ++n;
    chunkPos += n;
    charCount = bump(charCount, n);
}

// The next byte, counted (a line feed also raises the line count); -1 at the end, after
// which the stream is not read again until init().
inline int SpiceStream::readCounted() {
    if (inputEnded)
        return -1;
    int c = readByte();
    if (c < 0) {
        inputEnded = true;
        return -1;
    }
    charCount = bump(charCount);
    if (c == '\n')
        lineCount = bump(lineCount);
    return c;
}

// The next character that passes the filter: the pending one first (it was counted when it
// was read), then the stream's.
inline int SpiceStream::rawChar() {
    for (;;) {
        int c;
        if (pending >= 0) {
            c = pending;
            pending = -1;
        } else {
            c = readCounted();
            if (c < 0)
                return -1;
        }
        if (passesFilter(c))
            return c;
    }
}

// A comment character at line start: the next byte is read as it is and left pending; after
// "*#" the rest of the line (up to 199 bytes) is a directive.
void SpiceStream::commentStart(int first) {
    pending = readCounted();
    if (first == '*' && pending == '#') {
        char text[kDirectiveMax + 1];
        int n = 0;
        for (int i = 0; i < kDirectiveMax; ++i) {
            int c = readCounted();
            pending = c;
            if (c < 0 || c == '\n')
                break;
            if (c != '\r')
                text[n++] = char(c);
        }
        text[n] = 0;
        applyDirective(text);
    }
    state = kCommentLine;
}

void SpiceStream::applyDirective(const char* text) {
    YArray<JString> words;
    sp_ScanLine(text, " =(),\t", &words, -1);
    if (words.empty())
        return;
    using nvsupport::detail::caseBlindEqual;
    const char* word = *words[0];
    if (caseBlindEqual(word, "NORVANE")) {
        language = SPICE_NORVANE;
        for (int i = 1; i <= words.size() - 2; ++i) {
            if (!caseBlindEqual(*words[i], "sep"))
                continue;
            const JString& value = words[i + 1];
            if (value.length() == 1)
                separator = value;
            else if (caseBlindEqual(*value, "none"))
                separator = "";
        }
    } else if (caseBlindEqual(word, "HSPICE")) {
        language = SPICE_HSPICE;
        separator = "";
    } else if (caseBlindEqual(word, "PSPICE")) {
        language = SPICE_PSPICE;
        separator = "";
    }
}

int SpiceStream::get(bool literalRead) {
    if (literalRead) {
        int c = rawChar();
        if (c >= 0)
            literal.put(char(c));
        state = kLineStart;
        return c;
    }
    for (;;) {
        switch (state) {
        case kLineStart: {
            if (pending < 0)
                skipBlanks();
            int c = rawChar();
            if (c == ' ' || c == '\t' || c == '\n')
                continue;
            if (c < 0) {
                state = kEnded;
                return -1;
            }
            if (c == '*' || c == getInlineCommentChar()) {
                commentStart(c);
                continue;
            }
            literal.put(char(c));
            accept();
            state = kInStatement;
            return c;
        }
        case kCommentLine: {
            if (pending < 0 && chunkPos < chunkLength) {
                // Everything up to the line feed is skipped (and counted).
                const char* start = chunk.get() + chunkPos;
                const void* lf = std::memchr(start, '\n', std::size_t(chunkLength - chunkPos));
                int n = lf ? int(static_cast<const char*>(lf) - start) : chunkLength - chunkPos;
                chunkPos += n;
                charCount = bump(charCount, n);
            }
            int c = rawChar();
            if (c == '\n') {
                state = kLineStart;
            } else if (c < 0) {
                state = kEnded;
                return -1;
            }
            continue;
        }
        case kInStatement: {
            int c = rawChar();
            if (c == getInlineCommentChar()) {
                literal.put(char(c));
                state = kInComment;
                continue;
            }
            if (c == '\n') {
                state = kAfterNewline;
                accept();
                if (!suppressEmptyLines)
                    literal.put('\n');
                continue;
            }
            if (c < 0) {
                accept();
                state = kEndPending;
                return '\n';
            }
            literal.put(char(c));
            accept();
            return c;
        }
        case kInComment: {
            if (pending < 0)
                skipCommentRun();
            int c = rawChar();
            if (c == '\n') {
                state = kAfterNewline;
                if (!suppressEmptyLines)
                    literal.put('\n');
            } else if (c < 0) {
                state = kEndPending;
                return '\n';
            } else {
                literal.put(char(c));
            }
            continue;
        }
        case kAfterNewline: {
            if (pending < 0)
                skipBlanks();
            int c = rawChar();
            if (c == ' ' || c == '\t')
                continue;
            if (c == '\n') {
                if (!suppressEmptyLines)
                    literal.put('\n');
                continue;
            }
            if (c == '*' || c == getInlineCommentChar()) {
                if (suppressEmptyLines)
                    literal.put('\n');
                literal.put(char(c));
                state = kInComment;
                continue;
            }
            if (c == '+') {
                if (suppressEmptyLines)
                    literal.put('\n');
                literal.put('+');
                state = kInStatement;
                return ' ';
            }
            if (c < 0) {
                state = kEndPending;
                return '\n';
            }
            pending = c;
            state = kInStatement;
            return '\n';
        }
        case kEndPending:
            state = kEnded;
            return -1;
        default:
            return -1;
        }
    }
}

// Stores the statement character `c` (not a line feed) as gets() does at brace `depth`: into
// the statement at depth 0, into the expression inside braces, where a closing brace that
// returns to depth 0 hands the expression to evaluate().
inline void SpiceStream::store(int c, int& depth) {
    if (depth == 0) {
        if (c == '{')
            depth = 1;
        else
            line.put(char(c));
        return;
    }
    if (c == '{') {
        expression.put('(');
        ++depth;
        return;
    }
    if (c != '}') {
        expression.put(char(c));
        return;
    }
    if (--depth > 0) {
        expression.put(')');
        return;
    }
    closeExpression();
}

// The expression has been read whole: its value, or the expression in braces, goes into the
// statement.
void SpiceStream::closeExpression() {
    JString value;
    if (evaluate(*expression, &value)) {
        line.put(*value, value.length());
    } else {
        line.put('{');
        line.put(*expression, expression.getLength());
        line.put('}');
    }
    expression.clear();
}

// In a statement line with nothing pending, the bytes read ahead are taken here in bulk as
// long as the grammar would return them one by one unchanged ("in statement, other": copied
// to the literal buffer, counted, accepted): runs of plain text in one step, braces one at a
// time. It stops at anything else (line feed, comment character, tab, bytes the filter
// drops) and at the end of the block, which the ordinary way then takes.
void SpiceStream::takeStatementText(int& depth) {
    const char x = getInlineCommentChar();
    const RunScanner statementText('{', x, x), expressionText('{', '}', x);
    while (chunkPos < chunkLength) {
        const char* p = chunk.get() + chunkPos;
        if (*p == '{' || *p == '}') {
            ++chunkPos;
            charCount = bump(charCount);
            literal.put(*p);
            accept();
            store(*p, depth);
            continue;
        }
        const int n =
            (depth > 0 ? expressionText : statementText).length(p, chunk.get() + chunkLength);
        if (n == 0)
            return;
        chunkPos += n;
        charCount = bump(charCount, n);
        nvsupport::detail::SpiceTextBuf& target = depth > 0 ? expression : line;
        if (n <= 16) {
            literal.putShort(p, n);
            target.putShort(p, n);
        } else {
            literal.put(p, n);
            target.put(p, n);
        }
        accept();
    }
}

bool SpiceStream::gets(JString* statement, int* lineNumber, bool* encoded) {
    if (statement)
        *statement = JString();
    bool encodedHere = false;
    if (!lineNumber)
        lineNumber = &dummyLineNum;
    if (!encoded)
        encoded = &encodedHere;
    line.clear();
    expression.clear();
    *encoded = false;
    int depth = 0;
    bool first = true;
    bool found = false;
    for (;;) {
        int c;
        if (!literalMode && state == kInStatement && pending < 0) {
            if (!first)
                takeStatementText(depth);
            c = get(false);
        } else if (!literalMode && state == kInStatement && passesFilter(pending) &&
                   pending != getInlineCommentChar() && pending != '\n') {
            // The first character of the next statement, left pending when the line feed
            // before it was returned: "in statement, other".
            c = pending;
            pending = -1;
            literal.put(char(c));
            accept();
        } else {
            c = get(literalMode);
        }
        if (c < 0) {
            found = line.getLength() > 0;
            break;
        }
        if (lineIsEncrypted())
            *encoded = true;
        if (first) {
            *lineNumber = bump(lineCount);
            first = false;
        }
        if (c == '\n') {
            found = true;
            break;
        }
        store(c, depth);
    }
    if (statement)
        *statement = JString(*line, line.getLength());
    return found;
}

bool SpiceStream::evaluate(const char*, JString*) {
    return false;
}

void SpiceStream::readTitle() {
    for (;;) {
        if (inputEnded)
            return;
        int c = readByte();
        if (c < 0) {
            inputEnded = true;
            return;
        }
        if (c == '\n') {
            lineCount = bump(lineCount);
            return;
        }
        charCount = bump(charCount);
        if (c != '\r')
            literal.put(char(c));
    }
}

JString support_BuildSimulatorTypeString(SimulatorType type) {
    JString text;
    if (type & SIM_KESTRUM)
        text = "KESTRUM";
    if (type & SIM_NORVANE) {
        if (text.isEmpty())
            text = "Norvane";
        else
            text &= "|Norvane";
    }
    return text;
}

SimulatorType support_CrackSimulatorType(const char* text) {
    int flags = 0;
    if (!text)
        return SIM_NONE;
    YArray<JString> fields;
    sp_SplitLine(text, '|', &fields, 0);
    for (const JString& f : fields) {
        if (nvsupport::detail::caseBlindEqual(*f, "KESTRUM"))
            flags |= SIM_KESTRUM;
        else if (nvsupport::detail::caseBlindEqual(*f, "Norvane"))
            flags |= SIM_NORVANE;
    }
    return SimulatorType(flags);
}
