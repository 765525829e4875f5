#include "JString.h"

#include "../Os/Posix/HeapBlock_p.h"
#include "../paths/Path.h"
#include "CaseFold_p.h"
#include "YList.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>

namespace nvsupport::detail {

// The block every empty string may point at. It lives in read-only memory: nothing ever
// writes to it, not even its count, so empty strings can be made and dropped on any thread.
const EmptyJStringBlock kEmptyJStringBlock{1, {0, 0, 0, 0}};

namespace {

inline char* theEmptyBlock() noexcept {
    return reinterpret_cast<char*>(const_cast<EmptyJStringBlock*>(&kEmptyJStringBlock));
}

inline std::int32_t& refs(char* block) noexcept {
    return *reinterpret_cast<std::int32_t*>(block);
}

inline char* text(char* block) noexcept {
    return block + 4;
}

[[noreturn]] void outOfMemory() {
    throw std::bad_alloc();
}

inline void* checkedMalloc(std::size_t n) {
    void* p = std::malloc(n);
    if (!p)
        outOfMemory();
    return p;
}

inline void* checkedRealloc(void* old, std::size_t n) {
    void* p = std::realloc(old, n);
    if (!p)
        outOfMemory();
    return p;
}

// A block of count 1 holding the `n` bytes at `s`, NUL-terminated.
char* newBlock(const char* s, std::size_t n) {
    char* b = static_cast<char*>(checkedMalloc(n + 5));
    refs(b) = 1;
    if (n)
        std::memcpy(text(b), s, n);
    text(b)[n] = 0;
    return b;
}

// Whether p points into the `len` bytes of text (terminator included) of `block`.
// std::less gives a total order even for pointers into unrelated objects.
// The smallest block a concatenation chain starts with.
constexpr std::size_t kFirstBlockMin = 64;

inline bool inside(const char* p, const char* block, std::size_t len) noexcept {
    std::less<const char*> lt;
    return !lt(p, block + 4) && lt(p, block + 4 + len + 1);
}

inline std::size_t boundedLength(const char* s, std::size_t max) noexcept {
    const void* nul = std::memchr(s, 0, max);
    return nul ? std::size_t(static_cast<const char*>(nul) - s) : max;
}

} // namespace
} // namespace nvsupport::detail

using namespace nvsupport::detail;

char JString::ErrorChar = 0;

// --- construction and assignment ------------------------------------------------------

JString::JString(const char* s) : m_block(theEmptyBlock()) {
    if (s && *s)
        m_block = newBlock(s, std::strlen(s));
}

JString::JString(const char* s, int n) : m_block(theEmptyBlock()) {
    if (s && n > 0) {
        std::size_t len = boundedLength(s, static_cast<std::size_t>(n));
        if (len)
            m_block = newBlock(s, len);
    }
}

namespace {
template <class... A> char* formatted(const char* fmt, A... a) {
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, fmt, a...);
    return newBlock(buf, static_cast<std::size_t>(n));
}
} // namespace

JString::JString(int v) : m_block(formatted("%d", v)) {}
JString::JString(unsigned int v) : m_block(formatted("%u", v)) {}
JString::JString(std::int64_t v) : m_block(formatted("%lld", static_cast<long long>(v))) {}
JString::JString(long long v) : m_block(formatted("%lld", v)) {}
JString::JString(unsigned long v) : m_block(formatted("%lu", v)) {}
JString::JString(unsigned long long v) : m_block(formatted("%llu", v)) {}
// "%.12g" as the C locale writes it: to_chars with a precision is defined as printf in the
// C locale, so a host that sets a locale with a decimal comma still gets "2.5".
JString::JString(double v) : m_block(nullptr) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 12);
    m_block = newBlock(buf, std::size_t(r.ptr - buf));
}

JString::JString(const TempString& t) noexcept : m_block(t.m_block) {
    delete const_cast<TempString*>(&t);
}

void JString::freeBlock(char* block) noexcept {
    std::free(block);
}

