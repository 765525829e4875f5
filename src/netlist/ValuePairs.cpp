#include "ValuePairs.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace {

constexpr std::size_t kFirstCapacity = 10000 / sizeof(double); // numbers, not bytes

inline bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The number the longest decimal prefix of `word` gives: [sign] digits [. digits]
// [e|E [sign] digits], with at least one mantissa digit. False when there is none.
bool leadingNumber(const char* word, double* out) {
    const char* p = word;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = (*p++ == '-');
    const char* first = p;

    // Decimal position of the first significant digit, to tell overflow from underflow.
    long long magnitude = 0;
    bool anyDigit = false, significant = false;
    for (; isDigit(*p); ++p) {
        anyDigit = true;
        significant |= (*p != '0');
        if (significant)
            ++magnitude;
    }
    if (*p == '.') {
        const char* q = p + 1;
        for (; isDigit(*q); ++q) {
            anyDigit = true;
            if (!significant && *q == '0')
                --magnitude;
            significant |= (*q != '0');
        }
        if (anyDigit)
            p = q;
    }
    if (!anyDigit)
        return false;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        bool expNegative = false;
        if (*q == '+' || *q == '-')
            expNegative = (*q++ == '-');
        if (isDigit(*q)) {
            long long exponent = 0;
            for (; isDigit(*q); ++q)
                if (exponent < 1000000000)
                    exponent = exponent * 10 + (*q - '0');
            magnitude += expNegative ? -exponent : exponent;
            p = q;
        }
    }

    double v = 0.0;
    const std::from_chars_result r = std::from_chars(first, p, v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range)
        v = magnitude > 0 ? HUGE_VAL : 0.0;
    *out = negative ? -v : v;
    return true;
}

// The next number of the file; false at its end (or on a read error).
bool nextNumber(FILE* file, double* out) {
    char word[513];
    for (;;) {
        const int r = std::fscanf(file, "%512s", word);
        if (r == EOF)
            return false;
        if (r == 0) {
            std::fgetc(file);
            continue;
        }
        if (word[0] == '+' && word[1] == 0)
            continue;
        if (leadingNumber(word, out))
            return true;
    }
}

// The growing result: doubles in a malloc'ed block, so the caller can free() it.
struct PairArray {
    double* data = nullptr;
    std::size_t used = 0;
    std::size_t capacity = 0;

    // Room for one more pair; false when memory runs out.
    bool reserveOne() {
        if (capacity - used >= 2)
            return true;
        std::size_t bigger = used * 2 > used + 2 ? used * 2 : used + 2;
        auto* grown = static_cast<double*>(std::realloc(data, bigger * sizeof(double)));
        if (!grown)
            return false;
        data = grown;
        capacity = bigger;
        return true;
    }
};

} // namespace

void sp_ReadValuePairs(FILE* file, double** values, int* count, ReadValuePairsStatus* status) {
    if (values)
        *values = nullptr;
    if (count)
        *count = 0;
    if (status)
        *status = RVP_ASCENDING;
    if (!file || !values || !count)
        return;

    PairArray pairs;
    pairs.data = static_cast<double*>(std::calloc(kFirstCapacity, sizeof(double)));
    if (!pairs.data)
        return;
    pairs.capacity = kFirstCapacity;
    ReadValuePairsStatus order = RVP_ASCENDING;

    double x, y;
    while (nextNumber(file, &x) && nextNumber(file, &y)) {
        if (pairs.used > 0) {
            const double px = pairs.data[pairs.used - 2];
            const double py = pairs.data[pairs.used - 1];
            if (x < px) {
                order = RVP_DESCENDING;
            } else if (x == px) {
                if (y == py)
                    continue;
                if (order == RVP_ASCENDING)
                    order = RVP_REPEATED_X;
            }
        }
        if (!pairs.reserveOne())
            break;
        pairs.data[pairs.used++] = x;
        pairs.data[pairs.used++] = y;
    }

    if (status)
        *status = order;
    if (pairs.used == 0) {
        std::free(pairs.data);
        return;
    }
    if (pairs.used < pairs.capacity) {
        if (auto* shrunk =
                static_cast<double*>(std::realloc(pairs.data, pairs.used * sizeof(double))))
            pairs.data = shrunk;
    }
    *values = pairs.data;
    *count = static_cast<int>(pairs.used);
}
