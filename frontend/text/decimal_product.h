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
// unless d > 0 and h1 is all ones, where f may reach 1: that undecided
// window, about one product in 2^64, is left to the exact path.
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
// without the call.
template <typename T>
T round_product(std::uint64_t h2, std::int64_t exp2, bool sticky, bool negative) noexcept
{
    using Bits = std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>;
    constexpr int P = std::numeric_limits<T>::digits;
    constexpr std::int64_t MIN_EXP = std::numeric_limits<T>::min_exponent - 1;
    constexpr std::int64_t MAX_EXP = std::numeric_limits<T>::max_exponent - 1;
    const int high = 62 + static_cast<int>(h2 >> 63); // h2's leading bit
    const std::int64_t e = exp2 + high;                // the value lies in [2^e, 2^(e+1))
    if (e < MIN_EXP || e > MAX_EXP) {
        return round_binary<T>(h2, exp2, sticky, negative);
    }
    const int below = high + 1 - P; // bits under the result's last place
    const std::uint64_t rest = h2 & ((std::uint64_t{1} << below) - 1);
    const std::uint64_t half = std::uint64_t{1} << (below - 1);
    std::uint64_t mantissa = h2 >> below;
    mantissa += rest > half || (rest == half && (sticky || (mantissa & 1) != 0));
    // The leading bit adds the exponent field's 1; a carry out of an
    // all-ones mantissa goes on into the next binade, or to infinity.
    const Bits sign = negative ? Bits{1} << (8 * sizeof(T) - 1) : Bits{0};
    return std::bit_cast<T>(sign | static_cast<Bits>((static_cast<std::uint64_t>(e - MIN_EXP) << (P - 1)) + mantissa));
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
    // H = high * 2^64 + low.
    const unsigned __int128 middle = (high & UINT64_MAX) + (low >> 64);
    const std::uint64_t h2 = static_cast<std::uint64_t>(high >> 64) + static_cast<std::uint64_t>(middle >> 64);
    const std::uint64_t h1 = static_cast<std::uint64_t>(middle);
    const std::uint64_t h0 = static_cast<std::uint64_t>(low);
    const bool exact = q >= 0;
    if (!exact && h1 == UINT64_MAX) {
        return false;
    }
    const bool sticky = !exact || (h1 | h0) != 0;
    const std::int64_t exp2 = std::int64_t{128} + p.exponent + q - z;
    *value = round_product<T>(h2, exp2, sticky, negative);
    return true;
}

#endif
