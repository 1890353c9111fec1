#include "engine/exp_accurate.h"

#include "engine/elementary_constants.h"

#include <bit>
#include <cmath>
#include <cstdint>

namespace {

struct ScaledExp {
    DoubleDouble mantissa; // in [0.98, 2.03]
    int exponent;
};

// y = k ln2/32 + r with k the nearest integer to y 32/ln2 and ln2/32 = P0 +
// P1 + P2 (STEP_PARTS, floats: every k*P is exact in double for |k| < 2^13).
// y - k*P0 is exact by Sterbenz's lemma (for k != 0, k*P0 lies within a
// factor 2 of y), minus k*P1 a multiple of 2^-54 below 2^-6, exact too; with
// k*P2 it forms r exactly as a double-double, within k 2^-83 < 2^-70.7 of
// the true remainder, |r| <= ln2/64 + 2^-40.
// e^r - 1 = r + r^2/2 + r^3 (1/6 + ... + r^5/8!): the truncation is below
// (0.01083)^9/9! < 2^-77, r^2 is formed exactly, and the double evaluation of
// the cubic tail (< 2^-22) errs by less than 2^-74. The table entry, t_hi +
// t_lo within 2^-73 (t_lo up to half a float ulp of t_hi: the sums below
// take it as a small term), times 1 + p adds under 2^-72.
ScaledExp exp_scaled(double y) noexcept
{
    constexpr double SHIFTER = 0x1.8p52;
    const double shifted = y * INVERSE_STEP + SHIFTER;
    const double k = shifted - SHIFTER;
    const std::int64_t n = std::bit_cast<std::int64_t>(shifted) - std::bit_cast<std::int64_t>(SHIFTER);

    const double s = (y - k * static_cast<double>(STEP_PARTS[0])) - k * static_cast<double>(STEP_PARTS[1]);
    const DoubleDouble r = two_sum(s, -(k * static_cast<double>(STEP_PARTS[2])));

    const DoubleDouble square = two_product(r.hi, r.hi);
    const double x = r.hi;
    constexpr const double* c = INVERSE_FACTORIAL;
    const double tail = x * x * x * (c[3] + x * (c[4] + x * (c[5] + x * (c[6] + x * (c[7] + x * c[8])))));
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
    const double power = std::bit_cast<double>(static_cast<std::int64_t>(1023 + e) << 52);
    return {a.hi * power, a.lo * power};
}

// For y in [-105, 90]: e^y to within 2^-69 relative (a positive, normal
// double-double: no underflow even where e^y is a subnormal float).
DoubleDouble exp_accurate(double y) noexcept
{
    const ScaledExp e = exp_scaled(y);
    return scale(e.mantissa, e.exponent);
}

// For y in [2^-12, 20]: e^y - 1 to within 2^-62 relative. (Below ln2/64
// e^y - 1 is the polynomial itself, within 2^-77 absolute; above, the
// subtraction magnifies 2^-69 by at most e^y / (e^y - 1) < 93.)
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
