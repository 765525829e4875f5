#include <nvsupport/numeric/Complex.h>

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <tuple>
#include <vector>

namespace {

using Std = std::complex<double>;
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

::testing::AssertionResult close(const complex& got, const Std& ref) {
    const double tol = 1e-12 * (1 + std::abs(ref));
    return ::testing::AssertionResult(std::fabs(got.re - ref.real()) <= tol &&
                                      std::fabs(got.im - ref.imag()) <= tol)
           << "got (" << got.re << ", " << got.im << "), std::complex gives " << ref;
}

// Grid avoiding the axes, so no point lies on a branch cut.
const std::vector<complex> kGrid = [] {
    std::vector<complex> g;
    for (double x : {-2.5, -1.3, -0.4, 0.3, 0.9, 1.7})
        for (double y : {-2.5, -1.3, -0.4, 0.3, 0.9, 1.7})
            g.emplace_back(x, y);
    return g;
}();

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

TEST(ComplexTest, AgreesWithStdComplexOffTheAxes) {
    const std::tuple<const char*, complex (*)(const complex&), Std (*)(const Std&)> fns[] = {
        {"exp", exp, std::exp},    {"log", log, std::log},    {"log10", log10, std::log10},
        {"sqrt", sqrt, std::sqrt}, {"sin", sin, std::sin},    {"cos", cos, std::cos},
        {"tan", tan, std::tan},    {"sinh", sinh, std::sinh}, {"cosh", cosh, std::cosh},
        {"tanh", tanh, std::tanh}, {"asin", asin, std::asin}, {"acos", acos, std::acos},
        {"atan", atan, std::atan}};
    for (const complex& u : kGrid) {
        const Std su(u.re, u.im);
        for (const auto& [name, fn, ref] : fns)
            EXPECT_TRUE(close(fn(u), ref(su))) << name << " at " << su;
        EXPECT_TRUE(same(abs(u), std::sqrt(u.im * u.im + u.re * u.re)));
        EXPECT_EQ(arg(u), std::arg(su));
        for (double p : {-1.5, 0.5, 2.0, 3.7})
            EXPECT_TRUE(close(pow(u, p), std::pow(su, p))) << su << "^" << p;
        for (double r : {-2.5, -0.4, 0.3, 1.7})
            EXPECT_TRUE(close(pow(r, u), std::pow(Std(r, 0), su))) << r << "^" << su;
        for (const complex& e : {complex(0.5, 0.5), complex(-1.2, 0.3), complex(2, -0.7)})
            EXPECT_TRUE(close(pow(u, e), std::pow(su, Std(e.re, e.im))))
                << su << "^" << Std(e.re, e.im);
    }
}

TEST(ComplexTest, ModulusAndPhase) {
    EXPECT_TRUE(same(norm(complex(0.1, 0.7)), 0.7 * 0.7 + 0.1 * 0.1));
    EXPECT_EQ(arg(complex(-1, 0)), kPi);
    EXPECT_EQ(arg(complex(0, -2)), -kPi / 2);
    // Zero, including negative zeros, has phase 0; NaN is not zero.
    for (const complex& zero : {complex(0, 0), complex(-0.0, -0.0), complex(-0.0, 0.0)})
        EXPECT_TRUE(same(arg(zero), 0.0));
    EXPECT_TRUE(std::isnan(arg(complex(kNaN, 0))));
    EXPECT_TRUE(std::isnan(arg(complex(0, kNaN))));
}

TEST(ComplexTest, ElementaryFunctionsFollowFormulas) {
    double x = -0.8, y = 2.2;
    const double lr = std::log(std::sqrt(y * y + x * x)), ph = std::atan2(y, x);
    const double rt = std::sqrt(std::sqrt(y * y + x * x));
    EXPECT_TRUE(polar(exp(complex(x, y)), std::exp(x), y));
    EXPECT_TRUE(exact(log(complex(x, y)), lr, ph));
    EXPECT_TRUE(exact(log10(complex(x, y)), lr * 0.4342944819032518, ph * 0.4342944819032518));
    EXPECT_TRUE(polar(sqrt(complex(x, y)), rt, ph / 2));

    x = 0.6;
    y = -1.4;
    const complex z(x, y);
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
}

TEST(ComplexTest, SpecialPoints) {
    // log of zero: -infinity and phase 0, whatever the signs of the zeros.
    for (const complex& zero : {complex(0, 0), complex(-0.0, -0.0), complex(0, -0.0)}) {
        EXPECT_EQ(log(zero).re, -kInf);
        EXPECT_TRUE(same(log(zero).im, 0.0));
        EXPECT_EQ(log10(zero).re, -kInf);
    }
    EXPECT_TRUE(exact(log(complex(-1, 0)), 0.0, kPi));
    EXPECT_NEAR(sqrt(complex(-4, 0)).re, 0.0, 1e-15);
    EXPECT_EQ(sqrt(complex(-4, 0)).im, 2.0);
    EXPECT_TRUE(exact(sqrt(complex(0, 0)), 0.0, 0.0));
    EXPECT_TRUE(exact(sqrt(complex(9, 0)), 3.0, 0.0));
    EXPECT_TRUE(exact(sin(complex(0, 0)), 0.0, -0.0));
    EXPECT_TRUE(exact(cosh(complex(0, 0)), 1.0, 0.0));
    // On the real axis inside [-1, 1] the inverse functions are real.
    EXPECT_NEAR(asin(complex(0.5, 0)).re, std::asin(0.5), 1e-15);
    EXPECT_NEAR(acos(complex(0.5, 0)).re, std::acos(0.5), 1e-15);
    EXPECT_NEAR(atan(complex(2, 0)).re, std::atan(2.0), 1e-15);
    EXPECT_TRUE(same(acos(complex(1, 0)).re, 0.0));
}

TEST(ComplexTest, InverseFunctionsFollowFormulas) {
    const double x = 0.35, y = -0.8;
    const complex z(x, y);
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
    EXPECT_TRUE(
        exact(atan(z), 0.5 * std::atan2(qi, qr), -0.5 * std::log(std::sqrt(qr * qr + qi * qi))));
}

TEST(ComplexTest, PowersFollowFormulasAndZeroRules) {
    double x = -1.2, y = 0.45, e = 2.7;
    const double r = std::sqrt(x * x + y * y), a = std::atan2(y, x);
    EXPECT_TRUE(polar(pow(complex(x, y), e), std::pow(r, e), a * e));
    x = 0.8;
    y = -1.1;
    double l = std::log(2.5);
    EXPECT_TRUE(polar(pow(2.5, complex(x, y)), std::exp(x * l), y * l));
    l = std::log(3.0);
    EXPECT_TRUE(polar(pow(-3.0, complex(x, y)), std::exp(x * l - y * kPi), kPi * x + y * l));

    const complex z(0.9, -1.6), w(1.3, 0.4);
    const double lr = std::log(std::sqrt(z.im * z.im + z.re * z.re)), li = std::atan2(z.im, z.re);
    const double tr = lr * w.re - w.im * li, ti = lr * w.im + w.re * li;
    EXPECT_TRUE(polar(pow(z, w), std::exp(tr), ti));
    EXPECT_TRUE(exact(pow(complex(0, 0), 2.0), 0.0, 0.0));
    EXPECT_TRUE(exact(pow(complex(-0.0, -0.0), 0.5), 0.0, 0.0));
    EXPECT_TRUE(exact(pow(complex(0, 0), 0.0), 1.0, 0.0));
    EXPECT_EQ(pow(complex(0, 0), -1.0).re, kInf); // follows the real pow
    EXPECT_TRUE(std::isnan(pow(complex(0, 0), kNaN).re));
    EXPECT_TRUE(std::isnan(pow(complex(kNaN, 0), 2.0).re));
    EXPECT_TRUE(exact(pow(0.0, complex(2, 5)), 0.0, 0.0));
    EXPECT_TRUE(exact(pow(-0.0, complex(0.5, 0)), 0.0, 0.0));
    EXPECT_TRUE(exact(pow(complex(0, 0), complex(2, 0)), 0.0, 0.0));
    EXPECT_TRUE(exact(pow(complex(-0.0, 0), complex(0.1, -3)), 0.0, 0.0));
    EXPECT_TRUE(std::isnan(pow(complex(kNaN, 0), complex(2, 0)).re));
    // Zero to a power with re(w) <= 0 goes through log(0) = -inf + 0i, and -inf * 0 is NaN.
    EXPECT_TRUE(exact(pow(0.0, complex(0, 0)), kNaN, kNaN));
    EXPECT_TRUE(exact(pow(complex(0, 0), complex(0, 0)), kNaN, kNaN));
    // The principal cube root of -8, not -2.
    const complex c = pow(-8.0, complex(1.0 / 3, 0));
    EXPECT_NEAR(c.re, 1.0, 1e-15);
    EXPECT_NEAR(c.im, 1.7320508075688772, 1e-15);
}
