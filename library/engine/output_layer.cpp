#include "engine/engine.h"
#include "engine/vector4.h"
#include "state/library_state.h"

// The four outputs are the four lanes; each lane sums its bias and then the
// products of hidden units 0, 1, ..., N-1, in that order.
void output_layer(float* scores) noexcept
{
    const LibraryState& state = library_state;
    const std::int32_t units = state.unit_count;
    const float* weights = state.layout.output_weights;
    const float* activations = state.hidden + state.hidden_offset;

    Vector4 sums = vector4_load(weights + 4 * units);
    for (std::int32_t j = 0; j < units; ++j) {
        sums = sums + vector4_broadcast(activations[j]) * vector4_load(weights + 4 * j);
    }
    vector4_store(scores, sums);
}
