#include <nvsupport/core/JString.h>
#include <nvsupport/text/EngNotation.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <span>
#include <string>

namespace {

// The reader's multipliers: 1e-18 times 1000 per position, each product rounded.
constexpr double kA = 1e-18, kF = 1e-15, kP = 1e-12, kN = 1e-09;
constexpr double kU = 1.0000000000000002e-06, kM = 0.0010000000000000002;
constexpr double kK = 1000.0000000000002, kG = 1000000000.0000002, kT = 1000000000000.0002;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kTiny = std::numeric_limits<double>::denorm_min();
constexpr double kMax = std::numeric_limits<double>::max();
constexpr int kIntMin = std::numeric_limits<int>::min();

// A text and its value; `count` is the bytes read, or the width or precision written.
struct Case {
    const char* text;
    double value;
    int count;
};

Case read(const char* text) {
    char* end = nullptr;
    const double v = sp_ConvertEngToReal(text, &end);
    return {text, v, static_cast<int>(end - text)};
}

void expectReads(std::span<const Case> cases) {
    for (const Case& c : cases) {
        const Case r = read(c.text);
        EXPECT_EQ(r.value, c.value) << '"' << c.text << '"';
        EXPECT_EQ(r.count, c.count) << '"' << c.text << '"';
    }
}

template <typename Writer> void expectWrites(std::span<const Case> cases, Writer write) {
    for (const Case& c : cases)
        EXPECT_EQ(std::string(*write(c.value, c.count)), c.text) << c.value << ", " << c.count;
}

TEST(EngNotationTest, SuffixesAndTheDigitsAfterThem) {
    // Upper-case M is milli, F femto and A atto. At most 31 digits after a suffix are read as
    // a fraction; 20 nines round it to 1 rather than wrapping.
    const Case letters[] = {
        {"1a", kA, 2}, {"1f", kF, 2}, {"1p", kP, 2}, {"1n", kN, 2},  {"1u", kU, 2}, {"1m", kM, 2},
        {"1k", kK, 2}, {"1g", kG, 2}, {"1t", kT, 2}, {"1P", kP, 2},  {"1K", kK, 2}, {"1G", kG, 2},
        {"1T", kT, 2}, {"1M", kM, 2}, {"1F", kF, 2}, {"1mi", kM, 2}, {"1me", kM, 2}};
    const Case words[] = {{"10A", 10 * kA, 3},  {"2.2n", 2.2 * kN, 4}, {"1meg5", 1.5e6, 5},
                          {"-3p", -3 * kP, 3},  {"1meg", 1e6, 4},      {"2mil5", 2.5 * 2.54e-5, 5},
                          {"1MEG", 1e6, 4},     {"1Meg", 1e6, 4},      {"2.5megohm", 2.5e6, 6},
                          {"1mil", 2.54e-5, 4}, {"1MIL", 2.54e-5, 4}};
    const std::string half = "1k5" + std::string(30, '0');
    const Case fractions[] = {{"2V99999999999999999999", 3.0, 22}, {"2V5", 2.5, 3},
                              {"1V5000000000000000000", 1.5, 21},  {"4R7", 4.7, 3},
                              {"4k7", 4700.000000000001, 3},       {"0k5", 0.5 * kK, 3},
                              {"-4k7", -4700.000000000001, 4},     {"-0k5", -0.5 * kK, 4},
                              {"1k0047", (1 + 0.0047) * kK, 6},    {"0u", 0.0, 2},
                              {"3u3F", (3 + 0.3) * kU, 3},         {half.c_str(), 1.5 * kK, 33}};
    expectReads(letters);
    expectReads(words);
    expectReads(fractions);
    const Case r = read(("1V" + std::string(40, '1')).c_str());
    EXPECT_EQ(r.count, 2 + 31);
    EXPECT_DOUBLE_EQ(r.value, 1.0 + 1.0 / 9.0);
}

TEST(EngNotationTest, NumericPartIsStrict) {
    const Case numbers[] = {
        {"\t\n\v\f\r 7", 7.0, 7}, {"+.5e+2k", 50 * kK, 7}, {"1.", 1.0, 2},
        {"-.25", -0.25, 4},       {"00012", 12.0, 5},      {"1D-2", 0.01, 4},
        {"2.5E+3", 2500.0, 6},    {"1.e2", 100.0, 4},      {"0.1", 0.1, 3},
        {"-0", -0.0, 2},          {"8.5d-5", 8.5e-5, 6},   {"1e400", HUGE_VAL, 5},
        {"-1D400", -HUGE_VAL, 6}, {"1e-400", 0.0, 6}};
    const Case endings[] = {
        {"10Volts", 10.0, 3},    {"10uF", 10 * kU, 3},       {"1e", 1.0, 2},
        {"1E-x", 1.0, 2},        {"1e-3d5", 0.001 + 0.5, 6}, {"0x1A", 0.1, 3},
        {"7_ohm", 7.0, 1},       {"1.5 k", 1.5, 3},          {"3,4", 3.0, 1},
        {"12\xC2\xB5", 12.0, 2}, {"5\xE9", 5.0, 1},          {"5k\xFF", 5 * kK, 2}};
    const Case exactRounding[] = {
        {"123456789012345678901234567890", 123456789012345678901234567890.0, 30},
        {"9007199254740993", 9007199254740993.0, 16},
        {"2.2250738585072011e-308", 2.2250738585072011e-308, 23},
        {"0.000000000000000000000000000001", 1e-30, 32},
        {"123456789012345678901d-30", 123456789012345678901e-30, 25},
        {"4.9e-324", kTiny, 8},
        {"1.7976931348623157e308", kMax, 22},
        {"1e99999999999999999999", HUGE_VAL, 22}};
    expectReads(numbers);
    expectReads(endings);
    expectReads(exactRounding);
    EXPECT_TRUE(std::signbit(read("-0").value));
}

TEST(EngNotationTest, NothingReadGivesZeroAtStart) {
    for (const char* text : {"",     "abc",  ".",    "+",    "-",        "-.e5",     "e5",
                             " ",    "k",    "inf",  "INF",  "NaN",      "nan(123)", "Infinity",
                             "info", " inf", "-inf", "+nan", "\xC2\xB5", "_1",       "\2405"}) {
        EXPECT_EQ(read(text).value, 0.0) << text;
        EXPECT_EQ(read(text).count, 0) << text;
    }
    EXPECT_EQ(sp_ConvertEngToReal(nullptr, nullptr), 0.0);
    char* end = reinterpret_cast<char*>(1);
    EXPECT_EQ(sp_ConvertEngToReal(nullptr, &end), 0.0);
    EXPECT_EQ(end, nullptr);
    EXPECT_EQ(sp_ConvertEngToReal("4k7", nullptr), 4700.000000000001);
}

TEST(EngNotationTest, HugeTextsReadInOnePass) {
    const std::string digits(1 << 20, '1'), tiny = "0." + std::string(1 << 20, '0') + "1k",
                                            zeros = std::string(1 << 20, '0') + "4k7";
    const Case cases[] = {{digits.c_str(), HUGE_VAL, int(digits.size())},
                          {tiny.c_str(), 0.0, int(tiny.size())},
                          {zeros.c_str(), 4700.000000000001, int(zeros.size())}};
    expectReads(cases);
    std::string mixed(1 << 20, '3');
    mixed[mixed.size() / 2] = '.';
    const Case r = read(mixed.c_str());
    EXPECT_EQ(r.count, int(mixed.size()));
    EXPECT_TRUE(std::isinf(r.value));
}

TEST(EngNotationTest, GetEngTokenSkipsUnitLetters) {
    const Case cases[] = {{"  10uF", 10 * kU, 6}, {"10Volts rest", 10.0, 7},
                          {"1.5 k", 1.5, 3},      {"4k7_ohm_s,next", 4700.000000000001, 9},
                          {"abc", 0.0, 0},        {"", 0.0, 0},
                          {"inf", 0.0, 0},        {"-", 0.0, 0}};
    for (const Case& c : cases) {
        std::string copy(c.text);
        char* cursor = copy.data();
        bool failed = c.count != 0;
        EXPECT_EQ(sp_GetEngToken(&cursor, &failed), c.value) << c.text;
        EXPECT_EQ(failed, c.count == 0) << c.text;
        EXPECT_EQ(cursor - copy.data(), c.count) << c.text;
    }
    char* null = nullptr;
    for (char** cursor : {static_cast<char**>(nullptr), &null}) {
        bool failed = false;
        EXPECT_EQ(sp_GetEngToken(cursor, &failed), 0.0);
        EXPECT_TRUE(failed);
    }
}

TEST(EngNotationTest, FormatEng) {
    // Digits: width - suffix - sign - (1 when the scaled value is below 1), at least 3.
    const Case plain[] = {
        {"1.235k", 1234.6, 6},   {"1k    ", 1000, 6},    {"1.23456789", 1.23456789, 10},
        {"2.2n  ", 2.2e-9, 6},   {"1E15  ", 1e15, 6},    {"-1.2345679", -1.23456789, 10},
        {"-1.235k", -1234.6, 7}, {"1.234k", 1234.5, 6},  {"123.45679k", 123456.789, 10},
        {"0     ", 0, 6},        {"1E-21 ", 1e-21, 6},   {"1.23457E15", 1.23456789e15, 10},
        {"0     ", 1e-301, 6},   {"-0    ", -1e-301, 6}, {"-1.23n", -1.23456789e-9, 4},
        {"0     ", -0.0, 6},     {"4.7Meg", 4.7e6, 6},   {"1     ", 1, 6},
        {"3.3T  ", 3.3e12, 6},   {"1a    ", 1e-18, 6},   {"999E-21 ", 999e-21, 8},
        {"500m  ", 0.5, 6},      {"1E300   ", 1e300, 8}, {"nan   ", kNaN, 6},
        {"inf   ", kInf, 6},     {"-inf", -kInf, 2},     {"1 ", 1, kIntMin}};
    const Case narrow[] = {{"123 ", 123, 3},  {"123 ", 123, 1},     {"1.23k", 1234.6, 1},
                           {"5 ", 5, 2},      {"0", 0, 1},          {"0", 0, 0},
                           {"500m", 0.5, -5}, {"1.23k", 1234.6, 4}, {"50m   ", 0.05, 6}};
    const Case percent[] = {{"5%    ", 0.05, 6},  {"0.1ppm", 1e-7, 6},     {"99.9n ", 9.99e-8, 6},
                            {"0.1%  ", 0.001, 6}, {"999ppm", 0.000999, 6}, {"999%  ", 9.99, 6},
                            {"10    ", 10, 6},    {"-5%   ", -0.05, 6}};
    const Case zeros[] = {{"1.000k", 1000, 6}, {"-47k", -47e3, 3},      {"1.0000", 1, 6},
                          {"500.0m", 0.5, 6},  {"-2.200n", -2.2e-9, 7}, {"1.000E15", 1e15, 8},
                          {"0.00", 0, 4},      {"123.5k", 123456, 6},   {"1.23k", 1234.56789, 4},
                          {"1E-21", 1e-21, 4}};
    const Case both[] = {{"25.0000%", 0.25, 8}, {"nan   ", -kNaN, 6}};
    const auto eng = [](bool percent, bool zeros) {
        return [=](double v, int w) { return sp_FormatEng(v, w, percent, zeros); };
    };
    expectWrites(plain, eng(false, false));
    expectWrites(narrow, eng(false, false));
    expectWrites(percent, eng(true, false));
    expectWrites(zeros, eng(false, true));
    expectWrites(both, eng(true, true));

    // A very wide field holds the exact decimal expansion once (a binary fraction's ends in 5),
    // then padding: blanks, or zeros before the suffix.
    const std::string wide = *sp_FormatEng(1.0 / 3.0, 5000, false, false);
    const std::size_t m = wide.find('m');
    ASSERT_NE(m, std::string::npos);
    EXPECT_EQ(wide.substr(0, 17) + wide.substr(m - 1),
              "333.33333333333335m" + std::string(4999 - m, ' '));
    EXPECT_EQ(std::string(*sp_FormatEng(1.0 / 3.0, 3000, false, true)),
              wide.substr(0, m) + std::string(2999 - m, '0') + "m");
}

TEST(EngNotationTest, ConvertRealToJSEng) {
    // No clamp of tiny magnitudes; even below 1e-306 the mantissa stays finite.
    const Case letter[] = {
        {"1.5k", 1500, 3},      {"-123", -123, 1},       {"0", 0, 3},
        {"2.2n", 2.2e-9, 3},    {"4.7Meg", 4.7e6, 3},    {"1.2345678k", 1234.5678, 10},
        {"1E15", 1e15, 3},      {"10E-21", 1e-20, 3},    {"4.94E-324", kTiny, 3},
        {"1.2k", 1234.5678, 2}, {"500m", 0.5, 0},        {"180E306", kMax, 3},
        {"500m", 0.5, -1},      {"123k", 123456, 1},     {"1a", 1e-18, 3},
        {"1T", 1e12, 3},        {"100E-303", 1e-301, 3}, {"100E-312", 1e-310, 3},
        {"nan", kNaN, 3},       {"-inf", -kInf, 3}};
    const Case exponent[] = {
        {"1.5E3", 1500, 3}, {"0", -0.0, 3}, {"999E0", 999, 3}, {"1E-6", 0.000001, 3}};
    expectWrites(letter, [](double v, int p) { return sp_ConvertRealToJSEng(v, p, false); });
    expectWrites(exponent, [](double v, int p) { return sp_ConvertRealToJSEng(v, p, true); });
    EXPECT_EQ(std::string(*sp_ConvertRealToJSEng(1.0 / 3.0, 2000, false)).size(),
              std::string("333.33333333333331438552704639732837677001953125m").size());
}

TEST(EngNotationTest, FormatReal) {
    // Digit count 0 acts as 1, negative as the default six. With a percent sign the first
    // attempt is measured without the '%' and retried with it.
    const Case plain[] = {
        {"3.142 ", 3.14159, 6},   {"-3.14 ", -3.14159, 6}, {"1.235e+08 ", 123456789, 10},
        {"1e+08 ", 123456789, 6}, {"12    ", 12, 6},       {"0   ", 0, 4},
        {"3 ", 3.14159, 2},       {"3.14159", 3.14159, 1}, {"-3.14159", -3.14159, 2},
        {"1e-300", 1e-300, 4},    {"inf   ", kInf, 6},     {"-inf", -kInf, 2},
        {"2.5", 2.5, kIntMin}};
    const Case percent[] = {{"50%   ", 0.5, 6},       {"12.3% ", 0.123456, 6},
                            {"0.123%", 0.0012345, 6}, {"0.01% ", 0.00012345, 6},
                            {"1e+05%", 1234.5678, 6}, {"-50%  ", -0.5, 6}};
    expectWrites(plain, [](double v, int w) { return sp_FormatReal(v, w, false); });
    expectWrites(percent, [](double v, int w) { return sp_FormatReal(v, w, true); });
    EXPECT_EQ(std::string(*sp_FormatReal(1.0 / 3.0, 3000, false)).substr(0, 20),
              "0.333333333333333314");
}

// A locale with a decimal comma: an installed one, else one compiled into a scratch folder
// with localedef (the glibc locale sources are usually there even when no locale is built).
const char* useDecimalCommaLocale(const std::string& scratch) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE"})
        if (std::setlocale(LC_NUMERIC, name))
            return name;
    const std::string made = scratch + "/de_DE.UTF-8";
    if (std::system(("localedef -i de_DE -f UTF-8 '" + made + "' >/dev/null 2>&1").c_str()) != 0)
        return nullptr;
    setenv("LOCPATH", scratch.c_str(), 1);
    return std::setlocale(LC_NUMERIC, "de_DE.UTF-8") ? "de_DE.UTF-8 (compiled)" : nullptr;
}

