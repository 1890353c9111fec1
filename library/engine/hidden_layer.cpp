#include "engine/engine.h"
#include "engine/vector4.h"
#include "state/library_state.h"

#include <cmath>

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
        activations[j] = static_cast<float>(std::tanh(static_cast<double>(pre_activation[j])));
    }
}
