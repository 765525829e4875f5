// JString: the library's reference-counted, copy-on-write 8-bit string, and TempString,
// the block carrier that lets a chain of concatenations build one block in place.
//
//   JString name("R1");
//   JString line(name.concat(" 1 2 ").concat("4k7")); // one block, grown in place
//   if (line.hasPrefix("R")) line.toupper();
//
// A JString and every copy sharing its block may be used by one thread at a time; hand
// text to another thread as a separate block (unique() or a copy of operator*()).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <type_traits>

template <class T> class YList;
class TempString;
class nvstream;

namespace nvsupport::detail {
/// The block every empty JString points at: a count and an empty text, in read-only
/// memory. Nothing writes to it, not even its count.
struct EmptyJStringBlock {
    std::int32_t count;
    char text[4];
};
extern const EmptyJStringBlock kEmptyJStringBlock;

void takesVaList(va_list);
/// True for the type a va_list argument has once passed to a function.
template <class T>
concept VaListArgument = std::is_pointer_v<T> && requires(T t) {
    takesVaList(t);
};
} // namespace nvsupport::detail

/// An 8-bit, NUL-terminated string held in a counted heap block shared between copies
/// until one of them changes. Equality with other text ignores letter case.
class JString {
public:
    /// The empty string; allocates nothing.
    JString() noexcept : m_block(emptyBlock()) {}
    /// Copies `s`; a null pointer or "" gives the empty string.
    JString(const char* s);
    /// Copies at most `n` bytes of `s`, stopping early at a NUL; null `s` or n <= 0 gives "".
    JString(const char* s, int n);
    /// Decimal text of `v` ("%d").
    JString(int v);
    /// Unsigned decimal text of `v`.
    JString(unsigned int v);
    /// Signed decimal text of a 64-bit `v`.
    JString(std::int64_t v);
    /// Signed decimal text of `v` (the same as the 64-bit form).
    JString(long long v);
    /// Unsigned decimal text of `v`.
    JString(unsigned long v);
    /// Unsigned decimal text of `v`.
    JString(unsigned long long v);
    /// `v` formatted with "%.12g" as in the C locale (a '.' whatever the process locale).
    JString(double v);
    /// Shares the block of `s` (constant time).
    JString(const JString& s) noexcept : m_block(s.m_block) {
        if (m_block != emptyBlock())
            ++count();
    }
    /// Takes over the block of `s`, leaving `s` empty.
    JString(JString&& s) noexcept : m_block(s.m_block) { s.m_block = emptyBlock(); }
    /// Adopts the block built by a concatenation chain and deletes the TempString object;
    /// `t` must not be used afterwards.
    JString(const TempString& t) noexcept;
    ~JString() { release(); }

    /// Shares the block of `s`; self-assignment is safe.
    JString& operator=(const JString& s) noexcept {
        char* b = s.m_block; // s may be this very string
        if (b != emptyBlock())
            ++*reinterpret_cast<std::int32_t*>(b);
        release();
        m_block = b;
        return *this;
    }
    JString& operator=(JString&& s) noexcept {
        if (this != &s) {
            release();
            m_block = s.m_block;
            s.m_block = emptyBlock();
        }
        return *this;
    }
    /// Replaces the text by `s`, which may point into this string's own text.
    JString& operator=(const char* s);
    /// Appends `s`.
    JString& operator&=(const JString& s);
    /// Appends `s`; null appends nothing.
    JString& operator&=(const char* s);

    /// The text, never null.
    const char* operator*() const noexcept { return m_block + kHeader; }
    /// Byte `i` for 0 <= i <= length (length gives the terminator), after making the string
    /// unique; any other index gives a reference to a scratch byte (ErrorChar).
    char& operator[](int i);
    /// The last byte as a signed char widened to int; 0 for an empty string.
    int lastChar() const noexcept;
    /// The count of the block (meaningless for the empty string).
    int getRefCount() const noexcept;
    /// Length + 4: the count word and the text without its terminator.
    int getBlockBytes() const noexcept;
    /// Length of the text (scans for the terminator).
    int length() const noexcept;
    /// True for "".
    bool isEmpty() const noexcept { return m_block[kHeader] == 0; }

