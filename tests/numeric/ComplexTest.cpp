#include <nvsupport/numeric/Complex.h>

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

using Std = std::complex<double>;
constexpr double kPi = 3.141592653589793;
const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Identical bits, or both NaN.
bool same(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) ||
           std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

::testing::AssertionResult exact(const complex& got, double re, double im) {
    if (same(got.re, re) && same(got.im, im))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << std::hexfloat << "got (" << got.re << ", " << got.im
                                         << "), formula gives (" << re << ", " << im << ")";
}

::testing::AssertionResult close(const complex& got, const Std& ref) {
    const double tol = 1e-12 * (1 + std::abs(ref));
    if (std::fabs(got.re - ref.real()) <= tol && std::fabs(got.im - ref.imag()) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got (" << got.re << ", " << got.im << "), std::complex gives " << ref;
}

// Grid avoiding the axes, so no point lies on a branch cut.
std::vector<complex> grid() {
    const double parts[] = {-2.5, -1.3, -0.4, 0.3, 0.9, 1.7};
    std::vector<complex> g;
    for (double x : parts)
        for (double y : parts)
            g.emplace_back(x, y);
    return g;
}

Std toStd(const complex& z) {
    return Std(z.re, z.im);
}

} // namespace

TEST(ComplexTest, ValueType) {
    complex z;
    EXPECT_TRUE(same(z.re, 0.0) && same(z.im, 0.0));
    complex r(2.5);
    EXPECT_EQ(r.real(), 2.5);
    EXPECT_TRUE(same(r.imag(), 0.0));
    complex w(1, -2);
    EXPECT_EQ(real(w), 1.0);
    EXPECT_EQ(imag(w), -2.0);
    EXPECT_TRUE(w == complex(1, -2));
    EXPECT_FALSE(w == complex(1, 2));
    EXPECT_FALSE(complex(kNaN, 0) == complex(kNaN, 0));
    EXPECT_TRUE(w + complex(0.5, 3) == complex(1.5, 1));
    EXPECT_TRUE(w - complex(0.5, 3) == complex(0.5, -5));
    EXPECT_TRUE(-w == complex(-1, 2));
    static_assert(sizeof(complex) == 2 * sizeof(double));
}

TEST(ComplexTest, ArithmeticFollowsFormulas) {
    const double a = 1.1, b = -2.3, c = 0.7, d = 3.9;
    const complex z(a, b), w(c, d);
    EXPECT_TRUE(exact(z * w, a * c - b * d, b * c + a * d));
    const double den = c * c + d * d;
    EXPECT_TRUE(exact(z / w, (a * c + b * d) / den, (b * c - a * d) / den));
    EXPECT_TRUE(exact(2.5 / w, 2.5 * c / den, -2.5 * d / den));

    complex m = z;
    m *= w;
    EXPECT_TRUE(m == z * w);
    complex q = z;
    q /= w;
    EXPECT_TRUE(q == z / w);

    // Operating on itself uses the old value of both parts.
    complex s = z;
    s *= s;
    EXPECT_TRUE(exact(s, a * a - b * b, b * a + a * b));
    complex t = z;
    t /= t;
    EXPECT_TRUE(exact(t, (a * a + b * b) / (a * a + b * b), (b * a - a * b) / (a * a + b * b)));

    for (const complex& u : grid())
        for (const complex& v : grid()) {
            EXPECT_TRUE(close(u * v, toStd(u) * toStd(v)));
            EXPECT_TRUE(close(u / v, toStd(u) / toStd(v)));
            EXPECT_TRUE(close(u.re / v, u.re / toStd(v)));
        }

    // No scaling: a divisor whose squared modulus overflows gives zero, not 5e-201.
    complex big = complex(1, 1) / complex(1e200, 1e200);
    EXPECT_EQ(big.re, 0.0);
    EXPECT_EQ(big.im, 0.0);
    EXPECT_TRUE(std::isnan((complex(1e200, 1e200) / complex(1e200, 1e200)).re));
}

