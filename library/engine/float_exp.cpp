#include "engine/float_elementary.h"

#if OMBREL_DOUBLE_LANES

// The four-lane functions of exp_lanes.h are always inlined, into the AVX2
// function alone (see float_tanh.cpp).
#pragma GCC diagnostic ignored "-Wpsabi"

#include "engine/exp_lanes.h"

float float_exp(float x) noexcept
{
    if (x >= EXP_LOWEST_NORMAL && x <= EXP_HIGHEST_COVERED) {
        const Double1 e = exp_lanes<Double1, Int1>(Double1{static_cast<double>(x)});
        if (ulps_from_float_midpoint<Double1, Int1>(e)[0] > LANES_EXP_WINDOW) {
            return static_cast<float>(e[0]);
        }
    }
    return exp_undecided(x);
}

namespace {

// Groups of `lanes` values; the last `count % lanes` one at a time.
template <typename D, typename I>
__attribute__((always_inline)) inline void exp_groups(const float* input, float* output, int count) noexcept
{
    constexpr int lanes = static_cast<int>(sizeof(D) / sizeof(double));
    int done = 0;
    for (; done + lanes <= count; done += lanes) {
        exp_float_lanes<D, I>(input + done, output + done);
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

#endif