    /// A malloc'ed copy of the text; the caller frees it with free().
    char* Copy() const;
    /// Hands the text out as a malloc'ed buffer (the block itself when this string owned it
    /// alone) and leaves the string empty; the caller frees it with free().
    char* detach();
    /// Gives a shared non-empty string a block of its own.
    void unique();

    /// Length of `p` when the text begins with `p` (byte for byte); 0 otherwise or for "".
    int hasPrefix(const char* p) const noexcept;
    int hasPrefix(const JString& p) const noexcept { return hasPrefix(*p); }

    /// Case-blind hash: h = h * 65599 + toupper(byte), masked to 31 bits; 0 for "".
    unsigned int hashValue() const noexcept;
    unsigned int HashValue() const noexcept { return hashValue(); }
    /// Hash for file names: hashValue() where file names ignore case, else raw bytes.
    unsigned int pathHashValue() const noexcept;
    /// Compares as file names: -1, 0 or 1 (case-blind only where file names are).
    int comparePath(const JString& p) const noexcept;
    bool pathEqual(const JString& p) const noexcept { return comparePath(p) == 0; }

    /// Appends `c` until the length is `n`; nothing when already that long.
    void pad(unsigned int n, char c);
    /// Replaces the first occurrence of `from` that begins at or after byte `start` by `to`.
    /// Returns the position just past the inserted text, or 0 (and changes nothing) when
    /// nothing was replaced, `from` is empty or `start` is outside the text.
    int substitute(const JString& from, const JString& to, int start = 0);
    /// Splits off and returns the first token delimited by bytes of `delims`; the string
    /// keeps what follows the delimiter that ended the token.
    JString strtok(const char* delims);
    /// Removes leading bytes found in `set`.
    void stripLeading(const char* set);
    /// Removes trailing bytes found in `set`.
    void stripTrailing(const char* set);
    /// Removes an opening quote quotes[0] and a closing quote (quotes[1], else quotes[0]);
    /// with `both`, only when the text has both.
    void stripQuotes(const char* quotes, bool both);
    /// Cuts off and returns the first `n` bytes; a shorter text is filled with `fill` to n
    /// bytes unless `fill` is 0.
    JString shiftLeft(int n, char fill);
    /// Lower-cases the text in place; returns a copy sharing the new block.
    JString tolower();
    /// Upper-cases the text in place; returns a copy sharing the new block.
    JString toupper();
    /// Turns every CR LF into LF in place (a lone CR stays); returns a copy sharing the block.
    JString convertDosToUnix();

    /// Replaces the text by the printf-style formatting of `args`. The output is measured
    /// exactly first, so nothing can overrun whatever the format holds. The Windows size
    /// prefixes I64, I32 and I are read as ll, none and z ("%I64d" takes a 64-bit integer).
    void sprintf(const char* fmt, va_list args);
    /// Replaces the text by the printf-style formatting of the arguments.
    void sprintf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // Calls with arguments land here so that a literal 0 argument is not taken for a null
    // va_list by overload resolution.
    template <class First, class... Rest>
    requires(!nvsupport::detail::VaListArgument<First>) void sprintf(const char* fmt, First first,
                                                                     Rest... rest) {
        format(fmt, first, rest...);
    }

    /// Appends to `list`, in order, every non-empty run of bytes of `s` between occurrences
    /// of `sep`; returns `list`.
    static const YList<JString>* tokenize(const JString* s, char sep, YList<JString>* list);

    /// Writes the length (32-bit, host order) and the text bytes at *cursor and advances it.
    void writeBlock(void** cursor) const;
    /// Reads a 32-bit length and that many bytes at *cursor as the new text and advances it.
    void readBlock(void** cursor);

