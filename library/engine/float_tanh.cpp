#include "engine/float_elementary.h"

#if OMBREL_OWN_ELEMENTARY && OMBREL_SINGLE_ELEMENTARY

#include "engine/float_single.h"

float float_tanh(float x) noexcept
{
    return tanh_single(x);
}

void float_tanh_array(const float* input, float* output, int count) noexcept
{
    for (int i = 0; i < count; ++i) {
        output[i] = tanh_single(input[i]);
    }
}

#else

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// From |x| = 9.1 on, 1 - tanh(x) = 2 / (e^(2x) + 1) < 2.5e-8, below half the
// float spacing under 1 (2^-25 = 2.98e-8) by millions of double ulps, so the
// rounded result is exactly +-1 (and tanh(+-inf) is +-1). Below 2^-13,
// x - tanh(x) < |x|^3/3 is under half the float spacing below |x|, so the
// rounded result is x itself (zeros and subnormals included). NaN fails both
// comparisons and goes to tanh_between.
constexpr float SATURATION = 9.1f;
constexpr float IDENTITY_LIMIT = 0x1p-13f;

float tanh_between(float x) noexcept;

float tanh_by_cases(float x) noexcept
{
    const float magnitude = std::fabs(x);
    if (magnitude >= SATURATION) {
        return std::copysign(1.0f, x);
    }
    if (magnitude < IDENTITY_LIMIT) {
        return x;
    }
    return tanh_between(x);
}

} // namespace

#if OMBREL_OWN_ELEMENTARY

// The four-lane functions (here and in exp_lanes.h, as this file includes
// it) are always inlined, into the AVX2 function alone: no 32-byte vector
// crosses a call, and the warning about their ABI does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

#include "engine/exp_accurate.h"
#include "engine/exp_lanes.h"

namespace {

// Over IDENTITY_LIMIT <= |x| < SATURATION, and NaN.
float tanh_between(float x) noexcept
{
    return tanh_nearest(x);
}

// Over IDENTITY_LIMIT <= |x| < SATURATION: tanh|x| = (E - 1) / (E + 1) with
// E = e^(2|x|) to 2^-50. E - 1 magnifies E's relative error by
// E / (E - 1) < 1 + 1 / (2|x|) <= 4097, so with the three roundings of the
// subtraction, addition and division the quotient is within 2^-38 of tanh|x|:
// under 2^15 ulps of a double in [2^e, 2^(e+1)). glibc's own tanh adds a few
// ulps. A quotient farther than 2^17 ulps from a float midpoint therefore
// rounds to the same float as glibc's result; the others (about one in 2000)
// take tanh_between.
constexpr std::int64_t TANH_WINDOW = std::int64_t{1} << 17;

template <typename D, typename I>
__attribute__((always_inline)) inline void tanh_lanes(const float* input, float* output) noexcept
{
    constexpr int lanes = static_cast<int>(sizeof(D) / sizeof(double));
    D magnitude;
    for (int i = 0; i < lanes; ++i) {
        magnitude[i] = static_cast<double>(std::fabs(input[i]));
    }
    const I saturated = magnitude >= static_cast<double>(SATURATION);
    const I covered = (magnitude >= static_cast<double>(IDENTITY_LIMIT)) & ~saturated;
    I decided = saturated;
    D value = D{} + 1.0;
    if (any_lane(covered)) {
        const D y = covered ? magnitude + magnitude : value;
        const D e = exp_lanes<D, I>(y);
        const D quotient = (e - 1.0) / (e + 1.0);
        const I clear = covered & (ulps_from_float_midpoint<D, I>(quotient) > TANH_WINDOW);
        value = clear ? quotient : value;
        decided = decided | clear;
    }
    for (int i = 0; i < lanes; ++i) {
        output[i] = std::copysign(static_cast<float>(value[i]), input[i]);
    }
    if (!all_lanes(decided)) {
        for (int i = 0; i < lanes; ++i) {
            if (!decided[i]) {
                output[i] = tanh_by_cases(input[i]);
            }
        }
    }
}

// Groups of `lanes` values; the last group, if partial, is padded with a
// saturated value and only its `count % lanes` results are stored.
template <typename D, typename I>
__attribute__((always_inline)) inline void tanh_groups(const float* input, float* output,
                                                       int count) noexcept
{
    constexpr int lanes = static_cast<int>(sizeof(D) / sizeof(double));
    int done = 0;
    for (; done + lanes <= count; done += lanes) {
        tanh_lanes<D, I>(input + done, output + done);
    }
    if (done < count) {
        float padded_input[lanes];
        float padded_output[lanes];
        for (int i = 0; i < lanes; ++i) {
            padded_input[i] = done + i < count ? input[done + i] : SATURATION;
        }
        tanh_lanes<D, I>(padded_input, padded_output);
        for (int i = 0; done + i < count; ++i) {
            output[done + i] = padded_output[i];
        }
    }
}

#if defined(__x86_64__) && !defined(_WIN32)
// Four lanes per instruction where the processor has AVX2. (Not on Windows,
// whose 64-bit GCC cannot align the stack for 32-byte spills.)
__attribute__((target("avx2"))) void tanh_array_avx2(const float* input, float* output,
                                                      int count) noexcept
{
    tanh_groups<Double4, Int4>(input, output, count);
}
#define OMBREL_TANH_AVX2 1
#endif

} // namespace

float float_tanh(float x) noexcept
{
    float result;
    tanh_lanes<Double1, Int1>(&x, &result);
    return result;
}

void float_tanh_array(const float* input, float* output, int count) noexcept
{
#ifdef OMBREL_TANH_AVX2
    if (__builtin_cpu_supports("avx2")) {
        tanh_array_avx2(input, output, count);
        return;
    }
#endif
    tanh_groups<Double2, Int2>(input, output, count);
}

#else

namespace {

float tanh_between(float x) noexcept
{
    return static_cast<float>(std::tanh(static_cast<double>(x)));
}

} // namespace

float float_tanh(float x) noexcept
{
    return tanh_by_cases(x);
}

void float_tanh_array(const float* input, float* output, int count) noexcept
{
    for (int i = 0; i < count; ++i) {
        output[i] = tanh_by_cases(input[i]);
    }
}

#endif

#endif
