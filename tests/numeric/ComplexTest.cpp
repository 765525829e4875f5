#include <nvsupport/numeric/Complex.h>

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Identical bits, or both NaN.
bool same(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) ||
           std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

::testing::AssertionResult exact(const complex& got, double re, double im) {
    return ::testing::AssertionResult(same(got.re, re) && same(got.im, im))
           << std::hexfloat << "got (" << got.re << ", " << got.im << "), formula gives (" << re
           << ", " << im << ")";
}

// m (cos a + i sin a), as the polar formulas compute it.
::testing::AssertionResult polar(const complex& got, double m, double a) {
    return exact(got, m * std::cos(a), m * std::sin(a));
}

// Points in all four quadrants and one on the real axis.
const complex kPoints[] = {complex(-0.8, 2.2),  complex(0.6, -1.4), complex(0.35, -0.8),
                           complex(-1.7, -0.3), complex(1.3, 0.9),  complex(0.9, 0)};

} // namespace

TEST(ComplexTest, ValueType) {
    static_assert(sizeof(complex) == 2 * sizeof(double));
    const complex r(2.5), w(1, -2);
    EXPECT_TRUE(exact(complex(), 0.0, 0.0));
    EXPECT_TRUE(exact(complex(r.real(), r.imag()), 2.5, 0.0));
    EXPECT_TRUE(exact(complex(real(w), imag(w)), 1.0, -2.0));
    EXPECT_TRUE(w == complex(1, -2));
    EXPECT_FALSE(w == complex(1, 2));
    EXPECT_FALSE(complex(kNaN, 0) == complex(kNaN, 0));
    EXPECT_TRUE(w + complex(0.5, 3) == complex(1.5, 1));
    EXPECT_TRUE(w - complex(0.5, 3) == complex(0.5, -5));
    EXPECT_TRUE(-w == complex(-1, 2));
}

TEST(ComplexTest, ArithmeticFollowsFormulas) {
    const double a = 1.1, b = -2.3, c = 0.7, d = 3.9, den = c * c + d * d;
    const complex z(a, b), w(c, d);
    EXPECT_TRUE(exact(z * w, a * c - b * d, b * c + a * d));
    EXPECT_TRUE(exact(z / w, (a * c + b * d) / den, (b * c - a * d) / den));
    EXPECT_TRUE(exact(2.5 / w, 2.5 * c / den, -2.5 * d / den));
    complex m = z, q = z, s = z, t = z;
    EXPECT_TRUE((m *= w) == z * w);
    EXPECT_TRUE((q /= w) == z / w);
    // Operating on itself uses the old value of both parts.
    EXPECT_TRUE(exact(s *= s, a * a - b * b, b * a + a * b));
    EXPECT_TRUE(exact(t /= t, 1.0, 0.0));
    // No scaling: a divisor whose squared modulus overflows gives zero, not 5e-201.
    const complex big = complex(1, 1) / complex(1e200, 1e200);
    EXPECT_TRUE(big.re == 0.0 && big.im == 0.0);
    EXPECT_TRUE(std::isnan((complex(1e200, 1e200) / complex(1e200, 1e200)).re));
}

TEST(ComplexTest, ZerosAndSpecialPoints) {
    // Bit for bit (any NaN for a NaN). log of zero is -infinity with phase 0 whatever the signs
    // of the zeros; zero to a power with re(w) <= 0 goes through log(0) = -inf + 0i, and
    // -inf * 0 is NaN.
    EXPECT_TRUE(exact(log(complex(0, 0)), -kInf, 0.0));
    EXPECT_TRUE(exact(log(complex(-0.0, -0.0)), -kInf, 0.0));
    EXPECT_TRUE(exact(log10(complex(0, -0.0)), -kInf, 0.0));
    EXPECT_TRUE(exact(log(complex(-1, 0)), 0.0, kPi));
    EXPECT_TRUE(exact(sqrt(complex(0, 0)), 0.0, 0.0));
    EXPECT_TRUE(exact(sqrt(complex(9, 0)), 3.0, 0.0));
    EXPECT_TRUE(exact(sin(complex(0, 0)), 0.0, -0.0));
    EXPECT_TRUE(exact(cosh(complex(0, 0)), 1.0, 0.0));
    EXPECT_TRUE(exact(pow(complex(0, 0), 2.0), 0.0, 0.0));
    EXPECT_TRUE(exact(pow(complex(-0.0, -0.0), 0.5), 0.0, 0.0));
    EXPECT_TRUE(exact(pow(complex(0, 0), 0.0), 1.0, 0.0));
    EXPECT_TRUE(exact(pow(0.0, complex(2, 5)), 0.0, 0.0));
    EXPECT_TRUE(exact(pow(-0.0, complex(0.5, 0)), 0.0, 0.0));
    EXPECT_TRUE(exact(pow(complex(0, 0), complex(2, 0)), 0.0, 0.0));
    EXPECT_TRUE(exact(pow(complex(-0.0, 0), complex(0.1, -3)), 0.0, 0.0));
    EXPECT_TRUE(exact(pow(0.0, complex(0, 0)), kNaN, kNaN));
    EXPECT_TRUE(exact(pow(complex(0, 0), complex(0, 0)), kNaN, kNaN));
    // Zero to a negative or NaN power follows the real pow; NaN stays NaN.
    EXPECT_EQ(pow(complex(0, 0), -1.0).re, kInf);
    for (const complex& nan : {pow(complex(0, 0), kNaN), pow(complex(kNaN, 0), 2.0),
                               pow(complex(kNaN, 0), complex(2, 0))})
        EXPECT_TRUE(std::isnan(nan.re));
    EXPECT_NEAR(sqrt(complex(-4, 0)).re, 0.0, 1e-15);
    EXPECT_EQ(sqrt(complex(-4, 0)).im, 2.0);
    const complex root = pow(-8.0, complex(1.0 / 3, 0)); // the principal cube root, not -2
    EXPECT_NEAR(root.re, 1.0, 1e-15);
    EXPECT_NEAR(root.im, 1.7320508075688772, 1e-15);
    EXPECT_TRUE(same(acos(complex(1, 0)).re, 0.0));
    // Zero, including negative zeros, has phase 0; NaN is not zero.
    for (const complex& zero : {complex(0, 0), complex(-0.0, -0.0), complex(-0.0, 0.0)})
        EXPECT_TRUE(same(arg(zero), 0.0));
    EXPECT_TRUE(std::isnan(arg(complex(kNaN, 0))) && std::isnan(arg(complex(0, kNaN))));
    EXPECT_EQ(arg(complex(-1, 0)), kPi);
    EXPECT_EQ(arg(complex(0, -2)), -kPi / 2);
}

