// Long decimals: w * 10^q, w an integer of up to 19 digits, rounded to float
// or double with one 64x128-bit product against a power of five.
//
// With w' = w * 2^z normalised (2^63 <= w' < 2^64) and 5^q = (P + d) * 2^E
// (powers_of_five.h), w * 10^q = w' * (P + d) * 2^(E + q - z). The product
// H = w' * P is exact in 192 bits, H = h2 * 2^128 + h1 * 2^64 + h0, and the
// value's true product w' * (P + d) lies in [H, H + w'), w' < 2^64: it is
// (h2 + f) * 2^128 with f = (h1 * 2^64 + h0 + e) / 2^128 for some e in
// [0, 2^64), e = 0 exactly when d = 0. Rounding to nearest reads only the
// integer part h2 (of 63 or 64 bits, far more than the 24 or 53 kept and the
// rounding bit) and whether f is zero: for any f strictly between 0 and 1
// it is rounding h2 with a sticky bit. So the product decides the float
// unless d > 0 and h1 is all ones, where f may reach 1. There (about one
// product in 2^64, but every decimal whose value is a binary fraction, such
// as 0.5 or 1.000000000000000000e+00, as then w' * (P + d) has 64 low zero
// bits) the value lies within 2^-64 of h2 + 1 on either side: it rounds as
// h2 + 1 does unless h2 + 1 is a rounding midpoint; that undecided window,
// and any result outside the normal range there, is left to the exact path.
#ifndef OMBREL_DECIMAL_PRODUCT_H
#define OMBREL_DECIMAL_PRODUCT_H

#include "binary_rounding.h"
#include "powers_of_five.h"

#include <bit>
#include <cstdint>
#include <limits>
#include <type_traits>

// (h2 + f) * 2^exp2 rounded as round_binary rounds it, h2 of 63 or 64 bits
// and f in [0, 1), nonzero when sticky; a normal result, the common case,
// without the call and without a branch on the bits.
template <typename T>
[[gnu::always_inline]] inline T round_product(std::uint64_t h2, std::int64_t exp2, bool sticky, bool negative) noexcept
{
    using Bits = std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>;
    constexpr int P = std::numeric_limits<T>::digits;
    constexpr std::int64_t MIN_EXP = std::numeric_limits<T>::min_exponent - 1;
    constexpr std::int64_t MAX_EXP = std::numeric_limits<T>::max_exponent - 1;
    constexpr int BELOW = 64 - P; // bits under the result's last place, once the leading bit is bit 63
    const int top = static_cast<int>(h2 >> 63);
    const std::int64_t e = exp2 + 62 + top; // the value lies in [2^e, 2^(e+1))
    if (e < MIN_EXP || e > MAX_EXP) {
        return round_binary<T>(h2, exp2, sticky, negative);
    }
    // Shifting in a zero bit under a 63-bit h2 leaves rest even; the value's
    // true rest lies in [rest, rest + 2) and is rest only when not sticky,
    // so against the even half it rounds as rest + sticky does.
    const std::uint64_t h = h2 << (1 - top);
    const std::uint64_t rest = h & ((std::uint64_t{1} << BELOW) - 1);
    std::uint64_t mantissa = h >> BELOW;
    mantissa += rest + (static_cast<std::uint64_t>(sticky) | (mantissa & 1)) > std::uint64_t{1} << (BELOW - 1);
    // The leading bit adds the exponent field's 1; a carry out of an
    // all-ones mantissa goes on into the next binade, or to infinity.
    const Bits sign = static_cast<Bits>(Bits{negative} << (8 * sizeof(T) - 1));
    return std::bit_cast<T>(sign | static_cast<Bits>((static_cast<std::uint64_t>(e - MIN_EXP) << (P - 1)) + mantissa));
}

// A value within 2^-64 of h * 2^exp2 (h below 2^64, of 63 or 64 bits) on
// either side, rounded into *value when that decides it: when the result is
// normal and h is no midpoint between two of its neighbours (h2 + 1 of at
// most 2^64 - 1, as h2 <= (2^64 - 1) * (2^128 - 1) / 2^128).
template <typename T>
[[gnu::noinline]] bool round_near_product(std::uint64_t h, std::int64_t exp2, bool negative, T* value) noexcept
{
    constexpr int P = std::numeric_limits<T>::digits;
    const int high = 63 - std::countl_zero(h);
    const std::int64_t e = exp2 + high;
    const int below = high + 1 - P;
    if (e < std::numeric_limits<T>::min_exponent - 1 || e > std::numeric_limits<T>::max_exponent - 1 ||
        (h & ((std::uint64_t{1} << below) - 1)) == std::uint64_t{1} << (below - 1)) {
        return false;
    }
    *value = round_product<T>(h, exp2, false, negative);
    return true;
}

// w * 10^q rounded to nearest, ties to even, into *value (with the sign);
// false, with *value unchanged, when q lies outside the table or in the
// undecided window.
template <typename T>
[[gnu::always_inline]] inline bool decimal_product_to(std::uint64_t w, std::int64_t q, bool negative, T* value) noexcept
{
    if (w == 0) {
        *value = negative ? -T(0) : T(0);
        return true;
    }
    if (q < POWER_OF_FIVE_LEAST || q > POWER_OF_FIVE_GREATEST) {
        return false;
    }
    const PowerOfFive& p = POWERS_OF_FIVE[q - POWER_OF_FIVE_LEAST];
    const int z = std::countl_zero(w);
    const std::uint64_t normal = w << z;
    const unsigned __int128 low = static_cast<unsigned __int128>(normal) * p.low;
    const unsigned __int128 high = static_cast<unsigned __int128>(normal) * p.high;
    // H = high * 2^64 + low, the middle word's carry added to the top one.
    const std::uint64_t low_top = static_cast<std::uint64_t>(low >> 64);
    const std::uint64_t h1 = static_cast<std::uint64_t>(high) + low_top;
    const std::uint64_t h2 = static_cast<std::uint64_t>(high >> 64) + (h1 < low_top);
    const std::uint64_t h0 = static_cast<std::uint64_t>(low);
    const bool exact = q >= 0;
    const std::int64_t exp2 = std::int64_t{128} + p.exponent + q - z;
    if (!exact && h1 == UINT64_MAX) {
        return round_near_product(h2 + 1, exp2, negative, value);
    }
    const bool sticky = !exact || (h1 | h0) != 0;
    *value = round_product<T>(h2, exp2, sticky, negative);
    return true;
}

#endif