TEST(EngNotationTest, DecimalPointIgnoresLocale) {
    char scratch[] = "/tmp/nvlocaleXXXXXX";
    ASSERT_NE(mkdtemp(scratch), nullptr);
    const char* chosen = useDecimalCommaLocale(scratch);
    std::string got;
    if (chosen) {
        char probe[16];
        std::snprintf(probe, sizeof probe, "%.1f", 2.5); // the locale really is in force
        got = std::string(probe) + "|" + *sp_FormatEng(2.2e-9, 6, false, false) + "|" +
              *sp_ConvertRealToJSEng(1500, 3, false) + "|" + *sp_FormatReal(3.14159, 6, false) +
              "|" + (read("4.7k").value == 4.7 * kK ? "4.7k read" : "4.7k misread") + "|" +
              *JString(2.5);
    }
    std::setlocale(LC_NUMERIC, "C");
    unsetenv("LOCPATH");
    std::filesystem::remove_all(scratch);
    if (!chosen)
        GTEST_SKIP() << "no locale with a decimal comma, and none could be compiled";
    EXPECT_EQ(got, "2,5|2.2n  |1.5k|3.142 |4.7k read|2.5") << chosen;
}

TEST(EngNotationTest, Itoa64) {
    EXPECT_STREQ(*sp_itoa64(0), "0");
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
                {10.0, "10s"}};
    for (const auto& row : rows)
        for (double factor : {1.0, 0.99995, 3.0, 9.99})
            EXPECT_STREQ(*sp_GetVlPrecStringFromResolution(row.power * factor), row.word)
                << row.power << " * " << factor;
    for (double hundred : {100.0, 100.0 * 0.99995, 100.1})
        EXPECT_STREQ(*sp_GetVlPrecStringFromResolution(hundred), "100s") << hundred;
    for (double outside : {150.0, 100.2, 9.999e-16, 1e-16, 0.0, -1.0, kNaN, kInf})
        EXPECT_STREQ(*sp_GetVlPrecStringFromResolution(outside), "") << outside;
}

} // namespace
