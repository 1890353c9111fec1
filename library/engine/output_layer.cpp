#include "engine/output_layer.h"
#include "engine/vector4.h"

// The four outputs are the four lanes; each lane sums its bias and then the
// products of hidden units 0, 1, ..., N-1, in that order.
#if defined(__arm__) && !defined(__ARM_NEON)
// Scalar floating point only (a Cortex-M4F): the four sums in registers.
void output_layer(const float* activations, std::int32_t units, const float* weights,
                  const float* biases, float* scores) noexcept
{
    float sums[4] = {biases[0], biases[1], biases[2], biases[3]};
    for (std::int32_t j = 0; j < units; ++j) {
        const float a = activations[j];
#pragma GCC unroll 4
        for (int k = 0; k < 4; ++k) {
            sums[k] = sums[k] + a * weights[4 * j + k];
        }
    }
    for (int k = 0; k < 4; ++k) {
        scores[k] = sums[k];
    }
}
#else
void output_layer(const float* activations, std::int32_t units, const float* weights,
                  const float* biases, float* scores) noexcept
{
    Vector4 sums = vector4_load(biases);
    for (std::int32_t j = 0; j < units; ++j) {
        sums = sums + vector4_broadcast(activations[j]) * vector4_load(weights + 4 * j);
    }
    vector4_store(scores, sums);
}
#endif
