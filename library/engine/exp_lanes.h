// The double-lane evaluation of the library's float tanh and exp (x86-64):
// e^y in double precision over independent lanes, and tanh and exp of floats
// built on it, each lane rounded to float where it lies clear of a float
// rounding midpoint and otherwise given the exact fallback's result
// (engine/exp_accurate.h). The range reduction, constants, limits and error
// bounds are those of engine/elementary_constants.h.
//
// The functions are always inlined, so a 32-byte vector never crosses a call.
// GCC still warns (-Wpsabi) where a file without AVX instantiates them with
// four lanes: such a file turns the warning off for itself.
#ifndef OMBREL_EXP_LANES_H
#define OMBREL_EXP_LANES_H

#include "engine/elementary_constants.h"
#include "engine/exp_accurate.h"

#include <bit>
#include <cmath>
#include <cstdint>

typedef double Double1 __attribute__((vector_size(8)));
typedef std::int64_t Int1 __attribute__((vector_size(8)));
typedef double Double2 __attribute__((vector_size(16)));
typedef std::int64_t Int2 __attribute__((vector_size(16)));
typedef double Double4 __attribute__((vector_size(32)));
typedef std::int64_t Int4 __attribute__((vector_size(32)));

struct Exp2Doubles {
    double value[32];
};

// 2^(j/32) as the double nearest to hi + lo + lowest (lo + lowest is exact in
// double): within 2^-53 relative.
constexpr Exp2Doubles exp2_doubles() noexcept
{
    Exp2Doubles table{};
    for (int j = 0; j < 32; ++j) {
        table.value[j] = static_cast<double>(EXP2_TABLE[j].hi) +
                         (static_cast<double>(EXP2_TABLE[j].lo) + static_cast<double>(EXP2_TABLE_LOWEST[j]));
    }
    return table;
}

inline constexpr Exp2Doubles EXP2_DOUBLES = exp2_doubles();

// e^y for every lane of y in [-88, 89] (no NaN or infinity), within 2^-50
// relative. D is a vector of doubles and I the vector of int64 of the same
// lane count.
template <typename D, typename I>
__attribute__((always_inline)) inline D exp_lanes(D y) noexcept
{
    constexpr int lanes = static_cast<int>(sizeof(D) / sizeof(double));
    // Adding 1.5 * 2^52 rounds y*32/ln2 to the nearest integer k and leaves
    // k, two's complement, in the low bits of the sum's encoding.
    constexpr double SHIFTER = 0x1.8p52;
    constexpr std::int64_t SHIFTER_BITS = 0x4338000000000000;
    const D shifted = y * INVERSE_STEP + SHIFTER;
    const D k = shifted - SHIFTER;
    // The two lower parts of ln2/32 add exactly in double (48 bits between
    // them), and k times their sum rounds by under 2^-74.
    constexpr double STEP_TAIL = static_cast<double>(STEP_PARTS[1]) + static_cast<double>(STEP_PARTS[2]);
    const D r = (y - k * static_cast<double>(STEP_PARTS[0])) - k * STEP_TAIL;

    // e^r = 1 + (r + r^2 q), q = LANES_HALF + r/6 + r^2 (LANES_TWENTY_FOURTH
    // + r/120) within 2^-52.5: every rounding inside r + r^2 q is scaled by
    // |r| < 2^-6.
    const D r2 = r * r;
    const D low = r * INVERSE_FACTORIAL[3] + LANES_HALF;
    const D high = r * INVERSE_FACTORIAL[5] + LANES_TWENTY_FOURTH;
    const D q = high * r2 + low;
    const D p = (q * r2 + r) + 1.0;

    const I n = std::bit_cast<I>(shifted) - SHIFTER_BITS;
    D t;
    for (int i = 0; i < lanes; ++i) {
        t[i] = EXP2_DOUBLES.value[n[i] & 31];
    }
    // 2^(k>>5) enters the exponent field; the table entries lie in [1, 2)
    // and k>>5 in [-128, 128], so the scaled value stays a normal double.
    return std::bit_cast<D>(std::bit_cast<I>(t) + ((n >> 5) << 52)) * p;
}