// Makes the text the `len` bytes at `s`, which may lie inside this string's own text.
void JString::setText(const char* s, std::size_t len) {
    if (len == 0) {
        release();
        return;
    }
    if (!nullBlock() && refs(m_block) == 1) {
        // A block with room enough, and not much more, is refilled as it stands: a string
        // assigned over and over (a line buffer) then costs no trip to the heap.
        std::size_t room = heapBlockCapacity(m_block);
        if (room >= len + 5 && room <= 2 * (len + 5) + 256) {
            std::memmove(text(m_block), s, len); // s may be a piece of this very text
            text(m_block)[len] = 0;
            return;
        }
        if (inside(s, m_block, std::strlen(text(m_block)))) {
            // A tail or a piece of our own text: move it down first, then shrink.
            std::memmove(text(m_block), s, len);
            text(m_block)[len] = 0;
            m_block = static_cast<char*>(checkedRealloc(m_block, len + 5));
        } else {
            m_block = static_cast<char*>(checkedRealloc(m_block, len + 5));
            std::memcpy(text(m_block), s, len);
            text(m_block)[len] = 0;
        }
        return;
    }
    // Shared (or the empty block): copy before letting go, since s may point into it.
    char* b = newBlock(s, len);
    release();
    m_block = b;
}

JString& JString::operator=(const char* s) {
    setText(s ? s : "", s ? std::strlen(s) : 0);
    return *this;
}

JString& JString::operator&=(const char* s) {
    if (!s || !*s)
        return *this;
    std::size_t len = std::strlen(**this);
    if (!nullBlock() && refs(m_block) == 1 && !inside(s, m_block, len)) {
        // Owned alone: grow the block in place instead of building a new one.
        std::size_t add = std::strlen(s);
        m_block = static_cast<char*>(checkedRealloc(m_block, len + add + 5));
        std::memcpy(text(m_block) + len, s, add + 1);
        return *this;
    }
    return *this = JString(concat(s));
}

JString& JString::operator&=(const JString& s) {
    return *this &= *s;
}

// --- access ---------------------------------------------------------------------------

void JString::makeUnique() {
    if (nullBlock()) {
        m_block = newBlock("", 0);
    } else if (refs(m_block) != 1) {
        char* b = newBlock(text(m_block), std::strlen(text(m_block)));
        --refs(m_block);
        m_block = b;
    }
}

char& JString::operator[](int i) {
    makeUnique();
    if (i < 0 || i > length())
        return ErrorChar;
    return text(m_block)[i];
}

int JString::length() const noexcept {
    return static_cast<int>(std::strlen(**this));
}

int JString::lastChar() const noexcept {
    std::size_t len = std::strlen(**this);
    return len ? static_cast<int>(static_cast<signed char>((**this)[len - 1])) : 0;
}

int JString::getRefCount() const noexcept {
    return refs(m_block);
}

int JString::getBlockBytes() const noexcept {
    return length() + kHeader;
}

char* JString::Copy() const {
    std::size_t len = std::strlen(**this);
    char* p = static_cast<char*>(checkedMalloc(len + 1));
    std::memcpy(p, **this, len + 1);
    return p;
}

char* JString::detach() {
    if (!nullBlock() && refs(m_block) == 1) {
        // Reuse the block itself: slide the text over the count word.
        char* b = m_block;
        std::memmove(b, text(b), std::strlen(text(b)) + 1);
        m_block = theEmptyBlock();
        return b;
    }
    char* p = Copy();
    release();
    return p;
}

void JString::unique() {
    if (!isEmpty() && refs(m_block) != 1)
        makeUnique();
}

// --- comparison and hashing -------------------------------------------------------------

int JString::hasPrefix(const char* p) const noexcept {
    if (!p || !*p)
        return 0;
    std::size_t n = std::strlen(p);
    return std::strncmp(**this, p, n) == 0 ? static_cast<int>(n) : 0;
}

namespace {

// h = h * 65599 + c over the bytes, four at a time: h * P^4 + c0 * P^3 + c1 * P^2 + c2 * P + c3
// gives the same 32-bit result with a shorter chain of dependent multiplications.
template <class Fold> std::uint32_t hashBytes(const char* p, Fold fold) noexcept {
    constexpr std::uint32_t P = 65599u, P2 = P * P, P3 = P2 * P, P4 = P3 * P;
    std::size_t n = std::strlen(p);
    std::uint32_t h = 0;
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4)
        h = h * P4 + fold(p[i]) * P3 + fold(p[i + 1]) * P2 + fold(p[i + 2]) * P + fold(p[i + 3]);
    for (; i < n; ++i)
        h = h * P + fold(p[i]);
    return h & 0x7FFFFFFFu;
}