    // Persistent forms on a stream, written and read through the stream's buffer without
    // touching its character count; lengths are in host byte order, texts have no
    // terminator. A stream without a buffer writes nothing and restores nothing (0).
    /// Writes a signed 16-bit length and the text; a text above 32767 bytes is cut to its
    /// first 32767.
    void save(nvstream& s) const;
    /// Writes a signed 32-bit length and the text.
    void saveLong(nvstream& s) const;
    /// Reads the 16-bit form: 1 on success, 0 on failure. Fails when the length cannot be
    /// read whole, the buffer is closed or at end of input (unless a decode hook is set and
    /// bytes of the current line are unread), the length is above a non-zero `maxLen`, or
    /// fewer bytes than the length arrive. A length of 0 or less gives "". Every failure
    /// leaves the string unchanged. A NUL among the bytes ends the text there.
    int restore(nvstream& s, int maxLen = 0);
    /// Reads the 32-bit form with no maximum; 1 or 0 as restore().
    int restoreLong(nvstream& s);

    /// Starts a concatenation chain: a heap TempString holding this text followed by `s`
    /// (null counts as ""). Hand the result to a JString, or take its Copy().
    TempString& concat(const char* s) const;
    TempString& concat(const JString& s) const { return concat(*s); }

private:
    friend class TempString;
    friend class nvstream;            // getline refills a line it owns alone in place
    static constexpr int kHeader = 4; // the count word before the text

    void format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    static char* emptyBlock() noexcept {
        return reinterpret_cast<char*>(const_cast<nvsupport::detail::EmptyJStringBlock*>(
            &nvsupport::detail::kEmptyJStringBlock));
    }
    std::int32_t& count() const noexcept { return *reinterpret_cast<std::int32_t*>(m_block); }
    bool nullBlock() const noexcept { return m_block == emptyBlock(); }
    /// Lets go of the block (freeing it when this was its last string) and becomes empty.
    void release() noexcept {
        if (m_block != emptyBlock() && --count() == 0)
            freeBlock(m_block);
        m_block = emptyBlock();
    }
    static void freeBlock(char* block) noexcept;
    void makeUnique();
    void setText(const char* s, std::size_t len);
    void adopt(char* block) noexcept { m_block = block; }
    int restoreText(nvstream& s, std::int32_t length); // the body of restore/restoreLong

    static char ErrorChar;

    char* m_block;
};

/// Case-blind equality of whole texts.
bool operator==(const JString& a, const char* b) noexcept;
bool operator==(const JString& a, const JString& b) noexcept;

/// The growing block of a concatenation chain. Made by JString::concat; lives until a
/// JString adopts it, its Copy() is taken, or it is destroyed.
class TempString {
public:
    /// Appends `s` in place and returns itself; null changes nothing.
    TempString& concat(const char* s);
    TempString& concat(const JString& s) { return concat(*s); }
    /// The text built so far.
    char* theString() const noexcept { return m_block + JString::kHeader; }
    /// Its length.
    int len() const noexcept;
    /// A malloc'ed copy of the text; destroys this TempString.
    char* Copy();
    /// Diagnostic of bytes held by live strings; no register is kept, so always 0.
    static unsigned int GetNumJStringBytes() noexcept { return 0; }

private:
    friend class JString;
    /// Copies the block pointer, without counting.
    TempString& operator=(const TempString& t) noexcept {
        m_block = t.m_block;
        return *this;
    }
    TempString() noexcept : m_block(nullptr) {}
    TempString(const char* a, const char* b);
    ~TempString() = default;
    TempString(const TempString&) = delete;
    static void* operator new(std::size_t size);
    static void operator delete(void* p) noexcept;

    void Destroy() noexcept;
    void SetString(const char* s);
    void initref() noexcept;
    void incref() noexcept;
    void decref() noexcept;
    int refcount() const noexcept;
    int blocksize() const noexcept { return len() + JString::kHeader; }

    char* m_block;
};

/// Hashing consistent with JString's case-blind equality, for unordered containers.
template <> struct std::hash<JString> {
    std::size_t operator()(const JString& s) const noexcept { return s.hashValue(); }
};
