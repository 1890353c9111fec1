#include "engine/exp_accurate.h"

#include "engine/exp_float_table.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

struct ScaledExp {
    DoubleDouble mantissa; // in [0.98, 2.03]
    int exponent;
};

// y = k ln2/32 + r with k the nearest integer to y 32/ln2 and ln2/32 = c1 +
// c2 + c3 (c1 and c2 of 40 bits, so k*c1 and k*c2 are exact for |k| < 2^13,
// and y - k*c1 is exact by Sterbenz's lemma: for k != 0, k*c1 lies within a
// factor 2 of y); r is then a double-double within 2^-120 of the true
// remainder, |r| <= ln2/64 + 2^-40.
// e^r - 1 = r + r^2/2 + r^3 (1/6 + ... + r^5/8!): the truncation is below
// (0.01083)^9/9! < 2^-77, r^2 is formed exactly, and the double evaluation of
// the cubic tail (< 2^-22) errs by less than 2^-74. The table entry, t_hi +
// t_lo within 2^-73 (t_lo up to half a float ulp of t_hi: the sums below
// take it as a small term), times 1 + p adds under 2^-72.
ScaledExp exp_scaled(double y) noexcept
{
    constexpr double SHIFTER = 0x1.8p52;
    constexpr std::int64_t SHIFTER_BITS = 0x4338000000000000;
    const double shifted = y * 0x1.71547652b82fep+5 + SHIFTER;
    const double k = shifted - SHIFTER;
    std::int64_t n;
    std::memcpy(&n, &shifted, sizeof n);
    n = n - SHIFTER_BITS;

    const double s1 = y - k * 0x1.62e42fefa4000p-6;
    const DoubleDouble s2 = two_sum(s1, -(k * -0x1.8432a1b0e2000p-48));
    const DoubleDouble r = fast_two_sum(s2.hi, s2.lo - k * -0x1.8cff81a12a17ep-90);

    const DoubleDouble square = two_product(r.hi, r.hi);
    const double x = r.hi;
    const double tail =
        x * x * x *
        (0x1.5555555555555p-3 +
         x * (0x1.5555555555555p-5 +
              x * (0x1.1111111111111p-7 +
                   x * (0x1.6c16c16c16c17p-10 + x * (0x1.a01a01a01a01ap-13 + x * 0x1.a01a01a01a01ap-16)))));
    const DoubleDouble head = two_sum(r.hi, square.hi * 0.5);
    const DoubleDouble p = fast_two_sum(head.hi, head.lo + (r.lo + (square.lo * 0.5 + (x * r.lo + tail))));

    const FloatFloat entry = EXP2_TABLE[n & 31];
    const double t_hi = static_cast<double>(entry.hi);
    const double t_lo = static_cast<double>(entry.lo) + static_cast<double>(EXP2_TABLE_LOWEST[n & 31]);
    const DoubleDouble product = two_product(t_hi, p.hi);
    const DoubleDouble sum = two_sum(t_hi, product.hi);
    const double low = sum.lo + (product.lo + (t_hi * p.lo + t_lo * (1.0 + p.hi)));
    return {fast_two_sum(sum.hi, low), static_cast<int>(n >> 5)};
}

// Multiplying both parts by 2^e is exact while they stay normal doubles.
DoubleDouble scale(DoubleDouble a, int e) noexcept
{
    const std::int64_t bits = static_cast<std::int64_t>(1023 + e) << 52;
    double power;
    std::memcpy(&power, &bits, sizeof power);
    return {a.hi * power, a.lo * power};
}

// For y in [-105, 90]: e^y to within 2^-70 relative (a positive, normal
// double-double: no underflow even where e^y is a subnormal float).
DoubleDouble exp_accurate(double y) noexcept
{
    const ScaledExp e = exp_scaled(y);
    return scale(e.mantissa, e.exponent);
}

// For y in [2^-12, 20]: e^y - 1 to within 2^-62 relative. (Below ln2/64
// e^y - 1 is the polynomial itself, within 2^-77 absolute; above, the
// subtraction magnifies 2^-70 by at most e^y / (e^y - 1) < 93.)
DoubleDouble expm1_accurate(double y) noexcept
{
    return dd_add(exp_accurate(y), DoubleDouble{-1.0, 0.0});
}

// One copy of the rounding for both functions below.
__attribute__((noinline)) float nearest_float(DoubleDouble a) noexcept
{
    return dd_to_float(a);
}

} // namespace

// These run for a few arguments in thousands (the fast paths decide the
// rest), so they are compiled for size (cold): on a device without
// double-precision hardware they are software double precision throughout.
__attribute__((cold)) float tanh_nearest(float x) noexcept
{
    if (x != x) {
        return x + x;
    }
    const double magnitude = static_cast<double>(std::fabs(x));
    const DoubleDouble t = expm1_accurate(magnitude + magnitude);
    const DoubleDouble quotient = dd_divide(t, dd_add(t, DoubleDouble{2.0, 0.0}));
    return std::copysign(nearest_float(quotient), x);
}

__attribute__((cold)) float exp_nearest(float x) noexcept
{
    if (x != x) {
        return x + x;
    }
    return nearest_float(exp_accurate(static_cast<double>(x)));
}
