// Engineering notation: the reader (sp_ConvertEngToReal, sp_GetEngToken), the writers
// (sp_FormatEng, sp_ConvertRealToJSEng, sp_FormatReal) and two small conversions.

#include "EngNotation.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace nvsupport::detail {

// The engineering suffix table: one position per power of 1000 from 10^-18 to 10^12.
inline constexpr int kEngPositions = 11;
inline constexpr int kUnitPosition = 6; // 10^0, no letter
inline constexpr std::array<char, kEngPositions> kEngLetters = {'a', 'f', 'p', 'n', 'u', 'm',
                                                                0,   'k', 'M', 'G', 'T'};
// What the writers emit for each position.
inline constexpr std::array<const char*, kEngPositions> kEngSuffixes = {
    "a", "f", "p", "n", "u", "m", "", "k", "Meg", "G", "T"};

// Multipliers of the reader: 1e-18 times 1000 once per position, each product rounded to
// double. This is deliberately not the exact power of ten (u is 1.0000000000000002e-06,
// k is 1000.0000000000002), so that values keep the bits callers have always seen.
constexpr std::array<double, kEngPositions> makeEngMultipliers() {
    std::array<double, kEngPositions> m{};
    double v = 1e-18;
    for (int i = 0; i < kEngPositions; ++i) {
        m[i] = v;
        v *= 1000.0;
    }
    return m;
}
inline constexpr std::array<double, kEngPositions> kEngMultipliers = makeEngMultipliers();

constexpr char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// Byte -> table position for the reader, -1 for none. Letters compare without regard to
// case and the table is scanned from position 0, so 'M' and 'm' both give milli.
constexpr std::array<signed char, 256> makeSuffixLookup() {
    std::array<signed char, 256> t{};
    for (auto& x : t)
        x = -1;
    for (int c = 0; c < 256; ++c) {
        for (int pos = 0; pos < kEngPositions; ++pos) {
            if (pos == kUnitPosition)
                continue;
            if (asciiLower(char(c)) == asciiLower(kEngLetters[pos])) {
                t[c] = static_cast<signed char>(pos);
                break;
            }
        }
    }
    return t;
}
inline constexpr std::array<signed char, 256> kSuffixLookup = makeSuffixLookup();

// 10^0 .. 10^22, all exact in a double.
constexpr std::array<double, 23> makeExactPowers() {
    std::array<double, 23> p{};
    double v = 1.0;
    for (auto& x : p) {
        x = v;
        v *= 10.0;
    }
    return p;
}
inline constexpr std::array<double, 23> kExactPowers = makeExactPowers();