// Distance, in ulps of the double d (positive, normal), from d to the nearest
// midpoint between two floats of d's binade: the low 29 of the 52 fraction
// bits are the position between two floats, 2^28 is the midpoint.
template <typename D, typename I>
__attribute__((always_inline)) inline I ulps_from_float_midpoint(D d) noexcept
{
    const I offset = (std::bit_cast<I>(d) & 0x1fffffff) - 0x10000000;
    return offset < 0 ? -offset : offset;
}

template <typename I>
__attribute__((always_inline)) inline bool any_lane(I mask) noexcept
{
    std::int64_t any = 0;
    for (int i = 0; i < static_cast<int>(sizeof(I) / sizeof any); ++i) {
        any |= mask[i];
    }
    return any != 0;
}

template <typename I>
__attribute__((always_inline)) inline bool all_lanes(I mask) noexcept
{
    std::int64_t all = -1;
    for (int i = 0; i < static_cast<int>(sizeof(I) / sizeof all); ++i) {
        all &= mask[i];
    }
    return all != 0;
}

// The lanes the evaluations leave undecided: tanh is x itself below the
// identity limit, and otherwise the fallback's (NaN included).
inline float tanh_undecided(float x) noexcept
{
    return std::fabs(x) < TANH_IDENTITY_LIMIT ? x : tanh_nearest(x);
}

// output[i] = (float)tanh((double)input[i]) for the lanes of D: tanh|x| =
// (E - 1) / (E + 1) with E = e^(2|x|), where |x| lies between the identity
// limit and saturation (all saturated lanes skip the evaluation).
template <typename D, typename I>
__attribute__((always_inline)) inline void tanh_lanes(const float* input, float* output) noexcept
{
    constexpr int lanes = static_cast<int>(sizeof(D) / sizeof(double));
    // A copy: output may be input, and the undecided lanes read it last.
    float x[lanes];
    D magnitude;
    for (int i = 0; i < lanes; ++i) {
        x[i] = input[i];
        magnitude[i] = static_cast<double>(std::fabs(x[i]));
    }
    const I saturated = magnitude >= static_cast<double>(TANH_SATURATION);
    const I covered = (magnitude >= static_cast<double>(TANH_IDENTITY_LIMIT)) & ~saturated;
    I clear = I{};
    D value = D{} + 1.0;
    if (any_lane(covered)) {
        const D e = exp_lanes<D, I>(covered ? magnitude + magnitude : value);
        const D quotient = (e - 1.0) / (e + 1.0);
        clear = covered & (ulps_from_float_midpoint<D, I>(quotient) > LANES_TANH_WINDOW);
        value = clear ? quotient : value;
    }
    for (int i = 0; i < lanes; ++i) {
        output[i] = std::copysign(static_cast<float>(value[i]), x[i]);
    }
    if (!all_lanes(saturated | clear)) {
        for (int i = 0; i < lanes; ++i) {
            if (!(saturated[i] | clear[i])) {
                output[i] = tanh_undecided(x[i]);
            }
        }
    }
}

// The lanes exp leaves to the fallback, or decides by its limits alone.
inline float exp_undecided(float x) noexcept
{
    if (x > EXP_OVERFLOW_LIMIT) {
        return __builtin_inff();
    }
    return x < EXP_UNDERFLOW_LIMIT ? 0.0f : exp_nearest(x);
}

// output[i] = (float)exp((double)input[i]) for the lanes of D.
template <typename D, typename I>
__attribute__((always_inline)) inline void exp_float_lanes(const float* input, float* output) noexcept
{
    constexpr int lanes = static_cast<int>(sizeof(D) / sizeof(double));
    // A copy: output may be input, and the undecided lanes read it last.
    float copy[lanes];
    D x;
    for (int i = 0; i < lanes; ++i) {
        copy[i] = input[i];
        x[i] = static_cast<double>(copy[i]);
    }
    const I covered = (x >= static_cast<double>(EXP_LOWEST_NORMAL)) & (x <= static_cast<double>(EXP_HIGHEST_COVERED));
    const D e = exp_lanes<D, I>(covered ? x : D{});
    const I clear = covered & (ulps_from_float_midpoint<D, I>(e) > LANES_EXP_WINDOW);
    for (int i = 0; i < lanes; ++i) {
        output[i] = static_cast<float>(e[i]);
    }
    if (!all_lanes(clear)) {
        for (int i = 0; i < lanes; ++i) {
            if (!clear[i]) {
                output[i] = exp_undecided(copy[i]);
            }
        }
    }
}

#endif
