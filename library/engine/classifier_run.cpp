#include "classifier.h"
#include "engine/feature_window.h"
#include "engine/network_forward.h"
#include "engine/standardise_signal.h"
#include "state/library_state.h"

// The stateful layer over the kernels: the process-wide context supplies the
// views and the working buffers, the device's quirks the geometry. The hidden
// layer reads the context's unit count, the output layer `output_units`, the
// copy that the sizing pass also writes.
extern "C" LibraryStatus classifier_run(const float* input, float* probabilities, uint16_t* class_id)
{
    ClassifierContext& context = library_state.context;
    const DeviceQuirks& quirks = library_state.quirks;
    // A refused unit count leaves no knowledge attached (null views); a
    // failed self-test after it must not make the engine read through them.
    if (!status_classifies(context.status) || context.means == nullptr) {
        return context.status;
    }
    standardise_signal(input, context.means, context.scales, context.standardised, INPUT_LENGTH);
    feature_window(context.standardised, context.features, 0, INPUT_LENGTH, 0);
    const NetworkView network = {
        context.hidden_weights + quirks.hidden_weight_start,
        context.hidden_weights + (quirks.hidden_weight_end - context.unit_count),
        quirks.hidden_rows - 1,
        context.unit_count,
        context.output_weights,
        context.output_weights + 4 * quirks.output_units,
        quirks.output_units,
    };
    *class_id = static_cast<uint16_t>(network_forward(network, context.features, context.hidden + quirks.hidden_offset,
                                                      probabilities, probabilities));
    return context.status;
}
