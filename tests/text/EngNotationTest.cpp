#include <nvsupport/text/EngNotation.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace {

// The reader's multipliers: 1e-18 times 1000 per position, each product rounded.
constexpr double kA = 1e-18, kF = 1e-15, kP = 1e-12, kN = 1e-09;
constexpr double kU = 1.0000000000000002e-06, kM = 0.0010000000000000002;
constexpr double kK = 1000.0000000000002, kG = 1000000000.0000002, kT = 1000000000000.0002;

struct Read {
    double value;
    long consumed; // bytes consumed, -1 when the end position was not the start or beyond
};

Read read(const char* text) {
    char* end = nullptr;
    const double v = sp_ConvertEngToReal(text, &end);
    return {v, static_cast<long>(end - text)};
}

#define EXPECT_READ(text, expectedValue, expectedConsumed)                                         \
    do {                                                                                           \
        const Read r_ = read(text);                                                                \
        EXPECT_EQ(r_.value, (expectedValue)) << "text: \"" << (text) << "\"";                      \
        EXPECT_EQ(r_.consumed, (expectedConsumed)) << "text: \"" << (text) << "\"";                \
    } while (0)

TEST(EngNotationTest, SuffixLettersMultiplyIgnoringCase) {
    EXPECT_READ("1a", kA, 2);
    EXPECT_READ("1f", kF, 2);
    EXPECT_READ("1p", kP, 2);
    EXPECT_READ("1n", kN, 2);
    EXPECT_READ("1u", kU, 2);
    EXPECT_READ("1m", kM, 2);
    EXPECT_READ("1k", kK, 2);
    EXPECT_READ("1g", kG, 2);
    EXPECT_READ("1t", kT, 2);
    EXPECT_READ("1P", kP, 2);
    EXPECT_READ("1K", kK, 2);
    EXPECT_READ("1G", kG, 2);
    EXPECT_READ("1T", kT, 2);
    // Upper-case M is milli, F femto and A atto: not mega, farad or ampere.
    EXPECT_READ("1M", kM, 2);
    EXPECT_READ("1F", kF, 2);
    EXPECT_READ("10A", 10 * kA, 3);
    EXPECT_READ("2.2n", 2.2 * kN, 4);
    EXPECT_READ("10u", 10 * kU, 3);
    EXPECT_READ("-3p", -3 * kP, 3);
}

TEST(EngNotationTest, MegAndMilWordsComeFirst) {
    EXPECT_READ("1meg", 1e6, 4);
    EXPECT_READ("1MEG", 1e6, 4);
    EXPECT_READ("1Meg", 1e6, 4);
    EXPECT_READ("2.5megohm", 2.5e6, 6); // "ohm" is left for the caller
    EXPECT_READ("1mil", 2.54e-5, 4);
    EXPECT_READ("1MIL", 2.54e-5, 4);
    EXPECT_READ("100mil", 100 * 2.54e-5, 6);
    EXPECT_READ("1Me", kM, 2); // not "meg": milli, end at the e
    EXPECT_READ("1mi", kM, 2);
    EXPECT_READ("1me", kM, 2); // the word match stops at the terminator
    EXPECT_READ("1meg5", (1 + 0.5) * 1e6, 5);
    EXPECT_READ("2mil5", (2 + 0.5) * 2.54e-5, 5);
}

TEST(EngNotationTest, DigitsAfterSuffixAreAFraction) {
    EXPECT_READ("4k7", 4700.000000000001, 3);
    EXPECT_READ("4k7", (4 + 0.7) * kK, 3);
    EXPECT_READ("1k0047", (1 + 0.0047) * kK, 6);
    EXPECT_READ("2V5", 2.5, 3);
    EXPECT_READ("4R7", 4.7, 3);
    EXPECT_READ("4r7", 4.7, 3);
    EXPECT_READ("1n5", 1.5 * kN, 3);
    EXPECT_READ("3u3F", (3 + 0.3) * kU, 3);
    // A zero before the suffix reads like any other number.
    EXPECT_READ("0k5", 0.5 * kK, 3);
    EXPECT_READ("0u", 0.0, 2);
    EXPECT_READ("0R22", 0.22, 4);
    // A negative number's fraction extends its magnitude.
    EXPECT_READ("-4k7", -4700.000000000001, 4);
    EXPECT_READ("-2V5", -2.5, 4);
    EXPECT_READ("-0k5", -0.5 * kK, 4);
}

