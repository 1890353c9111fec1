#include "engine/float_single.h"

#include "engine/elementary_constants.h"
#include "engine/float_float.h"

#include <bit>
#include <cmath>
#include <cstdint>

namespace {

// 2^e for e in [-126, 127].
float power_of_two(std::int32_t e) noexcept
{
    return std::bit_cast<float>(static_cast<std::uint32_t>(127 + e) << 23);
}

// e^y = 2^(k>>5) * 2^((k&31)/32) * (1 + p) for |y| <= 105.
struct ReducedExp {
    FloatFloat p; // e^r - 1, |r| <= ln2/64 + 2^-20
    std::int32_t k;
};

// k is y*32/ln2 rounded to an integer (adding and subtracting 1.5 * 2^23
// rounds it; |k| < 2^13, so its conversion is exact). With ln2/32 = L1 +
// L2 + L3 (STEP_PARTS), y - k*L1 is a multiple of min(ulp(y), 2^-26) below
// 2^-6 in magnitude (for k != 0, |y| >= ln2/64 and ulp(y) >= 2^-30), hence a
// float: one fused operation forms it exactly. k*L2 is exact as a
// float-float, k*L3 (< 2^-46) errs by 2^-70, so r is within 2^-55 of
// y - k ln2/32.
// e^r - 1 = r + r^2/2 + r^3 (1/6 + r/24 + r^2/120 + r^3/720), truncated below
// (ln2/64)^7/5040 < 2^-58; r^2 is exact, the cubic tail (< 2^-22) is
// evaluated in float within about 2^-44, which dominates the error.
inline __attribute__((always_inline)) ReducedExp reduce(float y) noexcept
{
    constexpr float SHIFTER = 0x1.8p23f;
    const float shifted = y * INVERSE_STEP_FLOAT + SHIFTER;
    const float k = shifted - SHIFTER;
    const std::int32_t n = static_cast<std::int32_t>(k);

    const float s = __builtin_fmaf(-k, STEP_PARTS[0], y);
    const FloatFloat k_l2 = ff_two_product(k, STEP_PARTS[1]);
    const FloatFloat r0 = ff_two_sum(s, -k_l2.hi);
    const FloatFloat r = ff_fast_two_sum(r0.hi, r0.lo - (k_l2.lo + k * STEP_PARTS[2]));

    const float x = r.hi;
    const FloatFloat square = ff_two_product(x, x);
    constexpr const float* c = INVERSE_FACTORIAL_FLOAT;
    const float tail = x * x * x * (c[3] + x * (c[4] + x * (c[5] + x * c[6])));
    const FloatFloat head = ff_fast_two_sum(x, square.hi * 0.5f);
    const FloatFloat p = ff_fast_two_sum(
        head.hi, head.lo + (r.lo + (square.lo * 0.5f + (x * r.lo + tail))));
    return {p, n};
}

// 2^((k&31)/32) * (1 + p), in [0.98, 2.03]; the table's 2^-49 and the
// roundings of the low sum (terms below 2^-22) add about 2^-47 to reduce's
// error.
inline __attribute__((always_inline)) FloatFloat table_times(const ReducedExp& e) noexcept
{
    const FloatFloat t = EXP2_TABLE[e.k & 31];
    const FloatFloat product = ff_two_product(t.hi, e.p.hi);
    const FloatFloat sum = ff_fast_two_sum(t.hi, product.hi);
    return ff_fast_two_sum(sum.hi, sum.lo + (product.lo + (t.hi * e.p.lo + t.lo * (1.0f + e.p.hi))));
}

// e^y = 2^(k>>5) * m, with e^r - 1 = p as reduce gives it: one copy of the
// code for tanh and exp (a device's flash matters more than the call).
struct ExpParts {
    ReducedExp reduced;
    FloatFloat m;
};

// On a device the shared copy is one call; on x86-64 each function has it
// inlined in its fused multiply-add clone.
#if defined(__x86_64__)
inline __attribute__((always_inline))
#else
__attribute__((noinline))
#endif
ExpParts exp_parts(float y) noexcept
{
    const ReducedExp reduced = reduce(y);
    return {reduced, table_times(reduced)};
}

// True when every value within `window` of a.hi + a.lo (a.hi a positive
// normal float, a.hi == fl(a.hi + a.lo)) rounds to the float a.hi. The
// midpoint toward a.lo lies half the gap to a.hi's neighbour away (a quarter
// ulp below a power of two); half_gap - |a.lo| is exact when it is below
// half_gap / 2 (Sterbenz), and far above any window otherwise.
inline __attribute__((always_inline)) bool clear_of_midpoint(FloatFloat a, float window) noexcept
{
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(a.hi);
    const float neighbour = std::bit_cast<float>(a.lo < 0.0f ? bits - 1u : bits + 1u);
    const float half_gap = std::fabs(neighbour - a.hi) * 0.5f;
    return half_gap - std::fabs(a.lo) > window;
}

} // namespace