// Bytes enter the hash as signed chars widened to int (0x80-0xFF are negative).
struct UpperByte {
    std::uint32_t operator()(char c) const noexcept {
        return static_cast<std::uint32_t>(asciiUpper(static_cast<signed char>(c)));
    }
};
struct RawByte {
    std::uint32_t operator()(char c) const noexcept {
        return static_cast<std::uint32_t>(static_cast<int>(static_cast<signed char>(c)));
    }
};

} // namespace

unsigned int JString::hashValue() const noexcept {
    return hashBytes(**this, UpperByte());
}

unsigned int JString::pathHashValue() const noexcept {
    return sp_CaseSensitiveFiles() ? hashBytes(**this, RawByte()) : hashValue();
}

int JString::comparePath(const JString& p) const noexcept {
    int r = sp_CaseSensitiveFiles() ? std::strcmp(**this, *p) : caseBlindCompare(**this, *p);
    return (r > 0) - (r < 0);
}

bool operator==(const JString& a, const char* b) noexcept {
    return caseBlindEqual(*a, b ? b : "");
}

bool operator==(const JString& a, const JString& b) noexcept {
    return caseBlindEqual(*a, *b);
}

// --- editing ----------------------------------------------------------------------------

void JString::pad(unsigned int n, char c) {
    std::size_t len = std::strlen(**this);
    if (len >= n || c == 0)
        return;
    if (nullBlock() || refs(m_block) != 1) {
        char* b = static_cast<char*>(checkedMalloc(std::size_t(n) + 5));
        refs(b) = 1;
        std::memcpy(text(b), **this, len);
        release();
        m_block = b;
    } else {
        m_block = static_cast<char*>(checkedRealloc(m_block, std::size_t(n) + 5));
    }
    std::memset(text(m_block) + len, c, n - len);
    text(m_block)[n] = 0;
}

int JString::substitute(const JString& from, const JString& to, int start) {
    const char* t = **this;
    std::size_t len = std::strlen(t);
    std::size_t lf = std::strlen(*from);
    if (start < 0 || std::size_t(start) >= len || lf == 0)
        return 0;
    // Every occurrence is found, including one that begins inside a failed partial match.
    const char* hit = std::strstr(t + start, *from);
    if (!hit)
        return 0;
    std::size_t lt = std::strlen(*to);
    std::size_t at = std::size_t(hit - t);
    std::size_t newLen = len - lf + lt;
    char* b = static_cast<char*>(checkedMalloc(newLen + 5));
    refs(b) = 1;
    std::memcpy(text(b), t, at);
    std::memcpy(text(b) + at, *to, lt);
    std::memcpy(text(b) + at + lt, t + at + lf, len - at - lf + 1);
    release();
    m_block = b;
    return static_cast<int>(at + lt);
}

JString JString::strtok(const char* delims) {
    if (isEmpty())
        return JString();
    if (!delims)
        delims = "";
    const char* t = **this;
    std::size_t skip = std::strspn(t, delims);
    std::size_t tok = std::strcspn(t + skip, delims);
    JString result(t + skip, static_cast<int>(tok));
    const char* rest = t + skip + tok;
    if (*rest == 0)
        release();
    else
        setText(rest + 1, std::strlen(rest + 1));
    return result;
}

void JString::stripLeading(const char* set) {
    if (!set || isEmpty())
        return;
    std::size_t k = std::strspn(**this, set);
    if (k)
        setText(**this + k, std::strlen(**this + k));
}

void JString::stripTrailing(const char* set) {
    if (!set || isEmpty())
        return;
    const char* t = **this;
    std::size_t len = std::strlen(t);
    std::size_t end = len;
    while (end > 0 && std::strchr(set, t[end - 1]))
        --end;
    if (end != len)
        setText(t, end);
}