TEST(EngNotationTest, LongFractionsAfterSuffixStopAfter31Digits) {
    // 20 nines exceed 64 bits; the fraction rounds to 1, not to a wrapped value.
    EXPECT_READ("2V99999999999999999999", 3.0, 22);
    // 31 digits: 5 * 10^30 / 10^31.
    const std::string half = "1k5" + std::string(30, '0');
    EXPECT_READ(half.c_str(), 1.5 * kK, 33);
    // 40 digits: only 31 are read.
    const std::string ones = "1V" + std::string(40, '1');
    const Read r = read(ones.c_str());
    EXPECT_EQ(r.consumed, 2 + 31);
    EXPECT_DOUBLE_EQ(r.value, 1.0 + 1.0 / 9.0);
    // 19 digits still fit 64 bits exactly.
    EXPECT_READ("1V5000000000000000000", 1.5, 21);
}

TEST(EngNotationTest, OtherLettersAndUnits) {
    EXPECT_READ("10V", 10.0, 3);
    EXPECT_READ("10Volts", 10.0, 3); // one letter consumed, end at "olts"
    EXPECT_READ("10uF", 10 * kU, 3);
    EXPECT_READ("5Hz", 5.0, 2);
    EXPECT_READ("1e", 1.0, 2); // no exponent digits: the e is a letter
    EXPECT_READ("1e+", 1.0, 2);
    EXPECT_READ("1E-x", 1.0, 2);
    EXPECT_READ("1e-3d", 0.001, 5); // d is not in the table: a plain letter
    EXPECT_READ("1e-3d5", 0.001 + 0.5, 6);
    EXPECT_READ("0x1A", 0.1, 3);  // x is a letter and 1 its fraction; hex is not read
    EXPECT_READ("7_ohm", 7.0, 1); // '_' ends the number
    EXPECT_READ("1.5 k", 1.5, 3); // a suffix must follow directly
    EXPECT_READ("3,4", 3.0, 1);
}

TEST(EngNotationTest, NumericPartIsStrict) {
    EXPECT_READ("  12", 12.0, 4);
    EXPECT_READ("\t\n\v\f\r 7", 7.0, 7);
    EXPECT_READ("+.5e+2k", 50 * kK, 7);
    EXPECT_READ("1.", 1.0, 2);
    EXPECT_READ(".5", 0.5, 2);
    EXPECT_READ("-.25", -0.25, 4);
    EXPECT_READ("1.5", 1.5, 3);
    EXPECT_READ("00012", 12.0, 5);
    EXPECT_READ("1d3", 1000.0, 3);
    EXPECT_READ("1D-2", 0.01, 4);
    EXPECT_READ("2.5E+3", 2500.0, 6);
    EXPECT_READ("1.e2", 100.0, 4);
    EXPECT_READ("0.1", 0.1, 3);
    EXPECT_READ("3.14159", 3.14159, 7);
    EXPECT_READ("1e-12", 1e-12, 5);
    EXPECT_READ("-0", -0.0, 2);
    EXPECT_TRUE(std::signbit(read("-0").value));
    // Hard cases for rounding go through the exact conversion.
    EXPECT_READ("123456789012345678901234567890", 123456789012345678901234567890.0, 30);
    EXPECT_READ("9007199254740993", 9007199254740993.0, 16);
    EXPECT_READ("2.2250738585072011e-308", 2.2250738585072011e-308, 23);
    EXPECT_READ("4.9e-324", std::numeric_limits<double>::denorm_min(), 8);
    EXPECT_READ("0.000000000000000000000000000001", 1e-30, 32);
    EXPECT_READ("1.7976931348623157e308", std::numeric_limits<double>::max(), 22);
    EXPECT_READ("8.5d-5", 8.5e-5, 6);
    EXPECT_READ("123456789012345678901d-30", 123456789012345678901e-30, 25);
    // Out of range: infinity or zero, as strtod.
    EXPECT_READ("1e400", HUGE_VAL, 5);
    EXPECT_READ("-1D400", -HUGE_VAL, 6);
    EXPECT_READ("1e-400", 0.0, 6);
    EXPECT_READ("1e99999999999999999999", HUGE_VAL, 22);
}