// Where GCC builds the library for a desktop x86-64 processor under glibc, a
// copy with fused multiply-add instructions is chosen at load time when the
// processor has them (fmaf's result is the same, only faster).
#if defined(__x86_64__) && defined(__linux__) && !defined(__clang__)
#define OMBREL_FMA_CLONES __attribute__((target_clones("fma", "default")))
#else
#define OMBREL_FMA_CLONES
#endif

OMBREL_FMA_CLONES bool tanh_single_fast(float x, float* result) noexcept
{
    const float magnitude = std::fabs(x);
    if (magnitude >= TANH_SATURATION) {
        *result = std::copysign(1.0f, x);
        return true;
    }
    if (magnitude < TANH_IDENTITY_LIMIT) {
        *result = x;
        return true;
    }
    if (x != x) {
        *result = x + x;
        return true;
    }
    // tanh y/2 = E / (E + 2) with E = e^y - 1, y = 2|x| in [2^-12, 18.2].
    // For k = 0 E is p itself; otherwise e^y = 2^(k>>5) t (exact scaling
    // into [1, 2^27)) and subtracting 1 is exact in the first step.
    const ExpParts parts = exp_parts(magnitude + magnitude);
    FloatFloat e = parts.reduced.p;
    if (parts.reduced.k != 0) {
        const FloatFloat t = parts.m;
        const float scale = power_of_two(parts.reduced.k >> 5);
        const FloatFloat minus_one = ff_two_sum(t.hi * scale, -1.0f);
        e = ff_fast_two_sum(minus_one.hi, minus_one.lo + t.lo * scale);
    }
    const FloatFloat d0 = ff_two_sum(2.0f, e.hi);
    const FloatFloat d = ff_fast_two_sum(d0.hi, d0.lo + e.lo);
    // q = E / D: the remainder e.hi - q_hi * d.hi of a correctly rounded
    // quotient is a float, formed exactly by one fused operation.
    const float q_hi = e.hi / d.hi;
    const float remainder = __builtin_fmaf(-q_hi, d.hi, e.hi) + (e.lo - q_hi * d.lo);
    const FloatFloat q = ff_fast_two_sum(q_hi, remainder / d.hi);
    if (!clear_of_midpoint(q, q.hi * FLOAT_TANH_WINDOW)) {
        return false;
    }
    *result = std::copysign(q.hi, x);
    return true;
}

OMBREL_FMA_CLONES bool exp_single_fast(float x, float* result) noexcept
{
    if (x >= EXP_LOWEST_NORMAL && x <= EXP_HIGHEST_COVERED) {
        const ExpParts parts = exp_parts(x);
        if (!clear_of_midpoint(parts.m, parts.m.hi * FLOAT_EXP_WINDOW)) {
            return false;
        }
        *result = parts.m.hi * power_of_two(parts.reduced.k >> 5);
        return true;
    }
    if (x > EXP_OVERFLOW_LIMIT) {
        *result = __builtin_inff();
        return true;
    }
    if (x < EXP_UNDERFLOW_LIMIT) {
        *result = 0.0f;
        return true;
    }
    return x != x ? (*result = x + x, true) : false;
}
