#include "engine/engine.h"
#include "engine/vector4.h"

// The four outputs are the four lanes; each lane sums its bias and then the
// products of hidden units 0, 1, ..., N-1, in that order.
void output_layer(const float* activations, std::int32_t units, const float* weights,
                  const float* biases, float* scores) noexcept
{
    Vector4 sums = vector4_load(biases);
    for (std::int32_t j = 0; j < units; ++j) {
        sums = sums + vector4_broadcast(activations[j]) * vector4_load(weights + 4 * j);
    }
    vector4_store(scores, sums);
}
