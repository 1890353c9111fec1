// Rounding of an exactly known binary value to float or double: nearest,
// ties to even, subnormals kept, overflow to infinity.
#ifndef OMBREL_BINARY_ROUNDING_H
#define OMBREL_BINARY_ROUNDING_H

#include <bit>
#include <cstdint>
#include <limits>
#include <type_traits>

// The value (q + f) * 2^exp2, with q > 0 and f = 0 when sticky is false, f
// in (0, 1) when it is true. A sticky value must have q of at least
// digits + 2 bits, so that f lies below the rounding bit.
template <typename T>
T round_binary(std::uint64_t q, std::int64_t exp2, bool sticky, bool negative) noexcept
{
    using Bits = std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>;
    constexpr int P = std::numeric_limits<T>::digits;                // 24 or 53
    constexpr std::int64_t MIN_EXP = std::numeric_limits<T>::min_exponent - 1; // of the least normal: -126, -1022
    constexpr std::int64_t MAX_EXP = std::numeric_limits<T>::max_exponent - 1; // 127, 1023
    const Bits sign = negative ? Bits{1} << (8 * sizeof(T) - 1) : Bits{0};
    const Bits infinity = std::bit_cast<Bits>(std::numeric_limits<T>::infinity());

    // The value lies in [2^e, 2^(e+1)).
    const std::int64_t e = exp2 + static_cast<std::int64_t>(std::bit_width(q)) - 1;
    if (e > MAX_EXP) {
        return std::bit_cast<T>(sign | infinity);
    }
    // The weight of the result's last place, and the bits of q below it.
    const std::int64_t last_place = (e > MIN_EXP ? e : MIN_EXP) - (P - 1);
    const std::int64_t below = last_place - exp2;
    std::uint64_t mantissa;
    if (below <= 0) {
        mantissa = q << -below; // exact: at most P bits
    } else if (below > 64) {
        mantissa = 0; // under half the least subnormal
    } else {
        const std::uint64_t rest = below == 64 ? q : q & ((std::uint64_t{1} << below) - 1);
        const std::uint64_t half = std::uint64_t{1} << (below - 1);
        mantissa = below == 64 ? 0 : q >> below;
        mantissa += rest > half || (rest == half && (sticky || (mantissa & 1) != 0));
    }
    // A subnormal's bits are its mantissa; rounding up into the least normal
    // carries into the exponent field, as rounding up a normal's all-ones
    // mantissa does into the next binade or infinity.
    Bits bits = static_cast<Bits>(mantissa);
    if (e >= MIN_EXP) {
        bits = static_cast<Bits>((static_cast<std::uint64_t>(e - MIN_EXP + 1) << (P - 1)) +
                                 (mantissa - (std::uint64_t{1} << (P - 1))));
    }
    return std::bit_cast<T>(sign | bits);
}

#endif
