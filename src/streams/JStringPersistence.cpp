// The persistent forms of JString on a stream: a length (16-bit or 32-bit, host order) and
// the text bytes, both moved through the stream's buffer so the stream's character count
// is not touched.
#include "../core/JString.h"
#include "nvbuf.h"
#include "nvstream.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kShortMax = 32767;
// A length field may claim far more bytes than the stream holds: the text block starts at
// this size and doubles as bytes actually arrive, so a bad length costs no huge allocation.
constexpr std::size_t kFirstChunk = std::size_t(1) << 16;
constexpr std::size_t kHeader = 4; // the count word of a string block

void writeForm(nvstream& s, const void* length, unsigned int lengthBytes, const char* text,
               unsigned int n) {
    nvbuf* b = s.rdbuf();
    if (!b)
        return;
    b->write(static_cast<const char*>(length), lengthBytes);
    if (n)
        b->write(text, n);
}

// Reads the length field whole. False when the stream has no buffer, fewer bytes arrive,
// the buffer is closed, or it is at end of input; with a decode hook, unread bytes of the
// current line count as input still there (the stream's eof() answers exactly that).
bool readLength(nvstream& s, void* out, unsigned int size) {
    nvbuf* b = s.rdbuf();
    if (!b)
        return false;
    if (b->read(static_cast<char*>(out), size) != size)
        return false;
    return static_cast<bool>(*b) && !s.eof();
}

// A new string block (count 1) holding the next `n` bytes of the buffer, NUL-terminated;
// null when fewer arrive or memory runs out.
char* readTextBlock(nvbuf& b, std::size_t n) {
    std::size_t capacity = std::min(n, kFirstChunk);
    char* block = static_cast<char*>(std::malloc(capacity + kHeader + 1));
    if (!block)
        return nullptr;
    std::size_t got = 0;
    while (got < n) {
        if (got == capacity) {
            capacity = std::min(n, capacity * 2);
            char* bigger = static_cast<char*>(std::realloc(block, capacity + kHeader + 1));
            if (!bigger) {
                std::free(block);
                return nullptr;
            }
            block = bigger;
        }
        const unsigned int want = static_cast<unsigned int>(capacity - got);
        const unsigned int r = b.read(block + kHeader + got, want);
        if (r == 0 || r > want) {
            std::free(block);
            return nullptr;
        }
        got += r;
    }
    const std::int32_t one = 1;
    std::memcpy(block, &one, sizeof one);
    block[kHeader + n] = 0;
    return block;
}

} // namespace

void JString::save(nvstream& s) const {
    const int n = std::min(length(), kShortMax);
    const std::int16_t field = static_cast<std::int16_t>(n);
    writeForm(s, &field, sizeof field, **this, static_cast<unsigned int>(n));
}

void JString::saveLong(nvstream& s) const {
    const std::int32_t field = length();
    writeForm(s, &field, sizeof field, **this, static_cast<unsigned int>(field));
}

int JString::restore(nvstream& s, int maxLen) {
    std::int16_t field = 0;
    if (!readLength(s, &field, sizeof field))
        return 0;
    if (maxLen != 0 && field > maxLen)
        return 0;
    return restoreText(s, field);
}

int JString::restoreLong(nvstream& s) {
    std::int32_t field = 0;
    if (!readLength(s, &field, sizeof field))
        return 0;
    return restoreText(s, field);
}

// Reads the `length` text bytes that follow a stored length: 0 or less is the empty string.
// The string changes only when the whole text could be read.
int JString::restoreText(nvstream& s, std::int32_t length) {
    if (length <= 0) {
        release();
        return 1;
    }
    char* block = readTextBlock(*s.rdbuf(), static_cast<std::size_t>(length));
    if (!block)
        return 0;
    release();
    adopt(block);
    return 1;
}
