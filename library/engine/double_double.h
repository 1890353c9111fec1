// Unevaluated sums hi + lo of two doubles (|lo| <= half an ulp of hi), with
// error-free transformations built from plain double operations only (no
// fused multiply-add, which the library never contracts to), so every
// platform computes the same bits. Used by the accurate exp and tanh.
#ifndef OMBREL_DOUBLE_DOUBLE_H
#define OMBREL_DOUBLE_DOUBLE_H

#include <bit>
#include <cstdint>

struct DoubleDouble {
    double hi;
    double lo;
};

// a + b exactly (Knuth), for any a, b without overflow.
inline DoubleDouble two_sum(double a, double b) noexcept
{
    const double s = a + b;
    const double bb = s - a;
    const double e = (a - (s - bb)) + (b - bb);
    return {s, e};
}

// a + b exactly, given |a| >= |b| or a == 0 (Dekker).
inline DoubleDouble fast_two_sum(double a, double b) noexcept
{
    const double s = a + b;
    return {s, b - (s - a)};
}

// a * b exactly (Dekker, Veltkamp's split into 26-bit halves), for
// |a|, |b| < 2^995 and a product above 2^-969.
inline DoubleDouble two_product(double a, double b) noexcept
{
    constexpr double SPLITTER = 0x1.0p27 + 1.0;
    const double ca = SPLITTER * a;
    const double a_hi = ca - (ca - a);
    const double a_lo = a - a_hi;
    const double cb = SPLITTER * b;
    const double b_hi = cb - (cb - b);
    const double b_lo = b - b_hi;
    const double p = a * b;
    const double e = ((a_hi * b_hi - p) + a_hi * b_lo + a_lo * b_hi) + a_lo * b_lo;
    return {p, e};
}

// a + b to about 2^-104 relative.
inline DoubleDouble dd_add(DoubleDouble a, DoubleDouble b) noexcept
{
    const DoubleDouble s = two_sum(a.hi, b.hi);
    return fast_two_sum(s.hi, s.lo + (a.lo + b.lo));
}

// a / b to about 2^-100 relative (b.hi != 0).
inline DoubleDouble dd_divide(DoubleDouble a, DoubleDouble b) noexcept
{
    const double q1 = a.hi / b.hi;
    const DoubleDouble m = two_product(q1, b.hi);
    const double remainder = (((a.hi - m.hi) - m.lo) + a.lo) - q1 * b.lo;
    return fast_two_sum(q1, remainder / b.hi);
}

// The float nearest to a.hi + a.lo (a positive, finite), ties to even:
// a.hi + a.lo is first rounded to odd at double precision (a.hi, or its
// neighbour toward a.lo when a.hi is even and a.lo != 0), which makes the
// one rounding to float correct, normal or subnormal, since a float has at
// most 53 - 2 significant bits. a.lo's sign and zeroness are read from its
// bits, so no double comparison (software routines on some devices) is needed.
inline float dd_to_float(DoubleDouble a) noexcept
{
    std::int64_t bits = std::bit_cast<std::int64_t>(a.hi);
    const std::uint64_t low = std::bit_cast<std::uint64_t>(a.lo);
    if ((low << 1) != 0 && (bits & 1) == 0) {
        bits += (low >> 63) == 0 ? 1 : -1;
    }
    return static_cast<float>(std::bit_cast<double>(bits));
}

#endif