TEST(EngNotationTest, NothingReadGivesZeroAtStart) {
    for (const char* text :
         {"",    "abc", ".",        "+",        "-",    "-.e5", "e5",   " ",    "k",        "inf",
          "INF", "NaN", "nan(123)", "Infinity", "info", " inf", "-inf", "+nan", "\xC2\xB5", "_1"}) {
        EXPECT_READ(text, 0.0, 0);
    }
    EXPECT_EQ(sp_ConvertEngToReal(nullptr, nullptr), 0.0);
    char* end = reinterpret_cast<char*>(1);
    EXPECT_EQ(sp_ConvertEngToReal(nullptr, &end), 0.0);
    EXPECT_EQ(end, nullptr);
    EXPECT_EQ(sp_ConvertEngToReal("4k7", nullptr), 4700.000000000001);
}

TEST(EngNotationTest, BytesAbove127EndTheNumber) {
    EXPECT_READ("12\xC2\xB5"
                "F",
                12.0, 2); // µ in UTF-8 is not a suffix
    EXPECT_READ("5\xE9", 5.0, 1);
    EXPECT_READ("5k\xFF", 5 * kK, 2);
    EXPECT_READ("\xA0"
                "5",
                0.0, 0);
}

TEST(EngNotationTest, HugeTextsReadInOnePass) {
    const std::string digits(1 << 20, '1');
    EXPECT_READ(digits.c_str(), HUGE_VAL, long(digits.size()));

    const std::string tiny = "0." + std::string(1 << 20, '0') + "1k";
    EXPECT_READ(tiny.c_str(), 0.0, long(tiny.size()));

    // A megabyte of digits with a point in the middle is still one number.
    std::string mixed(1 << 20, '3');
    mixed[mixed.size() / 2] = '.';
    const Read r = read(mixed.c_str());
    EXPECT_EQ(r.consumed, long(mixed.size()));
    EXPECT_TRUE(std::isinf(r.value));

    // A long run of zeros then a short number stays exact.
    const std::string zeros = std::string(1 << 20, '0') + "4k7";
    EXPECT_READ(zeros.c_str(), 4700.000000000001, long(zeros.size()));
}

TEST(EngNotationTest, GetEngTokenSkipsUnitLetters) {
    char text[] = "10Volts rest";
    char* cursor = text;
    bool failed = true;
    EXPECT_EQ(sp_GetEngToken(&cursor, &failed), 10.0);
    EXPECT_FALSE(failed);
    EXPECT_EQ(cursor, text + 7);

    char ohms[] = "4k7_ohm_s,next";
    cursor = ohms;
    EXPECT_EQ(sp_GetEngToken(&cursor, &failed), 4700.000000000001);
    EXPECT_FALSE(failed);
    EXPECT_STREQ(cursor, ",next");

    char farads[] = "  10uF";
    cursor = farads;
    EXPECT_EQ(sp_GetEngToken(&cursor, &failed), 10 * kU);
    EXPECT_EQ(*cursor, '\0');

    char spaced[] = "1.5 k";
    cursor = spaced;
    EXPECT_EQ(sp_GetEngToken(&cursor, &failed), 1.5);
    EXPECT_STREQ(cursor, " k");

    for (const char* bad : {"abc", "", "inf", "-"}) {
        std::string copy(bad);
        cursor = copy.data();
        failed = false;
        EXPECT_EQ(sp_GetEngToken(&cursor, &failed), 0.0);
        EXPECT_TRUE(failed) << bad;
        EXPECT_EQ(cursor, copy.data());
    }

    failed = false;
    EXPECT_EQ(sp_GetEngToken(nullptr, &failed), 0.0);
    EXPECT_TRUE(failed);
    char* null = nullptr;
    failed = false;
    EXPECT_EQ(sp_GetEngToken(&null, &failed), 0.0);
    EXPECT_TRUE(failed);
}