inline bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
inline bool isAlpha(unsigned char c) {
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}
inline bool isSpace(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
inline bool lowerIs(unsigned char c, char lower) {
    return (c | 0x20) == lower;
}

// Case-blind match of a three-letter lower-case word; stops at the first mismatch, so it
// never reads past the text's terminator.
inline bool matchWord(const char* p, const char* word) {
    return lowerIs(p[0], word[0]) && lowerIs(p[1], word[1]) && lowerIs(p[2], word[2]);
}

struct NumericPart {
    const char* end = nullptr; // just past the numeric part; null when there is none
    double value = 0.0;
    bool negative = false;
};

// Converts the unsigned decimal span [first, last) (digits, point, exponent with e/E/d/D)
// correctly rounded. Used when the one-pass fast path cannot be exact.
double convertSpan(const char* first, const char* last, const char* expLetter,
                   long long decimalMagnitude) {
    double v = 0.0;
    std::from_chars_result r;
    if (expLetter && (*expLetter == 'd' || *expLetter == 'D')) {
        // std::from_chars knows only e/E exponents: convert a copy with the letter replaced.
        std::string copy(first, last);
        copy[std::size_t(expLetter - first)] = 'e';
        r = std::from_chars(copy.data(), copy.data() + copy.size(), v, std::chars_format::general);
    } else {
        r = std::from_chars(first, last, v, std::chars_format::general);
    }
    if (r.ec == std::errc::result_out_of_range) {
        // Out of range is overflow or underflow; the decimal magnitude tells which (it is
        // far from 0 either way). Same results as strtod: HUGE_VAL or 0.
        v = decimalMagnitude >= 0 ? HUGE_VAL : 0.0;
    }
    return v;
}

// Reads the numeric part: optional white space, optional sign, digits with an optional
// point, and an optional exponent (e, E, d or D, optional sign, at least one digit).
// Hexadecimal, inf and nan are not numbers. One pass gathers up to 19 significant digits;
// when they and the exponent allow an exact double computation (Clinger's fast path) the
// value is computed directly, otherwise the exact span goes to std::from_chars.
NumericPart readNumericPart(const char* text) {
    NumericPart out;
    const char* p = text;
    while (isSpace(static_cast<unsigned char>(*p)))
        ++p;
    if (*p == '+' || *p == '-') {
        out.negative = (*p == '-');
        ++p;
    }
    const char* first = p;

    std::uint64_t mant = 0;
    int sigDigits = 0;      // significant digits held in mant (at most 19)
    long long scale = 0;    // decimal exponent adjustment for mant
    bool truncated = false; // significant digits beyond the 19 held
    bool anyDigit = false;
    bool seenNonZero = false;
    long long intDigits = 0; // digits before the point after leading zeros
    long long fracZeros = 0; // zeros after the point before the first significant digit

    for (; isDigit(static_cast<unsigned char>(*p)); ++p) {
        anyDigit = true;
        const unsigned d = unsigned(*p - '0');
        if (!seenNonZero && d == 0)
            continue;
        seenNonZero = true;
        ++intDigits;
        if (sigDigits < 19) {
            mant = mant * 10 + d;
            ++sigDigits;
        } else {
            ++scale;
            truncated |= (d != 0);
        }
    }
    if (*p == '.') {
        ++p;
        for (; isDigit(static_cast<unsigned char>(*p)); ++p) {
            anyDigit = true;
            const unsigned d = unsigned(*p - '0');
            if (!seenNonZero && d == 0) {
                ++fracZeros;
                --scale;
                continue;
            }
            seenNonZero = true;
            if (sigDigits < 19) {
                mant = mant * 10 + d;
                ++sigDigits;
                --scale;
            } else {
                truncated |= (d != 0);
            }
        }
    }
    if (!anyDigit)
        return out; // "", ".", "+", "-.", "inf", "x"...

    const char* expLetter = nullptr;
    long long expValue = 0;
    {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (lowerIs(c, 'e') || lowerIs(c, 'd')) {
            const char* q = p + 1;
            bool expNeg = false;
            if (*q == '+' || *q == '-') {
                expNeg = (*q == '-');
                ++q;
            }
            if (isDigit(static_cast<unsigned char>(*q))) {
                expLetter = p;
                for (; isDigit(static_cast<unsigned char>(*q)); ++q) {
                    if (expValue < 1000000000LL) // far beyond any double; no overflow
                        expValue = expValue * 10 + (*q - '0');
                }
                if (expNeg)
                    expValue = -expValue;
                p = q;
            }
        }
    }
    out.end = p;

    if (mant == 0 && !truncated) {
        out.value = out.negative ? -0.0 : 0.0;
        return out;
    }
    const long long e10 = scale + expValue;
    double v;
    if (!truncated && mant <= (std::uint64_t(1) << 53) && e10 >= -22 && e10 <= 22) {
        // Both operands are exact, so the single operation is correctly rounded.
        v = double(mant);
        v = e10 < 0 ? v / kExactPowers[std::size_t(-e10)] : v * kExactPowers[std::size_t(e10)];
    } else {
        // Decimal position of the leading significant digit, to tell overflow from underflow.
        const long long leadMagn = (intDigits > 0 ? intDigits - 1 : -(fracZeros + 1)) + expValue;
        v = convertSpan(first, p, expLetter, leadMagn);
    }
    out.value = out.negative ? -v : v;
    return out;
}

// The fraction written after a suffix ("4k7" -> 0.7): up to 31 digits. N is accumulated
// exactly (64 bits for up to 19 digits, 128 bits beyond: 10^31 < 2^104) and rounded to
// double once; 10^d is 1.0 multiplied by 10 d times. Returns the fraction and moves *p.
double readSuffixFraction(const char*& p, bool& any) {
    std::uint64_t n64 = 0;
    int d = 0;
    while (d < 19 && isDigit(static_cast<unsigned char>(*p))) {
        n64 = n64 * 10 + unsigned(*p - '0');
        ++d;
        ++p;
    }
    any = d > 0;
    if (!any)
        return 0.0;
    double n;
    if (d == 19 && isDigit(static_cast<unsigned char>(*p))) {
        __extension__ typedef unsigned __int128 u128;
        u128 wide = n64;
        while (d < 31 && isDigit(static_cast<unsigned char>(*p))) {
            wide = wide * 10 + unsigned(*p - '0');
            ++d;
            ++p;
        }
        n = double(wide);
    } else {
        n = double(n64);
    }
    double pow10 = 1.0;
    for (int i = 0; i < d; ++i)
        pow10 *= 10.0;
    return n / pow10;
}

// 10^|e| by repeated squaring of 10.
double powerOfTenBySquaring(int e) {
    unsigned n = e < 0 ? unsigned(-e) : unsigned(e);
    double result = 1.0;
    double base = 10.0;
    while (n) {
        if (n & 1u)
            result *= base;
        n >>= 1;
        if (n)
            base *= base;
    }
    return result;
}

// value / 10^e, where for negative e the divisor is 1 / 10^|e|. When 10^|e| overflows
// (only for magnitudes below about 1e-306), the value is scaled in two steps instead of
// dividing by 1/inf = 0, so such values still get a finite mantissa.
double scaleByPowerOfTen(double value, int e) {
    if (e >= 0)
        return value / powerOfTenBySquaring(e);
    const double p = powerOfTenBySquaring(e);
    if (std::isinf(p)) {
        const int half = -e / 2;
        return (value * powerOfTenBySquaring(half)) * powerOfTenBySquaring(-e - half);
    }
    return value / (1.0 / p);
}

// floor(log10(|x|)) + 1, or 0 for 0: the count of integer digits.
long long integerDigits(double x) {
    x = std::fabs(x);
    if (x == 0.0)
        return 0;
    return static_cast<long long>(std::floor(std::log10(x))) + 1;
}

// Appends `value` as "%.*g" at `digits` significant digits would write it in the C locale
// (std::to_chars gives exactly that text, whatever locale the host has set, so the reader
// can read it back). A digit count of 0 means 1; a negative one means the default, 6.
// Counts above 1100 are clamped without changing the text: a double's exact decimal
// expansion has at most 767 significant digits and %g drops trailing zeros, and the style
// choice is the same since the decimal exponent never exceeds 308.
void appendG(std::string& out, double value, long long digits) {
    const int precision = digits < 0 ? 6 : int(std::min<long long>(digits, 1100));
    char buf[1600]; // at most 1100 digits, sign, point, "0.000" and an exponent
    const std::to_chars_result r =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, precision);
    if (r.ec == std::errc())
        out.append(buf, r.ptr);
}

