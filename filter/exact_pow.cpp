// exactPow: pow through double-double arithmetic.
//
//   log x = k ln 2 + 2 atanh(s),  s = (m - 1) / (m + 1),  x = m 2^k, m in [0.707, 1.414)
//   exp t = 2^n (1 + p)^256,      t = n ln 2 + 256 r,     e^r - 1 = p by Taylor series
//
// Every intermediate is a pair of doubles (hi + lo, about 104 bits), built
// with the error-free sum and the Dekker product, so the result before its
// final rounding is within about 2^-94 of the true power, and exact powers
// come out exact. Powers that lie exactly halfway between two doubles (such
// as (41/128)^10) are found apart and rounded to even, so the result is the
// correctly rounded power wherever the true power is not merely within
// 2^-94 of a halfway point without lying on it; such near misses would need
// an input of some 94 bits' closeness, and none is known for doubles. Uses
// no fused multiply-add; the build keeps the compiler from contracting
// either.
#include "exact_pow.h"

#include <cmath>
#include <cstdint>
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

// x^y when it lies exactly halfway between two doubles, where the
// double-double result (a hair above or below the true value) could round
// either way: then it is rounded here to the even neighbour.
//
// Write x = mx 2^ex with mx odd and y = p / 2^k with p odd, y > 0. A power
// with 54 significant bits needs an odd integer mantissa, which x^y has
// only when mx is a perfect 2^k-th power, mx = w^(2^k), and 2^k divides ex;
// then x^y = w^p 2^(p ex / 2^k). With mx >= 3 below 2^53, k is at most 5.
// Negative powers never land halfway: 1 / mx^p is no integer for mx > 1.
bool halfwayPower(double x, double y, double& rounded) {
    if (!(x > 0.0) || !(y > 0.0) || std::isinf(x) || std::isinf(y)) return false;
    int xe = 0, ye = 0;
    std::uint64_t mx = static_cast<std::uint64_t>(std::ldexp(std::frexp(x, &xe), 53));
    std::uint64_t p = static_cast<std::uint64_t>(std::ldexp(std::frexp(y, &ye), 53));
    int ex = xe - 53, ey = ye - 53;
    for (; (mx & 1) == 0; mx >>= 1) ++ex;
    for (; (p & 1) == 0; p >>= 1) ++ey;
    if (mx == 1) return false; // a power of two: a power of two or irrational
    int k = 0;
    if (ey >= 0) {
        if (ey > 6 || (p << ey) > 64) return false; // 3^65 is far beyond 54 bits
        p <<= ey;
    } else {
        k = -ey;
        if (k > 5) return false;
    }
    std::uint64_t w = mx;
    for (int i = 0; i < k; ++i) { // w = the square root of w, when it is whole
        std::uint64_t r = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(w)));
        while (r * r > w) --r;
        while ((r + 1) * (r + 1) <= w) ++r;
        if (r * r != w) return false;
        w = r;
    }
    const int step = 1 << k;
    if (ex % step != 0) return false;
    std::uint64_t v = 1;
    for (std::uint64_t i = 0; i < p; ++i) {
        v *= w; // w < 2^53 and v <= 2^54 before: no wrap-around below 2^107 is needed
        if (v >= (std::uint64_t(1) << 54)) return false;
    }
    if (v < (std::uint64_t(1) << 53)) return false; // exactly a double: no rounding at all
    const long long e = static_cast<long long>(ex / step) * static_cast<long long>(p);
    if (e > 1100 || e < -1100) return false;
    const std::uint64_t even = ((v - 1) / 2) % 2 == 0 ? v - 1 : v + 1;
    rounded = std::ldexp(static_cast<double>(even), static_cast<int>(e));
    return rounded >= std::numeric_limits<double>::min() && !std::isinf(rounded);
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
    double halfway = 0.0;
    if (halfwayPower(x, y, halfway)) return halfway;
    const DD l = logDD(x);
    const double t = l.hi * y; // decides over- and underflow; may be infinite
    if (t > 710.0) return inf;
    if (t < -746.0) return 0.0;
    return expDD(mul(l, y));
}