std::string fmtEng(double v, int width, bool percent = false, bool zeros = false) {
    return *sp_FormatEng(v, width, percent, zeros);
}

TEST(EngNotationTest, FormatEngExamples) {
    EXPECT_EQ(fmtEng(1234.6, 6), "1.235k");
    EXPECT_EQ(fmtEng(1000, 6, false, true), "1.000k");
    EXPECT_EQ(fmtEng(1000, 6), "1k    ");
    EXPECT_EQ(fmtEng(2.2e-9, 6), "2.2n  ");
    EXPECT_EQ(fmtEng(0.05, 6, true), "5%    ");
    EXPECT_EQ(fmtEng(1e15, 6), "1E15  ");
    EXPECT_EQ(fmtEng(-1234.6, 7), "-1.235k");
    EXPECT_EQ(fmtEng(1234.5, 6), "1.234k"); // 1.2345 is held just below the halfway point
    EXPECT_EQ(fmtEng(0, 6), "0     ");
    EXPECT_EQ(fmtEng(1e-21, 6), "1E-21 ");
    EXPECT_EQ(fmtEng(1e-301, 6), "0     ");
    EXPECT_EQ(fmtEng(4.7e6, 6), "4.7Meg");
    EXPECT_EQ(fmtEng(1e6, 8), "1Meg    ");
    EXPECT_EQ(fmtEng(1, 6), "1     ");
    EXPECT_EQ(fmtEng(3.3e12, 6), "3.3T  ");
    EXPECT_EQ(fmtEng(1e-18, 6), "1a    ");
    EXPECT_EQ(fmtEng(999e-21, 8), "999E-21 ");
    EXPECT_EQ(fmtEng(0.5, 6), "500m  ");
    EXPECT_EQ(fmtEng(1e300, 8), "1E300   ");
}

TEST(EngNotationTest, FormatEngDigitCount) {
    // W - suffix - sign - (1 when the scaled value is below 1), at least 3.
    EXPECT_EQ(fmtEng(1.23456789, 10), "1.23456789");
    EXPECT_EQ(fmtEng(-1.23456789, 10), "-1.2345679");
    EXPECT_EQ(fmtEng(123456.789, 10), "123.45679k");
    EXPECT_EQ(fmtEng(1.23456789e15, 10), "1.23457E15");
    EXPECT_EQ(fmtEng(-1.23456789e-9, 4), "-1.23n");
    // Values taken as 0 below 1e-300 keep their sign.
    EXPECT_EQ(fmtEng(-1e-301, 6), "-0    ");
    EXPECT_EQ(fmtEng(-0.0, 6), "0     ");
}

TEST(EngNotationTest, FormatEngNarrowWidths) {
    // Below width 4 the working width grows to the integer digits of the scaled value.
    EXPECT_EQ(fmtEng(123, 3), "123 ");
    EXPECT_EQ(fmtEng(123, 2), "123 ");
    EXPECT_EQ(fmtEng(123, 1), "123 ");
    EXPECT_EQ(fmtEng(1234.6, 1), "1.23k");
    EXPECT_EQ(fmtEng(1234.6, 3), "1.23k");
    EXPECT_EQ(fmtEng(5, 2), "5 ");
    EXPECT_EQ(fmtEng(0, 1), "0");
    EXPECT_EQ(fmtEng(0, 0), "0");
    EXPECT_EQ(fmtEng(0.5, -5), "500m");
    EXPECT_EQ(fmtEng(-47e3, 3, false, true), "-47k"); // already 3 characters
    EXPECT_EQ(fmtEng(1234.6, 4), "1.23k");            // width 4 is not raised
}