TEST(ComplexTest, ModulusAndPhase) {
    EXPECT_EQ(abs(complex(3, 4)), 5.0);
    EXPECT_EQ(norm(complex(3, 4)), 25.0);
    const double x = 0.1, y = 0.7;
    EXPECT_TRUE(same(norm(complex(x, y)), y * y + x * x));
    EXPECT_TRUE(same(abs(complex(x, y)), std::sqrt(y * y + x * x)));
    EXPECT_EQ(arg(complex(-1, 0)), kPi);
    EXPECT_EQ(arg(complex(0, -2)), -kPi / 2);

    // Zero, including negative zeros, has phase 0; NaN is not zero.
    EXPECT_TRUE(same(arg(complex(0, 0)), 0.0));
    EXPECT_TRUE(same(arg(complex(-0.0, -0.0)), 0.0));
    EXPECT_TRUE(same(arg(complex(-0.0, 0.0)), 0.0));
    EXPECT_TRUE(std::isnan(arg(complex(kNaN, 0))));
    EXPECT_TRUE(std::isnan(arg(complex(0, kNaN))));

    for (const complex& z : grid()) {
        EXPECT_TRUE(same(abs(z), std::sqrt(z.im * z.im + z.re * z.re)));
        EXPECT_NEAR(norm(z), std::norm(toStd(z)), 1e-13);
        EXPECT_NEAR(abs(z), std::abs(toStd(z)), 1e-13);
        EXPECT_EQ(arg(z), std::arg(toStd(z)));
    }
}

TEST(ComplexTest, ExpLogSqrt) {
    const double x = -0.8, y = 2.2;
    const complex z(x, y);
    EXPECT_TRUE(exact(exp(z), std::exp(x) * std::cos(y), std::exp(x) * std::sin(y)));
    const double lr = std::log(std::sqrt(y * y + x * x));
    EXPECT_TRUE(exact(log(z), lr, std::atan2(y, x)));
    EXPECT_TRUE(exact(log10(z), lr * 0.4342944819032518, std::atan2(y, x) * 0.4342944819032518));
    const double m = std::sqrt(std::sqrt(y * y + x * x)), h = std::atan2(y, x) / 2;
    EXPECT_TRUE(exact(sqrt(z), m * std::cos(h), m * std::sin(h)));

    for (const complex& g : grid()) {
        EXPECT_TRUE(close(exp(g), std::exp(toStd(g))));
        EXPECT_TRUE(close(log(g), std::log(toStd(g))));
        EXPECT_TRUE(close(log10(g), std::log10(toStd(g))));
        EXPECT_TRUE(close(sqrt(g), std::sqrt(toStd(g))));
    }

    // log of zero: -infinity and phase 0, whatever the signs of the zeros.
    for (const complex& zero : {complex(0, 0), complex(-0.0, -0.0), complex(0, -0.0)}) {
        EXPECT_EQ(log(zero).re, -kInf);
        EXPECT_TRUE(same(log(zero).im, 0.0));
        EXPECT_EQ(log10(zero).re, -kInf);
    }
    EXPECT_TRUE(exact(log(complex(-1, 0)), 0.0, kPi));

    complex r = sqrt(complex(-4, 0));
    EXPECT_NEAR(r.re, 0.0, 1e-15);
    EXPECT_EQ(r.im, 2.0);
    EXPECT_TRUE(exact(sqrt(complex(0, 0)), 0.0, 0.0));
    EXPECT_TRUE(exact(sqrt(complex(9, 0)), 3.0, 0.0));
}

TEST(ComplexTest, TrigonometricAndHyperbolic) {
    const double x = 0.6, y = -1.4;
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

    const double c = std::cos(x), t = std::tanh(y);
    const double dt = c * c + t * t * (1 - c * c);
    EXPECT_TRUE(exact(tan(z), std::sin(x + x) * 0.5 * (1 - t * t) / dt, t / dt));

    using Fn = complex (*)(const complex&);
    using StdFn = Std (*)(const Std&);
    const struct {
        const char* name;
        Fn fn;
        StdFn ref;
    } fns[] = {
        {"sin", sin, std::sin},    {"cos", cos, std::cos},    {"tan", tan, std::tan},
        {"sinh", sinh, std::sinh}, {"cosh", cosh, std::cosh}, {"tanh", tanh, std::tanh},
    };
    for (const auto& f : fns)
        for (const complex& g : grid())
            EXPECT_TRUE(close(f.fn(g), f.ref(toStd(g)))) << f.name << " at " << toStd(g);

    EXPECT_TRUE(exact(sin(complex(0, 0)), 0.0, -0.0));
    EXPECT_TRUE(exact(cosh(complex(0, 0)), 1.0, 0.0));
}

TEST(ComplexTest, InverseFunctions) {
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

    for (const complex& g : grid()) {
        EXPECT_TRUE(close(asin(g), std::asin(toStd(g)))) << toStd(g);
        EXPECT_TRUE(close(acos(g), std::acos(toStd(g)))) << toStd(g);
        EXPECT_TRUE(close(atan(g), std::atan(toStd(g)))) << toStd(g);
    }
    // On the real axis inside [-1, 1] the results are real.
    EXPECT_NEAR(asin(complex(0.5, 0)).re, std::asin(0.5), 1e-15);
    EXPECT_NEAR(acos(complex(0.5, 0)).re, std::acos(0.5), 1e-15);
    EXPECT_NEAR(atan(complex(2, 0)).re, std::atan(2.0), 1e-15);
    EXPECT_TRUE(same(acos(complex(1, 0)).re, 0.0));
}

