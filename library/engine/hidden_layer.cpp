#include "engine/engine.h"
#include "engine/vector4.h"
#include "state/library_state.h"

#include <cmath>

// tanh in double precision, rounded to float. From |x| = 9.1 on, 1 - tanh(x)
// = 2 / (e^(2x) + 1) < 2.5e-8, below half the float spacing under 1
// (2^-25 = 2.98e-8) by millions of double ulps, so the rounded result is
// exactly +-1 (and tanh(+-inf) is +-1): the call is skipped there. NaN fails
// the comparison and goes through tanh.
inline float float_tanh(float x) noexcept
{
    if (std::fabs(x) >= 9.1f) {
        return std::copysign(1.0f, x);
    }
    return static_cast<float>(std::tanh(static_cast<double>(x)));
}

// Units run four at a time: lane j of group g is unit 4g + j. For N not a
// multiple of 4 the last group's spare lanes read the floats that follow the
// row in the knowledge (the next row, or the biases and output weights after
// the last row), which always exist since a knowledge ends with at least
// 4 + 4*N + 19 floats after its hidden weights. Spare lanes are never stored.
void hidden_layer(const float* features) noexcept
{
    LibraryState& state = library_state;
    const std::int32_t units = state.hidden_units;
    const std::int32_t inputs = state.hidden_rows - 1;
    const float* weights = state.layout.hidden_weights + state.hidden_weight_start;
    const float* biases = state.layout.hidden_weights + (state.hidden_weight_end - units);
    float* activations = state.hidden + state.hidden_offset;

    constexpr int max_groups = (HIDDEN_CAPACITY + 3) / 4;
    const int groups = (units + 3) / 4;
    Vector4 sums[max_groups];
    for (int g = 0; g < groups; ++g) {
        sums[g] = vector4_load(biases + 4 * g);
    }
    for (std::int32_t i = 0; i < inputs; ++i) {
        const Vector4 x = vector4_broadcast(features[i]);
        const float* row = weights + i * units;
        for (int g = 0; g < groups; ++g) {
            sums[g] = sums[g] + vector4_load(row + 4 * g) * x;
        }
    }
    float pre_activation[4 * max_groups];
    for (int g = 0; g < groups; ++g) {
        vector4_store(pre_activation + 4 * g, sums[g]);
    }
    for (std::int32_t j = 0; j < units; ++j) {
        activations[j] = float_tanh(pre_activation[j]);
    }
}
