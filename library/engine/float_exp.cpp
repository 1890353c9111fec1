#include "engine/float_elementary.h"

#if OMBREL_OWN_ELEMENTARY && OMBREL_SINGLE_ELEMENTARY

#include "engine/float_single.h"

float float_exp(float x) noexcept
{
    return exp_single(x);
}

void float_exp_array(const float* input, float* output, int count) noexcept
{
    for (int i = 0; i < count; ++i) {
        output[i] = exp_single(input[i]);
    }
}

#else

#include <cmath>
#include <limits>

#if OMBREL_OWN_ELEMENTARY

// The four-lane functions are always inlined, into the AVX2 function alone
// (see float_tanh.cpp).
#pragma GCC diagnostic ignored "-Wpsabi"

#include "engine/exp_accurate.h"
#include "engine/exp_lanes.h"

namespace {

// Over [-87, 88.5] e^x is a normal float (e^-87 > 2^-126, e^88.5 < 2^128)
// and exp_lanes is within 2^-50 of it: under 4 ulps of a double, plus glibc's
// own ulp or so. A result farther than 2^8 ulps from a float midpoint rounds
// to glibc's float; the others (about one in a million) and the rest of
// [-104.5, 89] take exp_between.
constexpr float LOWEST_COVERED = -87.0f;
constexpr float HIGHEST_COVERED = 88.5f;
constexpr std::int64_t EXP_WINDOW = std::int64_t{1} << 8;

// Beyond 89, e^x > 2^128 rounds to infinity; below -104.5, e^x < 2^-150 (half
// the least subnormal) rounds to +0.
constexpr float OVERFLOW_LIMIT = 89.0f;
constexpr float UNDERFLOW_LIMIT = -104.5f;

float exp_between(float x) noexcept
{
    return exp_nearest(x);
}

} // namespace

float float_exp(float x) noexcept
{
    if (x >= LOWEST_COVERED && x <= HIGHEST_COVERED) {
        const Double1 e = exp_lanes<Double1, Int1>(Double1{static_cast<double>(x)});
        if (ulps_from_float_midpoint<Double1, Int1>(e)[0] > EXP_WINDOW) {
            return static_cast<float>(e[0]);
        }
    } else if (x > OVERFLOW_LIMIT) {
        return std::numeric_limits<float>::infinity();
    } else if (x < UNDERFLOW_LIMIT) {
        return 0.0f;
    }
    return exp_between(x);
}

namespace {

// Four (or two) arguments at once: a lane of [-87, 88.5] whose result lies
// clear of a float midpoint is rounded as float_exp rounds it; every other
// lane takes float_exp itself.
template <typename D, typename I>
__attribute__((always_inline)) inline void exp_lanes_float(const float* input, float* output) noexcept
{
    constexpr int lanes = static_cast<int>(sizeof(D) / sizeof(double));
    D x;
    for (int i = 0; i < lanes; ++i) {
        x[i] = static_cast<double>(input[i]);
    }
    const I covered = (x >= static_cast<double>(LOWEST_COVERED)) & (x <= static_cast<double>(HIGHEST_COVERED));
    const D e = exp_lanes<D, I>(covered ? x : D{});
    const I clear = covered & (ulps_from_float_midpoint<D, I>(e) > EXP_WINDOW);
    for (int i = 0; i < lanes; ++i) {
        output[i] = clear[i] ? static_cast<float>(e[i]) : float_exp(input[i]);
    }
}

template <typename D, typename I>
__attribute__((always_inline)) inline void exp_groups(const float* input, float* output, int count) noexcept
{
    constexpr int lanes = static_cast<int>(sizeof(D) / sizeof(double));
    int done = 0;
    for (; done + lanes <= count; done += lanes) {
        exp_lanes_float<D, I>(input + done, output + done);
    }
    for (; done < count; ++done) {
        output[done] = float_exp(input[done]);
    }
}

#if defined(__x86_64__) && !defined(_WIN32)
// Four lanes per instruction where the processor has AVX2 (not on Windows:
// see float_tanh.cpp).
__attribute__((target("avx2"))) void exp_array_avx2(const float* input, float* output, int count) noexcept
{
    exp_groups<Double4, Int4>(input, output, count);
}
#define OMBREL_EXP_AVX2 1
#endif

} // namespace

void float_exp_array(const float* input, float* output, int count) noexcept
{
#ifdef OMBREL_EXP_AVX2
    if (__builtin_cpu_supports("avx2")) {
        exp_array_avx2(input, output, count);
        return;
    }
#endif
    exp_groups<Double2, Int2>(input, output, count);
}

#else

float float_exp(float x) noexcept
{
    return static_cast<float>(std::exp(static_cast<double>(x)));
}

void float_exp_array(const float* input, float* output, int count) noexcept
{
    for (int i = 0; i < count; ++i) {
        output[i] = float_exp(input[i]);
    }
}

#endif

#endif