TEST(ComplexTest, PowerOfComplexToReal) {
    const double x = -1.2, y = 0.45, e = 2.7;
    const double r = std::sqrt(x * x + y * y), a = std::atan2(y, x);
    EXPECT_TRUE(exact(pow(complex(x, y), e), std::pow(r, e) * std::cos(a * e),
                      std::pow(r, e) * std::sin(a * e)));

    EXPECT_TRUE(exact(pow(complex(0, 0), 2.0), 0.0, 0.0));
    EXPECT_TRUE(exact(pow(complex(-0.0, -0.0), 0.5), 0.0, 0.0));
    EXPECT_TRUE(exact(pow(complex(0, 0), 0.0), 1.0, 0.0));
    EXPECT_EQ(pow(complex(0, 0), -1.0).re, kInf); // follows the real pow
    EXPECT_TRUE(std::isnan(pow(complex(0, 0), kNaN).re));
    EXPECT_TRUE(std::isnan(pow(complex(kNaN, 0), 2.0).re));

    for (const complex& g : grid())
        for (double p : {-1.5, 0.5, 2.0, 3.7})
            EXPECT_TRUE(close(pow(g, p), std::pow(toStd(g), p))) << toStd(g) << "^" << p;
}

TEST(ComplexTest, PowerOfRealToComplex) {
    const double u = 0.8, v = -1.1;
    double l = std::log(2.5);
    EXPECT_TRUE(exact(pow(2.5, complex(u, v)), std::exp(u * l) * std::cos(v * l),
                      std::exp(u * l) * std::sin(v * l)));
    l = std::log(3.0);
    const double ang = kPi * u + v * l;
    EXPECT_TRUE(exact(pow(-3.0, complex(u, v)), std::exp(u * l - v * kPi) * std::cos(ang),
                      std::exp(u * l - v * kPi) * std::sin(ang)));

    // The principal cube root of -8, not -2.
    complex c = pow(-8.0, complex(1.0 / 3, 0));
    EXPECT_NEAR(c.re, 1.0, 1e-15);
    EXPECT_NEAR(c.im, 1.7320508075688772, 1e-15);

    EXPECT_TRUE(exact(pow(0.0, complex(2, 5)), 0.0, 0.0));
    EXPECT_TRUE(exact(pow(-0.0, complex(0.5, 0)), 0.0, 0.0));
    // Zero to a power with re(w) <= 0 goes through log(0) as the formula does.
    l = -kInf;
    EXPECT_TRUE(exact(pow(0.0, complex(0, 0)),
                      std::exp(0 * l - 0 * kPi) * std::cos(kPi * 0 + 0 * l),
                      std::exp(0 * l - 0 * kPi) * std::sin(kPi * 0 + 0 * l)));

    for (double r : {-2.5, -0.4, 0.3, 1.7})
        for (const complex& g : grid())
            EXPECT_TRUE(close(pow(r, g), std::pow(Std(r, 0), toStd(g)))) << r << "^" << toStd(g);
}

TEST(ComplexTest, PowerOfComplexToComplex) {
    const complex z(0.9, -1.6), w(1.3, 0.4);
    const double lr = std::log(std::sqrt(z.im * z.im + z.re * z.re)), li = std::atan2(z.im, z.re);
    const double tr = lr * w.re - w.im * li, ti = lr * w.im + w.re * li;
    EXPECT_TRUE(exact(pow(z, w), std::exp(tr) * std::cos(ti), std::exp(tr) * std::sin(ti)));

    EXPECT_TRUE(exact(pow(complex(0, 0), complex(2, 0)), 0.0, 0.0));
    EXPECT_TRUE(exact(pow(complex(-0.0, 0), complex(0.1, -3)), 0.0, 0.0));
    // 0^(0+0i) goes through log(0) = -inf + 0i, and -inf * 0 is NaN.
    const double l0 = -kInf;
    const double t0r = l0 * 0.0 - 0.0 * 0.0, t0i = l0 * 0.0 + 0.0 * 0.0;
    EXPECT_TRUE(exact(pow(complex(0, 0), complex(0, 0)), std::exp(t0r) * std::cos(t0i),
                      std::exp(t0r) * std::sin(t0i)));
    EXPECT_TRUE(std::isnan(pow(complex(kNaN, 0), complex(2, 0)).re));

    for (const complex& g : grid())
        for (const complex& e : {complex(0.5, 0.5), complex(-1.2, 0.3), complex(2, -0.7)})
            EXPECT_TRUE(close(pow(g, e), std::pow(toStd(g), toStd(e))))
                << toStd(g) << "^" << toStd(e);
}
