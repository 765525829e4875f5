// The library's double-precision complex value type and its elementary functions. Every
// function follows one fixed formula, so results are reproducible bit for bit.
//
//   complex z(3, 4);
//   double m = abs(z);                  // 5
//   complex r = sqrt(complex(-4, 0));   // 0 + 2i (to rounding)
//   complex w = pow(-8.0, complex(1.0 / 3, 0)); // 1 + 1.7320508i, the principal value
#pragma once

/// A complex number: the real part `re`, then the imaginary part `im`. A plain value type;
/// a double converts to it implicitly with a zero imaginary part.
class complex {
public:
    double re; ///< real part
    double im; ///< imaginary part

    constexpr complex(double r = 0, double i = 0) : re(r), im(i) {}

    constexpr double real() const { return re; }
    constexpr double imag() const { return im; }

    /// Product: real ac - bd, imaginary bc + ad.
    complex& operator*=(const complex& w);
    /// Quotient without scaling: ((ac + bd) + i(bc - ad)) / (c^2 + d^2); a divisor whose
    /// squared modulus overflows or underflows gives zeros, infinities or NaNs.
    complex& operator/=(const complex& w);

    complex& operator+=(const complex& w) {
        re += w.re;
        im += w.im;
        return *this;
    }
    complex& operator-=(const complex& w) {
        re -= w.re;
        im -= w.im;
        return *this;
    }

    /// Both parts equal (so NaN parts never compare equal).
    friend constexpr bool operator==(const complex& a, const complex& b) {
        return a.re == b.re && a.im == b.im;
    }
};

inline double real(const complex& z) {
    return z.re;
}
inline double imag(const complex& z) {
    return z.im;
}

inline complex operator+(const complex& a, const complex& b) {
    return complex(a.re + b.re, a.im + b.im);
}
inline complex operator-(const complex& a, const complex& b) {
    return complex(a.re - b.re, a.im - b.im);
}
inline complex operator-(const complex& a) {
    return complex(-a.re, -a.im);
}

/// Product (a+ib)(c+id): real ac - bd, imaginary bc + ad.
complex operator*(const complex& a, const complex& b);
/// Quotient (a+ib)/(c+id) without scaling, as operator/=.
complex operator/(const complex& a, const complex& b);
/// r / (c+id): real rc/(c^2 + d^2), imaginary -rd/(c^2 + d^2).
complex operator/(double r, const complex& w);

/// Squared modulus y^2 + x^2 (no overflow protection).
double norm(const complex& z);
/// Modulus sqrt(y^2 + x^2) (no overflow protection).
double abs(const complex& z);
/// Phase atan2(y, x); 0 when both parts are zero (-0.0 counts as zero, NaN does not).
double arg(const complex& z);

/// e^x (cos y + i sin y).
complex exp(const complex& z);
/// Natural logarithm: log|z| + i arg(z); log of zero is -infinity + 0i.
complex log(const complex& z);
/// Base-10 logarithm: log(z) with both parts multiplied by 0.4342944819032518.
complex log10(const complex& z);
/// Principal square root: fourth root of y^2 + x^2 at half the phase.
complex sqrt(const complex& z);

/// Trigonometric and hyperbolic functions, through exp of the real or imaginary part.
complex sin(const complex& z);
complex cos(const complex& z);
complex tan(const complex& z);
complex sinh(const complex& z);
complex cosh(const complex& z);
complex tanh(const complex& z);

/// Inverse functions on the principal branches, through w = 1 - z^2 and its square root.
complex asin(const complex& z);
complex acos(const complex& z);
complex atan(const complex& z);

/// z to a real power: zero when z is zero and p > 0, otherwise |z|^p at p times the phase
/// (so zero to the power 0 is 1 + 0i; zero to a negative or NaN power follows the real pow).
complex pow(const complex& z, double p);
/// A real base to a complex power: zero when r is zero and re(w) > 0. A base <= 0 is taken
/// as |r| e^(i pi), so pow(-8.0, 1/3 + 0i) is the principal value 1 + 1.7320508i.
complex pow(double r, const complex& w);
/// exp(w log z); zero when z is zero and re(w) > 0.
complex pow(const complex& z, const complex& w);