void JString::stripQuotes(const char* quotes, bool both) {
    if (!quotes || !*quotes || isEmpty())
        return;
    char open = quotes[0];
    char close = quotes[1] ? quotes[1] : quotes[0];
    const char* t = **this;
    std::size_t len = std::strlen(t);
    bool first = t[0] == open;
    bool last = t[len - 1] == close;
    if (both ? !(first && last) : !(first || last))
        return;
    std::size_t begin = first ? 1 : 0;
    std::size_t end = len;
    if (end > begin && t[end - 1] == close)
        --end;
    setText(t + begin, end - begin);
}

JString JString::shiftLeft(int n, char fill) {
    if (n <= 0)
        return *this;
    const char* t = **this;
    std::size_t len = std::strlen(t);
    std::size_t want = std::size_t(n);
    std::size_t take = len < want ? len : want;
    std::size_t outLen = (len < want && fill) ? want : take;
    JString result;
    if (outLen) {
        char* b = static_cast<char*>(checkedMalloc(outLen + 5));
        refs(b) = 1;
        std::memcpy(text(b), t, take);
        std::memset(text(b) + take, fill, outLen - take);
        text(b)[outLen] = 0;
        result.m_block = b;
    }
    if (len <= want)
        release();
    else
        setText(t + want, len - want);
    return result;
}

JString JString::tolower() {
    if (!isEmpty()) {
        makeUnique();
        for (char* p = text(m_block); *p; ++p)
            *p = static_cast<char>(asciiLower(static_cast<unsigned char>(*p)));
    }
    return *this;
}

JString JString::toupper() {
    if (!isEmpty()) {
        makeUnique();
        for (char* p = text(m_block); *p; ++p)
            *p = static_cast<char>(asciiUpper(static_cast<unsigned char>(*p)));
    }
    return *this;
}

JString JString::convertDosToUnix() {
    if (std::strstr(**this, "\r\n")) {
        makeUnique();
        char* w = text(m_block);
        for (const char* r = w; *r; ++r)
            if (!(r[0] == '\r' && r[1] == '\n'))
                *w++ = *r;
        *w = 0;
    }
    return *this;
}

// --- formatting -------------------------------------------------------------------------

namespace {

// Windows format strings carry size prefixes between the precision and the conversion
// letter: I64 (64-bit), I32 (32-bit) and I (pointer-sized). glibc would read the I as a
// flag and the digits as a width, so they become ll, nothing and z.
std::string withPortableSizes(const char* fmt) {
    std::string out;
    const char* p = fmt;
    while (*p) {
        if (*p != '%') {
            out += *p++;
            continue;
        }
        out += *p++;
        if (*p == '%') {
            out += *p++;
            continue;
        }
        // Flags, an argument position, width and precision pass unchanged.
        std::size_t n = std::strspn(p, "-+ #'*0123456789$.");
        out.append(p, n);
        p += n;
        if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
            out += "ll";
            p += 3;
        } else if (p[0] == 'I' && p[1] == '3' && p[2] == '2') {
            p += 3;
        } else if (p[0] == 'I') {
            out += 'z';
            ++p;
        }
    }
    return out;
}

} // namespace

void JString::sprintf(const char* fmt, va_list args) {
    if (!fmt) {
        release();
        return;
    }
    std::string portable;
    if (std::strchr(fmt, 'I')) {
        portable = withPortableSizes(fmt);
        fmt = portable.c_str();
    }
    // Measure exactly, then format into a fresh block: the arguments may point into this
    // string's own text, so the old block is let go only afterwards.
    va_list measure;
    va_copy(measure, args);
    int n = std::vsnprintf(nullptr, 0, fmt, measure);
    va_end(measure);
    if (n <= 0) {
        release();
        return;
    }
    char* b = static_cast<char*>(checkedMalloc(std::size_t(n) + 5));
    refs(b) = 1;
    std::vsnprintf(text(b), std::size_t(n) + 1, fmt, args);
    release();
    m_block = b;
}

void JString::sprintf(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    sprintf(fmt, args);
    va_end(args);
}

void JString::format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    sprintf(fmt, args);
    va_end(args);
}

// --- lists and serialisation ------------------------------------------------------------

const YList<JString>* JString::tokenize(const JString* s, char sep, YList<JString>* list) {
    if (!s || !list)
        return list;
    const char* p = **s;
    while (*p) {
        const char* end = p;
        while (*end && *end != sep)
            ++end;
        if (end != p)
            list->push_back(JString(p, static_cast<int>(end - p)));
        p = *end ? end + 1 : end;
    }
    return list;
}

