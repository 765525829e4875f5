#include <nvsupport/netlist/ValuePairs.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The numbers read from `text` (empty when the array came back null) and the status.
std::pair<std::vector<double>, int> readPairs(const std::string& text) {
    FILE* f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    std::rewind(f);
    double* values = reinterpret_cast<double*>(f); // must be overwritten
    int count = -1;
    ReadValuePairsStatus status = ReadValuePairsStatus(7);
    sp_ReadValuePairs(f, &values, &count, &status);
    std::fclose(f);
    std::vector<double> v;
    if (values)
        v.assign(values, values + count);
    else
        EXPECT_EQ(count, 0);
    std::free(values);
    return {v, status};
}

} // namespace

TEST(ValuePairsTest, PairsAndStatuses) {
    const double inf = HUGE_VAL;
    std::string big;
    std::vector<double> bigValues;
    for (int i = 0; i < 20000; ++i) { // grows far past the first block
        big += std::to_string(i) + " " + std::to_string(i % 7) + "\n";
        bigValues.insert(bigValues.end(), {double(i), double(i % 7)});
    }
    const struct {
        std::string text;
        std::vector<double> values;
        int status;
    } cases[] = {
        {"0 0 1 1 + 2 4", {0, 0, 1, 1, 2, 4}, RVP_ASCENDING},
        {"0 0 1 5 1 5 2 3", {0, 0, 1, 5, 2, 3}, RVP_ASCENDING}, // same pair dropped
        {"0 0 1 5 1 6", {0, 0, 1, 5, 1, 6}, RVP_REPEATED_X},
        {"0 0 2 1 1 2", {0, 0, 2, 1, 1, 2}, RVP_DESCENDING},
        {"0 0 0 1 -1 0", {0, 0, 0, 1, -1, 0}, RVP_DESCENDING}, // 2 replaces 1
        {"1 0 0 0 0 1", {1, 0, 0, 0, 0, 1}, RVP_DESCENDING},   // 1 does not replace 2
        {"time value 0 1 1 2", {0, 1, 1, 2}, RVP_ASCENDING},
        {"0 1 2", {0, 1}, RVP_ASCENDING},
        {"1e-3V 4k7 .5 -2. +3x -.25e1 1e 1e+ 1.2.3",
         {0.001, 4, 0.5, -2, 3, -2.5, 1, 1},
         RVP_DESCENDING},
        {"inf nan infinity 0x10 7 . - e5 -x", {0, 7}, RVP_ASCENDING}, // decimal only
        {"1e999 -1e999 1e-999 -0.000e5 2", {inf, -inf, 0, 0}, RVP_DESCENDING},
        {std::string("\t5\r\n\x80\xFF\xE9\f6\v\0 7 8", 15), {5, 6, 7, 8}, RVP_ASCENDING},
        {std::string(511, '0') + "12345 9", {1, 2345}, RVP_ASCENDING}, // 512-byte pieces
        {big, bigValues, RVP_ASCENDING},
        {"", {}, RVP_ASCENDING},
        {"time value + + 1", {}, RVP_ASCENDING},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 50));
        const auto [values, status] = readPairs(c.text);
        EXPECT_EQ(values, c.values);
        EXPECT_EQ(status, c.status);
    }

    double* values = reinterpret_cast<double*>(&big);
    int count = -1;
    ReadValuePairsStatus status = RVP_DESCENDING;
    sp_ReadValuePairs(nullptr, &values, &count, &status); // no file: empty result
    EXPECT_TRUE(values == nullptr && count == 0 && status == RVP_ASCENDING);
}
