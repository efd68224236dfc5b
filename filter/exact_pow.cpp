// exactPow: pow through double-double arithmetic.
//
//   log x = k ln 2 + 2 atanh(s),  s = (m - 1) / (m + 1),  x = m 2^k, m in [0.707, 1.414)
//   exp t = 2^n (1 + p)^256,      t = n ln 2 + 256 r,     e^r - 1 = p by Taylor series
//
// Every intermediate is a pair of doubles (hi + lo, about 104 bits), built
// with the error-free sum and the Dekker product, so the result before its
// final rounding is within about 2^-94 of the true power: the rounding to
// double is the correct one but for inputs nearer a rounding midpoint than
// that, and exact powers come out exact. Uses no fused multiply-add; the
// build keeps the compiler from contracting either.
#include "exact_pow.h"

#include <cmath>
#include <limits>

namespace {

struct DD {
    double hi;
    double lo;
};

DD twoSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    const double e = (a - (s - bb)) + (b - bb);
    return {s, e};
}

DD quickTwoSum(double a, double b) { // needs |a| >= |b|
    const double s = a + b;
    return {s, b - (s - a)};
}

void split(double a, double& hi, double& lo) {
    const double t = 134217729.0 * a; // 2^27 + 1
    hi = t - (t - a);
    lo = a - hi;
}

DD twoProd(double a, double b) {
    const double p = a * b;
    double ah, al, bh, bl;
    split(a, ah, al);
    split(b, bh, bl);
    const double e = ((ah * bh - p) + ah * bl + al * bh) + al * bl;
    return {p, e};
}

DD add(DD a, DD b) {
    DD s = twoSum(a.hi, b.hi);
    const DD t = twoSum(a.lo, b.lo);
    s.lo += t.hi;
    s = quickTwoSum(s.hi, s.lo);
    s.lo += t.lo;
    return quickTwoSum(s.hi, s.lo);
}

DD mul(DD a, DD b) {
    DD p = twoProd(a.hi, b.hi);
    p.lo += a.hi * b.lo + a.lo * b.hi;
    return quickTwoSum(p.hi, p.lo);
}

DD mul(DD a, double b) {
    DD p = twoProd(a.hi, b);
    p.lo += a.lo * b;
    return quickTwoSum(p.hi, p.lo);
}

DD div(DD a, DD b) {
    const double q1 = a.hi / b.hi;
    DD r = add(a, mul(b, -q1));
    const double q2 = r.hi / b.hi;
    r = add(r, mul(b, -q2));
    const double q3 = r.hi / b.hi;
    return add(quickTwoSum(q1, q2), DD{q3, 0.0});
}

DD div(DD a, double b) {
    return div(a, DD{b, 0.0});
}

const DD kLn2 = {0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56};

// Natural logarithm of a positive finite x.
DD logDD(double x) {
    int k = 0;
    double m = std::frexp(x, &k);   // exact: m in [0.5, 1)
    if (m < 0x1.6a09e667f3bcdp-1) { // below sqrt(1/2): move to [0.707, 1.414)
        m *= 2.0;
        --k;
    }
    const DD s = div(DD{m - 1.0, 0.0}, twoSum(m, 1.0)); // m - 1 is exact here
    const DD s2 = mul(s, s);
    // atanh(s) / s = sum s^2n / (2n + 1); |s| <= 0.1716, so 23 terms reach 2^-110.
    DD acc = div(DD{1.0, 0.0}, 45.0);
    for (int n = 21; n >= 0; --n) acc = add(mul(acc, s2), div(DD{1.0, 0.0}, 2.0 * n + 1.0));
    const DD atanh2 = mul(mul(acc, s), 2.0);
    return add(mul(kLn2, static_cast<double>(k)), atanh2);
}

// e^t rounded to double, for t in -746..710 (the caller handles the rest).
double expDD(DD t) {
    const double n = std::floor(t.hi / kLn2.hi + 0.5);
    DD r = add(t, mul(kLn2, -n));
    r = mul(r, 1.0 / 256.0); // exact
    // p = e^r - 1 by Taylor series; |r| <= 0.0014, so 11 terms reach 2^-120.
    DD coef[12];
    coef[1] = {1.0, 0.0};
    for (int i = 2; i < 12; ++i) coef[i] = div(coef[i - 1], static_cast<double>(i));
    DD p = coef[11];
    for (int i = 10; i >= 1; --i) p = add(mul(p, r), coef[i]);
    p = mul(p, r);
    // (1 + p)^2 - 1 = 2p + p^2, eight times: keeps the small part exact.
    for (int i = 0; i < 8; ++i) p = add(mul(p, 2.0), mul(p, p));
    const DD result = add(DD{1.0, 0.0}, p);
    return std::ldexp(result.hi, static_cast<int>(n));
}

} // namespace

double exactPow(double x, double y) {
    const double inf = std::numeric_limits<double>::infinity();
    if (y == 0.0 || x == 1.0) return 1.0;
    if (std::isnan(x) || std::isnan(y)) return std::numeric_limits<double>::quiet_NaN();
    if (x < 0.0) return std::numeric_limits<double>::quiet_NaN(); // the tone curve never asks
    if (x == 0.0) return y > 0.0 ? 0.0 : inf;
    if (std::isinf(x)) return y > 0.0 ? inf : 0.0;
    if (std::isinf(y)) return ((x < 1.0) == (y > 0.0)) ? 0.0 : inf;
    const DD l = logDD(x);
    const double t = l.hi * y; // decides over- and underflow; may be infinite
    if (t > 710.0) return inf;
    if (t < -746.0) return 0.0;
    return expDD(mul(l, y));
}