// "E" followed by the decimal exponent, as in E15 or E-21.
std::string exponentSuffix(int e) {
    char buf[16] = {'E'};
    const std::to_chars_result r = std::to_chars(buf + 1, buf + sizeof buf, e);
    return std::string(buf, r.ptr);
}

void padTo(std::string& s, long long width, char fill) {
    if (width > 0 && s.size() < std::size_t(width))
        s.append(std::size_t(width) - s.size(), fill);
}

JString toJString(const std::string& s) {
    return JString(s.c_str());
}

// Text for NaN and infinities in the engineering writers: "nan", "inf" or "-inf" (the sign
// of a NaN is not shown).
const char* nonFiniteText(double value) {
    if (std::isnan(value))
        return "nan";
    return value < 0 ? "-inf" : "inf";
}

} // namespace nvsupport::detail

using namespace nvsupport::detail;

double sp_ConvertEngToReal(const char* text, char** end) {
    if (!text) {
        if (end)
            *end = nullptr;
        return 0.0;
    }
    auto nothing = [&]() {
        if (end)
            *end = const_cast<char*>(text);
        return 0.0;
    };
    if (matchWord(text, "inf") || matchWord(text, "nan"))
        return nothing();

    const NumericPart num = readNumericPart(text);
    if (!num.end)
        return nothing();

    const char* p = num.end;
    auto finish = [&](double v) {
        if (end)
            *end = const_cast<char*>(p);
        return v;
    };

    const unsigned char c = static_cast<unsigned char>(*p);
    if (c == 0)
        return finish(num.value);

    double multiplier;
    if (matchWord(p, "meg")) {
        multiplier = 1e6;
        p += 3;
    } else if (matchWord(p, "mil")) {
        multiplier = 2.54e-5;
        p += 3;
    } else if (const int pos = kSuffixLookup[c]; pos >= 0) {
        multiplier = kEngMultipliers[std::size_t(pos)];
        ++p;
    } else if (isAlpha(c)) {
        multiplier = 1.0; // a unit or separator letter: 2V5, 4R7, 10Volts
        ++p;
    } else {
        return finish(num.value); // a suffix must follow the number directly
    }

    bool anyDigits = false;
    const double fraction = readSuffixFraction(p, anyDigits);
    if (!anyDigits)
        return finish(num.value * multiplier);
    // The fraction extends the magnitude: -4k7 is -(4 + 0.7) k.
    const double magnitude = std::fabs(num.value) + fraction;
    return finish((num.negative ? -magnitude : magnitude) * multiplier);
}