TEST(EngNotationTest, FormatEngPercentBoundaries) {
    EXPECT_EQ(fmtEng(1e-7, 6, true), "0.1ppm");
    EXPECT_EQ(fmtEng(9.99e-8, 6, true), "99.9n ");
    EXPECT_EQ(fmtEng(0.001, 6, true), "0.1%  ");
    EXPECT_EQ(fmtEng(0.000999, 6, true), "999ppm");
    EXPECT_EQ(fmtEng(9.99, 6, true), "999%  ");
    EXPECT_EQ(fmtEng(10, 6, true), "10    ");
    EXPECT_EQ(fmtEng(-0.05, 6, true), "-5%   ");
    EXPECT_EQ(fmtEng(0.05, 6, false), "50m   ");
    EXPECT_EQ(fmtEng(0.25, 8, true, true), "25.0000%");
}

TEST(EngNotationTest, FormatEngFillWithZeros) {
    EXPECT_EQ(fmtEng(1, 6, false, true), "1.0000");
    EXPECT_EQ(fmtEng(0.5, 6, false, true), "500.0m");
    EXPECT_EQ(fmtEng(2.5, 6, false, true), "2.5000");
    EXPECT_EQ(fmtEng(-2.2e-9, 7, false, true), "-2.200n");
    EXPECT_EQ(fmtEng(1e15, 8, false, true), "1.000E15");
    EXPECT_EQ(fmtEng(0, 4, false, true), "0.00");
    // Already as long as the target: taken as it is, suffix appended.
    EXPECT_EQ(fmtEng(123456, 6, false, true), "123.5k");
    EXPECT_EQ(fmtEng(1234.56789, 4, false, true), "1.23k");
    EXPECT_EQ(fmtEng(1e-21, 4, false, true), "1E-21");
}

TEST(EngNotationTest, FormatEngNonFiniteAndHugeWidths) {
    // NaN and infinities are written as "nan", "inf" or "-inf", padded with spaces.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(fmtEng(nan, 6), "nan   ");
    EXPECT_EQ(fmtEng(-nan, 6, true, true), "nan   ");
    EXPECT_EQ(fmtEng(inf, 6), "inf   ");
    EXPECT_EQ(fmtEng(-inf, 2), "-inf");
    // A very wide field prints the value's exact decimal expansion once, then padding.
    const std::string wide = fmtEng(1.0 / 3.0, 5000);
    ASSERT_EQ(wide.size(), 5000u);
    const std::size_t m = wide.find('m');
    ASSERT_NE(m, std::string::npos);
    EXPECT_EQ(wide.substr(0, 17), "333.3333333333333");
    EXPECT_EQ(wide[m - 1], '5'); // the expansion of a binary fraction ends in 5
    EXPECT_EQ(wide.find_last_not_of(' '), m);
    const std::string wideZero = fmtEng(1.0 / 3.0, 3000, false, true);
    EXPECT_EQ(wideZero.size(), 3000u);
    EXPECT_EQ(wideZero.back(), 'm');
    EXPECT_EQ(wideZero.substr(0, m + 1), wide.substr(0, m) + "0");
    EXPECT_EQ(fmtEng(1, std::numeric_limits<int>::min()), "1 ");
}

