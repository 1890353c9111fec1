// Short decimals: the conversion that the converter and the fast paths try
// first.
//
// A short decimal is an integer m of at most 2^53 (15 digits always are)
// times 10^k with -22 <= k <= 22, so that both m and 10^|k| are exact
// doubles.
#ifndef OMBREL_SHORT_DECIMAL_H
#define OMBREL_SHORT_DECIMAL_H

#include "number_chars.h"

#include <bit>
#include <cstdint>

inline constexpr std::uint64_t SHORT_DECIMAL_MANTISSA_LIMIT = std::uint64_t{1} << 53;
inline constexpr int SHORT_DECIMAL_EXPONENT_LIMIT = 22;

// Powers of ten that a double holds exactly: 10^22 < 2^53 * 2^22, and 5^22 < 2^53.
inline constexpr double EXACT_POWERS_OF_TEN[] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22,
};

// m * 10^k, correctly rounded: one rounding of an operation on exact operands.
inline double short_decimal_to_double(std::uint64_t mantissa, int exponent) noexcept
{
    const double m = static_cast<double>(mantissa);
    return exponent < 0 ? m / EXACT_POWERS_OF_TEN[-exponent] : m * EXACT_POWERS_OF_TEN[exponent];
}

// The correctly rounded double d of a short decimal, rounded to float, is
// the correctly rounded float of the text unless d is exactly halfway
// between two floats: the text may then lie on either side of that
// midpoint, and the conversion is refused (false) for the exact path. (For
// m >= 1, d lies in [10^-22, 2^53 * 10^22], above the float subnormals,
// whose midpoints are spaced differently, and below the largest float.)
inline bool short_decimal_double_to_float(double d, bool negative, float* value) noexcept
{
    // A double halfway between two floats has its 29 bits below the float
    // mantissa equal to 1 followed by 28 zeros.
    if ((std::bit_cast<std::uint64_t>(d) & 0x1FFFFFFFu) == 0x10000000u) {
        return false;
    }
    // The sign goes in as a bit: signs of real data follow no pattern that
    // a branch could learn.
    const auto rounded = std::bit_cast<std::uint32_t>(static_cast<float>(d));
    *value = std::bit_cast<float>(rounded | std::uint32_t{negative} << 31);
    return true;
}

// m * 10^k to float, or false for the exact path.
inline bool short_decimal_to_float(std::uint64_t mantissa, int exponent, bool negative, float* value) noexcept
{
    return short_decimal_double_to_float(short_decimal_to_double(mantissa, exponent), negative, value);
}

// The fast paths' case, m / 10^k with k digits after the point (0 to 22).
inline bool short_fraction_to_float(std::uint64_t mantissa, int after_point, bool negative, float* value) noexcept
{
    return short_decimal_double_to_float(static_cast<double>(mantissa) / EXACT_POWERS_OF_TEN[after_point],
                                         negative, value);
}

#endif
