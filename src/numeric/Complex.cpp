#include "Complex.h"

#include <cmath>

// Each function evaluates its formula in one fixed order of operations; rewriting an
// expression (even reordering a product) changes results in the last bit.

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kLog10e = 0.4342944819032518;

// -0.0 compares equal to 0.0 and counts as zero; NaN does not.
bool isZero(const complex& z) {
    return z.re == 0.0 && z.im == 0.0;
}

// atan2(b, a), but 0 for a zero argument.
double phase(double a, double b) {
    return (a == 0.0 && b == 0.0) ? 0.0 : std::atan2(b, a);
}

} // namespace

complex& complex::operator*=(const complex& w) {
    const double a = re, b = im, c = w.re, d = w.im;
    re = a * c - b * d;
    im = b * c + a * d;
    return *this;
}

complex& complex::operator/=(const complex& w) {
    const double a = re, b = im, c = w.re, d = w.im;
    const double den = c * c + d * d;
    re = (a * c + b * d) / den;
    im = (b * c - a * d) / den;
    return *this;
}

complex operator*(const complex& a, const complex& b) {
    complex r = a;
    return r *= b;
}

complex operator/(const complex& a, const complex& b) {
    complex r = a;
    return r /= b;
}

complex operator/(double r, const complex& w) {
    const double c = w.re, d = w.im;
    const double den = c * c + d * d;
    return complex(r * c / den, -r * d / den);
}

double norm(const complex& z) {
    return z.im * z.im + z.re * z.re;
}

double abs(const complex& z) {
    return std::sqrt(z.im * z.im + z.re * z.re);
}

double arg(const complex& z) {
    return phase(z.re, z.im);
}

complex exp(const complex& z) {
    const double e = std::exp(z.re);
    return complex(e * std::cos(z.im), e * std::sin(z.im));
}

complex log(const complex& z) {
    return complex(std::log(std::sqrt(z.im * z.im + z.re * z.re)), phase(z.re, z.im));
}

complex log10(const complex& z) {
    const complex l = log(z);
    return complex(l.re * kLog10e, l.im * kLog10e);
}

complex sqrt(const complex& z) {
    const double m = std::sqrt(std::sqrt(z.im * z.im + z.re * z.re));
    const double h = phase(z.re, z.im) / 2;
    return complex(m * std::cos(h), m * std::sin(h));
}

complex sin(const complex& z) {
    const double p = std::exp(z.im);
    const double q = 1 / p;
    return complex(std::sin(z.re) * (q + p) * 0.5, std::cos(z.re) * (-0.5) * (q - p));
}

complex cos(const complex& z) {
    const double p = std::exp(z.im);
    const double q = 1 / p;
    return complex(std::cos(z.re) * (q + p) * 0.5, std::sin(z.re) * (q - p) * 0.5);
}

complex sinh(const complex& z) {
    const double p = std::exp(z.re);
    const double q = 1 / p;
    return complex(std::cos(z.im) * (p - q) * 0.5, std::sin(z.im) * (q + p) * 0.5);
}

complex cosh(const complex& z) {
    const double p = std::exp(z.re);
    const double q = 1 / p;
    return complex(std::cos(z.im) * (q + p) * 0.5, std::sin(z.im) * (p - q) * 0.5);
}

complex tan(const complex& z) {
    const double c = std::cos(z.re);
    const double t = std::tanh(z.im);
    const double d = c * c + t * t * (1 - c * c);
    return complex(std::sin(z.re + z.re) * 0.5 * (1 - t * t) / d, t / d);
}

complex tanh(const complex& z) {
    const double p = std::exp(z.re);
    const double q = 1 / p;
    const double cy = std::cos(z.im);
    const double sy = std::sin(z.im);
    const double u = (p + q) * cy;
    const double v = (p - q) * sy;
    const double d = u * u + v * v;
    return complex((p + q) * ((p - q) / d), cy * (4 * sy) / d);
}

namespace {

// Square root of w = 1 - z^2, the common step of the inverse functions.
complex rootOfOneMinusSquare(const complex& z) {
    const double x = z.re, y = z.im;
    return sqrt(complex(1 - x * x + y * y, x * (-2) * y));
}

} // namespace

complex acos(const complex& z) {
    const complex s = rootOfOneMinusSquare(z);
    const double ur = z.re - s.im;
    const double ui = z.im + s.re;
    return complex(phase(ur, ui), -std::log(std::sqrt(ur * ur + ui * ui)));
}

complex asin(const complex& z) {
    const complex s = rootOfOneMinusSquare(z);
    const double ur = s.re - z.im;
    const double ui = s.im + z.re;
    return complex(phase(ur, ui), -std::log(std::sqrt(ur * ur + ui * ui)));
}

complex atan(const complex& z) {
    const double x = z.re, y = z.im;
    const double d = (1 + y) * (1 + y) + x * x;
    const double qr = ((1 + y) * (1 - y) - x * x) / d;
    const double qi = (x + x) / d;
    return complex(0.5 * phase(qr, qi), -0.5 * std::log(std::sqrt(qr * qr + qi * qi)));
}

complex pow(const complex& z, double p) {
    if (isZero(z) && p > 0)
        return complex();
    const double r = std::sqrt(z.re * z.re + z.im * z.im);
    const double a = phase(z.re, z.im);
    const double rp = std::pow(r, p);
    return complex(rp * std::cos(a * p), rp * std::sin(a * p));
}

complex pow(double r, const complex& w) {
    const double u = w.re, v = w.im;
    if (r == 0.0 && u > 0)
        return complex();
    const double l = std::log(std::fabs(r));
    if (r > 0) {
        const double e = std::exp(u * l);
        return complex(e * std::cos(v * l), e * std::sin(v * l));
    }
    const double e = std::exp(u * l - v * kPi);
    const double angle = kPi * u + v * l;
    return complex(e * std::cos(angle), e * std::sin(angle));
}

complex pow(const complex& z, const complex& w) {
    if (isZero(z) && w.re > 0)
        return complex();
    const complex l = log(z);
    const double tr = l.re * w.re - w.im * l.im;
    const double ti = l.re * w.im + w.re * l.im;
    const double e = std::exp(tr);
    return complex(e * std::cos(ti), e * std::sin(ti));
}
