#include "engine/float_elementary.h"

#if OMBREL_DOUBLE_LANES

// The four-lane functions of exp_lanes.h are always inlined, into the AVX2
// function alone: no 32-byte vector crosses a call, and the warning about
// their ABI does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

#include "engine/exp_lanes.h"
#if defined(__x86_64__) && !defined(_WIN32)
#include "engine/tanh_eight_avx2.h"
#endif

namespace {

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
            padded_input[i] = done + i < count ? input[done + i] : TANH_SATURATION;
        }
        tanh_lanes<D, I>(padded_input, padded_output);
        for (int i = 0; done + i < count; ++i) {
            output[done + i] = padded_output[i];
        }
    }
}

#if defined(__x86_64__) && !defined(_WIN32)
// Eight floats at a time, in two vectors of four doubles, where the
// processor has AVX2, and the rest four lanes at a time. (Not on Windows,
// whose 64-bit GCC cannot align the stack for 32-byte spills.)
__attribute__((target("avx2"))) void tanh_array_avx2(const float* input, float* output,
                                                      int count) noexcept
{
    int done = 0;
    for (; done + 8 <= count; done += 8) {
        tanh_eight_avx2(input + done, output + done);
    }
    tanh_groups<Double4, Int4>(input + done, output + done, count - done);
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

#endif
