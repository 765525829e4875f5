// Letter-case folding used by every case-blind comparison and hash of the library.
// Only the ASCII letters fold: that is what the runtime's toupper/tolower do for single
// bytes in the C and UTF-8 locales, and it keeps results independent of the locale.
#pragma once

#include <cstdint>

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

} // namespace nvsupport::detail