double sp_GetEngToken(char** cursor, bool* failed) {
    if (!cursor || !*cursor) {
        if (failed)
            *failed = true;
        return 0.0;
    }
    char* start = *cursor;
    char* end = start;
    const double v = sp_ConvertEngToReal(start, &end);
    if (end == start) {
        if (failed)
            *failed = true;
        return 0.0;
    }
    while (isAlpha(static_cast<unsigned char>(*end)) || *end == '_')
        ++end;
    *cursor = end;
    if (failed)
        *failed = false;
    return v;
}

JString sp_FormatEng(double value, int width, bool allowPercent, bool fillWithZeros) {
    std::string out;
    if (!std::isfinite(value)) {
        out = nonFiniteText(value);
        padTo(out, width, ' ');
        return toJString(out);
    }
    const bool negative = value < 0;
    double magnitude = negative ? -value : value;
    int group = 0;
    if (magnitude < 1e-300)
        magnitude = 0.0;
    else
        group = int(std::floor(std::log10(magnitude) / 3.0));

    int e = 3 * group;
    std::string suffix;
    if (allowPercent && magnitude >= 1e-7 && magnitude < 10.0) {
        if (magnitude >= 0.001) {
            e = -2;
            suffix = "%";
        } else {
            e = -6;
            suffix = "ppm";
        }
    } else if (group + kUnitPosition >= 0 && group + kUnitPosition < kEngPositions) {
        suffix = kEngSuffixes[std::size_t(group + kUnitPosition)];
    } else {
        suffix = exponentSuffix(e);
    }
    const long long suffixLen = static_cast<long long>(suffix.size());

    const double scaled = scaleByPowerOfTen(negative ? -magnitude : magnitude, e);

    long long w = static_cast<long long>(width) - 1;
    if (width < 4)
        w = std::max(w, integerDigits(scaled));
    const long long digits = std::max<long long>(3, w - suffixLen - (negative ? 1 : 0) -
                                                        (std::fabs(scaled) < 1.0 ? 1 : 0));

    if (!fillWithZeros) {
        appendG(out, scaled, digits);
        out += suffix;
        padTo(out, w + 1, ' ');
    } else {
        appendG(out, scaled, digits);
        const long long target = w + 1 - suffixLen;
        if (static_cast<long long>(out.size()) < target) {
            if (out.find('.') == std::string::npos)
                out += '.';
            padTo(out, target, '0');
        }
        out += suffix;
    }
    return toJString(out);
}

