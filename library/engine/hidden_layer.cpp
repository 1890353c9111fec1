#include "engine/engine.h"
#include "engine/float_elementary.h"
#include "engine/vector4.h"
#include "classifier.h"

// Units run four at a time: lane j of group g is unit 4g + j. For N not a
// multiple of 4 the last group's spare lanes read the floats that follow the
// row (in a knowledge: the next row, or the biases and output weights after
// the last row) and are never stored.
void hidden_layer(const float* features, std::int32_t inputs, const float* weights,
                  const float* biases, std::int32_t units, float* activations) noexcept
{
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
    float_tanh_array(pre_activation, activations, units);
}