TEST(EngNotationTest, ConvertRealToJSEng) {
    auto js = [](double v, int p, bool e = false) {
        return std::string(*sp_ConvertRealToJSEng(v, p, e));
    };
    EXPECT_EQ(js(1500, 3), "1.5k");
    EXPECT_EQ(js(1500, 3, true), "1.5E3");
    EXPECT_EQ(js(-123, 1), "-123");
    EXPECT_EQ(js(123, 1), "123");
    EXPECT_EQ(js(0, 3), "0");
    EXPECT_EQ(js(-0.0, 3, true), "0");
    EXPECT_EQ(js(5, 3, true), "5E0");
    EXPECT_EQ(js(999, 3, true), "999E0");
    EXPECT_EQ(js(2.2e-9, 3), "2.2n");
    EXPECT_EQ(js(4.7e6, 3), "4.7Meg");
    EXPECT_EQ(js(1e15, 3), "1E15");
    EXPECT_EQ(js(1e-20, 3), "10E-21");
    EXPECT_EQ(js(1234.5678, 10), "1.2345678k");
    EXPECT_EQ(js(1234.5678, 2), "1.2k");
    EXPECT_EQ(js(0.5, 0), "500m");
    EXPECT_EQ(js(0.5, -1), "500m");
    EXPECT_EQ(js(-0.001, -1), "-1m");
    EXPECT_EQ(js(123456, 1), "123k");
    EXPECT_EQ(js(1e-18, 3), "1a");
    EXPECT_EQ(js(1e12, 3), "1T");
    EXPECT_EQ(js(0.000001, 3, true), "1E-6");
    // No clamp of tiny magnitudes; even below 1e-306 the mantissa stays finite.
    EXPECT_EQ(js(1e-301, 3), "100E-303");
    EXPECT_EQ(js(1e-310, 3), "100E-312");
    EXPECT_EQ(js(std::numeric_limits<double>::denorm_min(), 3), "4.94E-324");
    EXPECT_EQ(js(std::numeric_limits<double>::max(), 3), "180E306");
    EXPECT_EQ(js(std::numeric_limits<double>::quiet_NaN(), 3), "nan");
    EXPECT_EQ(js(-std::numeric_limits<double>::infinity(), 3), "-inf");
    EXPECT_EQ(js(1.0 / 3.0, 2000).size(),
              std::string("333.33333333333331438552704639732837677001953125m").size());
}

TEST(EngNotationTest, FormatReal) {
    auto fr = [](double v, int w, bool pc = false) {
        return std::string(*sp_FormatReal(v, w, pc));
    };
    EXPECT_EQ(fr(3.14159, 6), "3.142 ");
    EXPECT_EQ(fr(-3.14159, 6), "-3.14 ");
    EXPECT_EQ(fr(123456789, 6), "1e+08 ");
    EXPECT_EQ(fr(123456789, 10), "1.235e+08 ");
    EXPECT_EQ(fr(12, 6), "12    ");
    EXPECT_EQ(fr(0, 4), "0   ");
    // Digit count 0 acts as 1; negative as the default six.
    EXPECT_EQ(fr(3.14159, 2), "3 ");
    EXPECT_EQ(fr(3.14159, 1), "3.14159");
    EXPECT_EQ(fr(-3.14159, 2), "-3.14159");
    EXPECT_EQ(fr(1e-300, 4), "1e-300");
    // Percent: the first attempt is measured without the '%', retries with it.
    EXPECT_EQ(fr(0.5, 6, true), "50%   ");
    EXPECT_EQ(fr(0.123456, 6, true), "12.3% ");
    EXPECT_EQ(fr(0.0012345, 6, true), "0.123%");
    EXPECT_EQ(fr(0.00012345, 6, true), "0.01% ");
    EXPECT_EQ(fr(1234.5678, 6, true), "1e+05%");
    EXPECT_EQ(fr(-0.5, 6, true), "-50%  ");
    // Non-finite values are written as printf writes them.
    EXPECT_EQ(fr(std::numeric_limits<double>::infinity(), 6), "inf   ");
    EXPECT_EQ(fr(-std::numeric_limits<double>::infinity(), 2), "-inf");
    EXPECT_EQ(fr(2.5, std::numeric_limits<int>::min()), "2.5");
    EXPECT_EQ(fr(1.0 / 3.0, 3000).substr(0, 20), "0.333333333333333314");
}

