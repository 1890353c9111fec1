// The conversion of a short plain decimal: its digits as one integer m (at
// most 15 digits, so m < 2^53) and the number k of digits after the point
// (at most 22, so 10^k is exact as a double).
#ifndef OMBREL_SHORT_DECIMAL_H
#define OMBREL_SHORT_DECIMAL_H

#include <bit>
#include <cstdint>

// Powers of ten that a double holds exactly: 10^22 < 2^53 * 2^22, and 5^22 < 2^53.
inline constexpr double EXACT_POWERS_OF_TEN[] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22,
};

// m / 10^k is the correctly rounded double d of the text. Rounding d to
// float gives the correctly rounded float of the text unless d is exactly
// halfway between two floats: the text may then lie on either side of that
// midpoint, and the conversion is refused (false) for the general path. (The
// quotient is at least 10^-22, far above the float subnormal range, whose
// midpoints are spaced differently, and below 10^15, far from overflow.)
inline bool short_decimal_to_float(std::uint64_t mantissa, int after_point, bool negative,
                                   float* value) noexcept
{
    const double quotient = static_cast<double>(mantissa) / EXACT_POWERS_OF_TEN[after_point];
    // A double halfway between two floats has its 29 bits below the float
    // mantissa equal to 1 followed by 28 zeros.
    if ((std::bit_cast<std::uint64_t>(quotient) & 0x1FFFFFFFu) == 0x10000000u) {
        return false;
    }
    const float rounded = static_cast<float>(quotient);
    *value = negative ? -rounded : rounded;
    return true;
}

#endif
