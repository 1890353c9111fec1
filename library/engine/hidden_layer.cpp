#include "engine/hidden_layer.h"
#include "engine/float_elementary.h"
#include "classifier.h"

#include <cstring>

namespace {

constexpr int MAX_LANES = 12;
constexpr int PRE_ACTIVATION_CAPACITY = (HIDDEN_CAPACITY + MAX_LANES - 1) / MAX_LANES * MAX_LANES;

// Units run L at a time: lane j of group g is unit L*g + j. Each lane keeps
// its own unit's sum in the documented order (bias, then inputs 0, 1, ...),
// every product and sum rounded on its own, so the lane width changes no
// bit. For N not a multiple of L the last group's spare lanes read the floats
// that follow the row (in a knowledge: the next row, or the biases and output
// weights after the last row) and are never stored.
//
// The sums are one dependent chain of 64 additions per unit; with L = 8 three
// chains cover 23 units and the chains, not the adders, set the pace.
template <class Lanes, int L>
inline void pre_activations(const float* features, std::int32_t inputs, const float* weights,
                            const float* biases, std::int32_t units, float* output) noexcept
{
    constexpr int MAX_GROUPS = PRE_ACTIVATION_CAPACITY / L;
    const int groups = (units + L - 1) / L;
    Lanes sums[MAX_GROUPS];
    for (int g = 0; g < groups; ++g) {
        std::memcpy(&sums[g], biases + L * g, sizeof(Lanes));
    }
    for (std::int32_t i = 0; i < inputs; ++i) {
        const float f = features[i];
        Lanes x;
        for (int lane = 0; lane < L; ++lane) {
            x[lane] = f;
        }
        const float* row = weights + i * units;
        for (int g = 0; g < groups; ++g) {
            Lanes w;
            std::memcpy(&w, row + L * g, sizeof w);
            sums[g] = sums[g] + w * x;
        }
    }
    for (int g = 0; g < groups; ++g) {
        std::memcpy(output + L * g, &sums[g], sizeof(Lanes));
    }
}

#if defined(__arm__) && !defined(__ARM_NEON)
// A processor with scalar floating point only (a Cortex-M4F, 32 single
// registers): twelve units at a time (two groups cover 23) with their sums in
// twelve registers, each input loaded once per group and each weight once, a
// multiply and an add per weight: the same per-unit order as the lanes above,
// and no fused multiply-add. Up to 11 floats past each row are read.
void pre_activations_scalar(const float* features, std::int32_t inputs, const float* weights,
                            const float* biases, std::int32_t units, float* output) noexcept
{
    constexpr int L = 12;
    for (std::int32_t first = 0; first < units; first += L) {
        float sums[L];
#pragma GCC unroll 12
        for (int lane = 0; lane < L; ++lane) {
            sums[lane] = biases[first + lane];
        }
        const float* row = weights + first;
        for (std::int32_t i = 0; i < inputs; ++i) {
            const float f = features[i];
#pragma GCC unroll 12
            for (int lane = 0; lane < L; ++lane) {
                sums[lane] = sums[lane] + row[lane] * f;
            }
            row += units;
        }
#pragma GCC unroll 12
        for (int lane = 0; lane < L; ++lane) {
            output[first + lane] = sums[lane];
        }
    }
}
#define OMBREL_HIDDEN_SCALAR 1
#else
typedef float Lanes4 __attribute__((vector_size(16)));

void pre_activations_4(const float* features, std::int32_t inputs, const float* weights,
                       const float* biases, std::int32_t units, float* output) noexcept
{
    pre_activations<Lanes4, 4>(features, inputs, weights, biases, units, output);
}
#endif

#if defined(__x86_64__) && !defined(_WIN32)
// Eight lanes per instruction where the processor has AVX. (Not on Windows,
// whose 64-bit GCC cannot align the stack for 32-byte spills.)
typedef float Lanes8 __attribute__((vector_size(32)));

__attribute__((target("avx"))) void pre_activations_8(const float* features, std::int32_t inputs,
                                                      const float* weights, const float* biases,
                                                      std::int32_t units, float* output) noexcept
{
    pre_activations<Lanes8, 8>(features, inputs, weights, biases, units, output);
}
#define OMBREL_HIDDEN_AVX 1
#endif

} // namespace

void hidden_layer(const float* features, std::int32_t inputs, const float* weights,
                  const float* biases, std::int32_t units, float* activations) noexcept
{
    float pre_activation[PRE_ACTIVATION_CAPACITY];
#ifdef OMBREL_HIDDEN_AVX
    if (units > 4 && __builtin_cpu_supports("avx")) {
        pre_activations_8(features, inputs, weights, biases, units, pre_activation);
        float_tanh_array(pre_activation, activations, units);
        return;
    }
#endif
#ifdef OMBREL_HIDDEN_SCALAR
    pre_activations_scalar(features, inputs, weights, biases, units, pre_activation);
#else
    pre_activations_4(features, inputs, weights, biases, units, pre_activation);
#endif
    float_tanh_array(pre_activation, activations, units);
}