TEST(EngNotationTest, DecimalPointIgnoresLocale) {
    const char* chosen = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE"}) {
        if (std::setlocale(LC_NUMERIC, name)) {
            chosen = name;
            break;
        }
    }
    if (!chosen)
        GTEST_SKIP() << "no locale with a decimal comma installed";
    const std::string eng = *sp_FormatEng(2.2e-9, 6, false, false);
    const std::string js = *sp_ConvertRealToJSEng(1500, 3, false);
    const std::string real = *sp_FormatReal(3.14159, 6, false);
    const Read r = read("4.7k");
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(eng, "2.2n  ") << chosen;
    EXPECT_EQ(js, "1.5k");
    EXPECT_EQ(real, "3.142 ");
    EXPECT_EQ(r.value, 4.7 * kK);
}

TEST(EngNotationTest, Itoa64) {
    EXPECT_STREQ(*sp_itoa64(0), "0");
    EXPECT_STREQ(*sp_itoa64(7), "7");
    EXPECT_STREQ(*sp_itoa64(-1), "-1");
    EXPECT_STREQ(*sp_itoa64(1234567890123LL), "1234567890123");
    EXPECT_STREQ(*sp_itoa64(std::numeric_limits<std::int64_t>::max()), "9223372036854775807");
    EXPECT_STREQ(*sp_itoa64(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
}

TEST(EngNotationTest, VerilogPrecisionWords) {
    const struct {
        double power;
        const char* word;
    } rows[] = {{1e-15, "1fs"},  {1e-14, "10fs"},  {1e-13, "100fs"}, {1e-12, "1ps"},
                {1e-11, "10ps"}, {1e-10, "100ps"}, {1e-9, "1ns"},    {1e-8, "10ns"},
                {1e-7, "100ns"}, {1e-6, "1us"},    {1e-5, "10us"},   {1e-4, "100us"},
                {1e-3, "1ms"},   {1e-2, "10ms"},   {1e-1, "100ms"},  {1.0, "1s"},
                {10.0, "10s"},   {100.0, "100s"}};
    for (const auto& row : rows) {
        EXPECT_STREQ(*sp_GetVlPrecStringFromResolution(row.power), row.word) << row.power;
        EXPECT_STREQ(*sp_GetVlPrecStringFromResolution(row.power * 0.99995), row.word) << row.power;
        if (row.power < 100) {
            EXPECT_STREQ(*sp_GetVlPrecStringFromResolution(row.power * 3), row.word) << row.power;
            EXPECT_STREQ(*sp_GetVlPrecStringFromResolution(row.power * 9.99), row.word)
                << row.power;
        }
    }
    EXPECT_STREQ(*sp_GetVlPrecStringFromResolution(1e-9), "1ns");
    EXPECT_STREQ(*sp_GetVlPrecStringFromResolution(2e-9), "1ns");
    EXPECT_STREQ(*sp_GetVlPrecStringFromResolution(1e-8), "10ns");
    EXPECT_STREQ(*sp_GetVlPrecStringFromResolution(9.9995e-9), "10ns");
    EXPECT_STREQ(*sp_GetVlPrecStringFromResolution(1e-3), "1ms");
    EXPECT_STREQ(*sp_GetVlPrecStringFromResolution(100.1), "100s");
    for (double outside :
         {150.0, 100.2, 9.999e-16, 1e-16, 0.0, -1.0, std::numeric_limits<double>::quiet_NaN(),
          std::numeric_limits<double>::infinity()}) {
        EXPECT_STREQ(*sp_GetVlPrecStringFromResolution(outside), "") << outside;
    }
}

} // namespace