TEST(ComplexTest, FunctionsFollowTheirFormulas) {
    for (const complex& z : kPoints) {
        SCOPED_TRACE(testing::Message() << "at (" << z.re << ", " << z.im << ")");
        const double x = z.re, y = z.im, mod = std::sqrt(y * y + x * x), ph = std::atan2(y, x);
        EXPECT_TRUE(same(norm(z), y * y + x * x));
        EXPECT_TRUE(same(abs(z), mod));
        EXPECT_TRUE(same(arg(z), ph));
        EXPECT_TRUE(polar(exp(z), std::exp(x), y));
        EXPECT_TRUE(exact(log(z), std::log(mod), ph));
        EXPECT_TRUE(exact(log10(z), std::log(mod) * 0.4342944819032518, ph * 0.4342944819032518));
        EXPECT_TRUE(polar(sqrt(z), std::sqrt(mod), ph / 2));

        double p = std::exp(y), q = 1 / p;
        EXPECT_TRUE(exact(sin(z), std::sin(x) * (q + p) * 0.5, std::cos(x) * (-0.5) * (q - p)));
        EXPECT_TRUE(exact(cos(z), std::cos(x) * (q + p) * 0.5, std::sin(x) * (q - p) * 0.5));
        p = std::exp(x);
        q = 1 / p;
        EXPECT_TRUE(exact(sinh(z), std::cos(y) * (p - q) * 0.5, std::sin(y) * (q + p) * 0.5));
        EXPECT_TRUE(exact(cosh(z), std::cos(y) * (q + p) * 0.5, std::sin(y) * (p - q) * 0.5));
        const double dh = ((p + q) * std::cos(y)) * ((p + q) * std::cos(y)) +
                          ((p - q) * std::sin(y)) * ((p - q) * std::sin(y));
        EXPECT_TRUE(exact(tanh(z), (p + q) * ((p - q) / dh), std::cos(y) * (4 * std::sin(y)) / dh));
        const double c = std::cos(x), t = std::tanh(y), dt = c * c + t * t * (1 - c * c);
        EXPECT_TRUE(exact(tan(z), std::sin(x + x) * 0.5 * (1 - t * t) / dt, t / dt));

        // The inverse functions go through s, the square root of 1 - z^2.
        const double wr = 1 - x * x + y * y, wi = x * (-2) * y;
        const double m = std::sqrt(std::sqrt(wi * wi + wr * wr)), h = std::atan2(wi, wr) / 2;
        const double sr = m * std::cos(h), si = m * std::sin(h);
        double ur = x - si, ui = y + sr;
        EXPECT_TRUE(exact(acos(z), std::atan2(ui, ur), -std::log(std::sqrt(ur * ur + ui * ui))));
        ur = sr - y;
        ui = si + x;
        EXPECT_TRUE(exact(asin(z), std::atan2(ui, ur), -std::log(std::sqrt(ur * ur + ui * ui))));
        const double d = (1 + y) * (1 + y) + x * x;
        const double qr = ((1 + y) * (1 - y) - x * x) / d, qi = (x + x) / d;
        EXPECT_TRUE(exact(atan(z), 0.5 * std::atan2(qi, qr),
                          -0.5 * std::log(std::sqrt(qr * qr + qi * qi))));
    }
}

TEST(ComplexTest, PowersFollowFormulas) {
    const complex w(1.3, 0.4);
    for (const complex& z : kPoints) {
        SCOPED_TRACE(testing::Message() << "at (" << z.re << ", " << z.im << ")");
        const double x = z.re, y = z.im, r = std::sqrt(x * x + y * y), a = std::atan2(y, x);
        for (double e : {2.7, -1.5})
            EXPECT_TRUE(polar(pow(z, e), std::pow(r, e), a * e));
        const double l = std::log(2.5), n = std::log(3.0);
        EXPECT_TRUE(polar(pow(2.5, z), std::exp(x * l), y * l));
        EXPECT_TRUE(polar(pow(-3.0, z), std::exp(x * n - y * kPi), kPi * x + y * n));
        const double lr = std::log(std::sqrt(y * y + x * x)), li = std::atan2(y, x);
        const double tr = lr * w.re - w.im * li, ti = lr * w.im + w.re * li;
        EXPECT_TRUE(polar(pow(z, w), std::exp(tr), ti));
    }
}
