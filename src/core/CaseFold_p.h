// Letter-case folding used by every case-blind comparison and hash of the library.
// Only the ASCII letters fold: that is what the runtime's toupper/tolower do for single
// bytes in the C and UTF-8 locales, and it keeps results independent of the locale.
#pragma once

#include <cstdint>
#include <cstring>

namespace nvsupport::detail {

/// Upper-case of an ASCII letter; any other value (negative bytes included) unchanged.
constexpr int asciiUpper(int c) noexcept {
    return (c >= 'a' && c <= 'z') ? c - 32 : c;
}

/// Lower-case of an ASCII letter; any other value unchanged.
constexpr int asciiLower(int c) noexcept {
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

/// strcasecmp over ASCII letters: <0, 0 or >0, bytes compared as unsigned after folding.
inline int caseBlindCompare(const char* a, const char* b) noexcept {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    for (;; ++x, ++y) {
        int cx = asciiLower(*x), cy = asciiLower(*y);
        if (cx != cy || cx == 0)
            return cx - cy;
    }
}

/// Eight bytes with their ASCII capitals made small, all at once.
constexpr std::uint64_t asciiLower8(std::uint64_t x) noexcept {
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    std::uint64_t low7 = x & (0x7F * ones);
    std::uint64_t aboveZ = low7 + (0x7F - 'Z') * ones; // high bit set where byte > 'Z'
    std::uint64_t fromA = low7 + (0x80 - 'A') * ones;  // high bit set where byte >= 'A'
    std::uint64_t upper = (fromA ^ aboveZ) & ~x & (0x80 * ones);
    return x | (upper >> 2);
}

/// Whether two texts are equal without regard to ASCII letter case.
inline bool caseBlindEqual(const char* a, const char* b) noexcept {
    std::size_t n = std::strlen(a);
    if (n != std::strlen(b))
        return false;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y && asciiLower8(x) != asciiLower8(y))
            return false;
    }
    for (; i < n; ++i)
        if (asciiLower(static_cast<unsigned char>(a[i])) !=
            asciiLower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace nvsupport::detail