JString sp_ConvertRealToJSEng(double value, int precision, bool exponentOnly) {
    if (value == 0.0)
        return JString("0");
    if (!std::isfinite(value))
        return JString(nonFiniteText(value));
    const bool negative = value < 0;
    const double magnitude = negative ? -value : value;
    const int group = int(std::floor(std::log10(magnitude) / 3.0));
    const int e = 3 * group;

    std::string suffix;
    if (exponentOnly || group + kUnitPosition < 0 || group + kUnitPosition >= kEngPositions) {
        suffix = exponentSuffix(e);
    } else {
        suffix = kEngSuffixes[std::size_t(group + kUnitPosition)];
    }
    const double scaled = scaleByPowerOfTen(value, e);

    long long digits = precision;
    if (precision < 3)
        digits = std::max(digits, integerDigits(scaled));

    std::string out;
    appendG(out, scaled, digits);
    out += suffix;
    return toJString(out);
}

JString sp_FormatReal(double value, int width, bool asPercent) {
    const long long w = width;
    long long p = value < 0 ? w - 3 : w - 2;
    std::string out;
    if (!asPercent) {
        appendG(out, value, p);
        while (static_cast<long long>(out.size()) > w - 1 && p > 0) {
            --p;
            out.clear();
            appendG(out, value, p);
        }
    } else {
        const double percent = value * 100.0;
        --p;
        appendG(out, percent, p);
        out += '%';
        if (static_cast<long long>(out.size()) - 1 > w - 1) {
            while (p > 0) {
                --p;
                out.clear();
                appendG(out, percent, p);
                out += '%';
                if (static_cast<long long>(out.size()) <= w - 1)
                    break;
            }
        }
    }
    padTo(out, w, ' ');
    return toJString(out);
}

JString sp_itoa64(std::int64_t value) {
    if (value == 0)
        return JString("0");
    char buf[64];
    char* p = buf + sizeof buf;
    *--p = 0;
    std::uint64_t magnitude =
        value < 0 ? std::uint64_t(0) - std::uint64_t(value) : std::uint64_t(value);
    while (magnitude) {
        *--p = char('0' + magnitude % 10);
        magnitude /= 10;
    }
    if (value < 0)
        *--p = '-';
    return JString(p);
}

JString sp_GetVlPrecStringFromResolution(double seconds) {
    struct Row {
        double lower; // exclusive
        double upper; // inclusive
        const char* word;
    };
    static constexpr Row kRows[] = {
        {9.999e-16, 9.999e-15, "1fs"},   {9.999e-15, 9.999e-14, "10fs"},
        {9.999e-14, 9.999e-13, "100fs"}, {9.999e-13, 9.999e-12, "1ps"},
        {9.999e-12, 9.999e-11, "10ps"},  {9.999e-11, 9.999e-10, "100ps"},
        {9.999e-10, 9.999e-09, "1ns"},   {9.999e-09, 9.999e-08, "10ns"},
        {9.999e-08, 9.999e-07, "100ns"}, {9.999e-07, 9.999e-06, "1us"},
        {9.999e-06, 9.999e-05, "10us"},  {9.999e-05, 0.0009999, "100us"},
        {0.0009999, 0.009999, "1ms"},    {0.009999, 0.09999, "10ms"},
        {0.09999, 0.9999, "100ms"},      {0.9999, 9.999, "1s"},
        {9.999, 99.99, "10s"},           {99.99, 100.1, "100s"},
    };
    for (const Row& r : kRows) {
        if (r.lower < seconds && seconds <= r.upper)
            return JString(r.word);
    }
    return JString();
}