void JString::writeBlock(void** cursor) const {
    char* c = static_cast<char*>(*cursor);
    std::int32_t len = length();
    std::memcpy(c, &len, 4);
    std::memcpy(c + 4, **this, std::size_t(len));
    *cursor = c + 4 + len;
}

void JString::readBlock(void** cursor) {
    char* c = static_cast<char*>(*cursor);
    std::int32_t len;
    std::memcpy(&len, c, 4);
    if (len < 0)
        len = 0;
    // The bytes are taken as they are; an embedded NUL ends the text early.
    setText(c + 4, boundedLength(c + 4, std::size_t(len)));
    *cursor = c + 4 + len;
}

// --- TempString -------------------------------------------------------------------------

namespace {

// Concatenation chains make and drop one TempString object each; every thread keeps the
// last one dropped for its next chain instead of going to the heap for 8 bytes each time.
struct SpareTempString {
    void* object = nullptr;
    ~SpareTempString() { ::operator delete(object); }
};
__attribute__((tls_model("initial-exec"))) thread_local SpareTempString t_spare;

} // namespace

void* TempString::operator new(std::size_t size) {
    if (void* p = t_spare.object) {
        t_spare.object = nullptr;
        return p;
    }
    return ::operator new(size);
}

void TempString::operator delete(void* p) noexcept {
    if (!t_spare.object)
        t_spare.object = p;
    else
        ::operator delete(p);
}

TempString& JString::concat(const char* s) const {
    return *new TempString(**this, s ? s : "");
}

TempString::TempString(const char* a, const char* b) {
    std::size_t la = std::strlen(a), lb = std::strlen(b);
    // The next multiple of 16 strictly above what is needed, so one spare byte is certain,
    // and never less than 64 bytes: a chain usually goes on, and short lines then grow
    // without moving.
    std::size_t size = ((la + lb + 5) / 16 + 1) * 16;
    if (size < kFirstBlockMin)
        size = kFirstBlockMin;
    m_block = static_cast<char*>(checkedMalloc(size));
    refs(m_block) = 1;
    std::memcpy(text(m_block), a, la);
    std::memcpy(text(m_block) + la, b, lb + 1);
}

int TempString::len() const noexcept {
    return static_cast<int>(std::strlen(theString()));
}

TempString& TempString::concat(const char* s) {
    if (!s)
        return *this;
    std::size_t len = std::strlen(theString());
    std::size_t add = std::strlen(s);
    if (m_block == theEmptyBlock()) {
        char* b = static_cast<char*>(checkedMalloc(add + 6));
        refs(b) = 1;
        std::memcpy(text(b), s, add + 1);
        m_block = b;
        return *this;
    }
    // Grow to old length + appended length + 6 bytes; the heap often has that room in the
    // block already (the first block is rounded up), and then nothing needs to move.
    std::size_t need = len + add + 6;
    if (need > kFirstBlockMin && heapBlockCapacity(m_block) < need) {
        // s may be a piece of this very text; find it again after the block moves.
        bool own = inside(s, m_block, len);
        std::size_t offset = own ? std::size_t(s - m_block) : 0;
        m_block = static_cast<char*>(checkedRealloc(m_block, need));
        if (own)
            s = m_block + offset;
    }
    std::memmove(text(m_block) + len, s, add);
    text(m_block)[len + add] = 0;
    return *this;
}

char* TempString::Copy() {
    std::size_t len = std::strlen(theString());
    char* p = static_cast<char*>(checkedMalloc(len + 1));
    std::memcpy(p, theString(), len + 1);
    Destroy();
    return p;
}

void TempString::Destroy() noexcept {
    if (m_block && m_block != theEmptyBlock() && --refs(m_block) == 0)
        std::free(m_block);
    delete this;
}

void TempString::SetString(const char* s) {
    if (!s || !*s) {
        m_block = theEmptyBlock();
        return;
    }
    m_block = newBlock(s, std::strlen(s));
}

void TempString::initref() noexcept {
    refs(m_block) = 1;
}
void TempString::incref() noexcept {
    ++refs(m_block);
}
void TempString::decref() noexcept {
    --refs(m_block);
}
int TempString::refcount() const noexcept {
    return refs(m_block);
}
