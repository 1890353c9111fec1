#include "classifier.h"
#include "engine/engine.h"
#include "state/library_state.h"

// The stateful layer over the kernels: the process-wide record supplies the
// views, the geometry and the working buffers. The hidden layer reads
// `hidden_units`, the output layer `unit_count`, the copy that the sizing pass
// also writes.
extern "C" LibraryStatus classifier_run(const float* input, float* probabilities, uint16_t* class_id)
{
    LibraryState& state = library_state;
    // A refused unit count leaves no knowledge attached (null views); a
    // failed self-test after it must not make the engine read through them.
    if (!status_classifies(state.status) || state.layout.means == nullptr) {
        return state.status;
    }
    const KnowledgeLayout& layout = state.layout;
    standardise_signal(input, layout.means, layout.scales, state.standardised, INPUT_LENGTH);
    feature_window(state.standardised, state.features, 0, INPUT_LENGTH, 0);
    const NetworkView network = {
        layout.hidden_weights + state.hidden_weight_start,
        layout.hidden_weights + (state.hidden_weight_end - state.hidden_units),
        state.hidden_rows - 1,
        state.hidden_units,
        layout.output_weights,
        layout.output_weights + 4 * state.unit_count,
        state.unit_count,
    };
    *class_id = static_cast<uint16_t>(
        network_forward(network, state.features, state.hidden + state.hidden_offset, probabilities));
    return state.status;
}
