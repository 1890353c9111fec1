#include "classifier_context.h"
#include "engine/feature_window.h"
#include "engine/network_forward.h"
#include "engine/signal_lanes.h"
#include "engine/standardise_signal.h"
#include "state/library_state.h"

#include <cstring>

namespace {

bool context_classifies(const ClassifierContext* context) noexcept
{
    return status_classifies(context->status) && context->means != nullptr;
}

NetworkView context_network(const ClassifierContext* context) noexcept
{
    return {
        context->hidden_weights, context->hidden_biases, INPUT_LENGTH, context->unit_count,
        context->output_weights, context->output_biases, context->unit_count,
    };
}

// Standardises `input` into the context's features and returns the network
// that classifies them.
NetworkView standardise_into_features(ClassifierContext* context, const float* input) noexcept
{
    standardise_signal(input, context->means, context->scales, context->standardised, INPUT_LENGTH);
    feature_window(context->standardised, context->features, 0, INPUT_LENGTH, 0);
    return context_network(context);
}

} // namespace

extern "C" LibraryStatus classifier_context_run(ClassifierContext* context, const float* input,
                                                float* probabilities, uint16_t* class_id)
{
    if (!context_classifies(context)) {
        return context->status;
    }
    const NetworkView network = standardise_into_features(context, input);
    *class_id = static_cast<uint16_t>(
        network_forward(network, context->features, context->hidden, probabilities, probabilities));
    return context->status;
}

extern "C" LibraryStatus classifier_context_trace(ClassifierContext* context, const float* input,
                                                  ClassifierTrace* trace)
{
    if (!context_classifies(context)) {
        return context->status;
    }
    const NetworkView network = standardise_into_features(context, input);
    std::memcpy(trace->standardised, context->standardised, sizeof trace->standardised);
    trace->unit_count = context->unit_count;
    std::memset(trace->hidden, 0, sizeof trace->hidden);
    trace->class_id = static_cast<uint16_t>(
        network_forward(network, context->features, trace->hidden, trace->scores, trace->probabilities));
    return context->status;
}

extern "C" LibraryStatus classifier_context_run_batch(const ClassifierContext* context, const float* input,
                                                      size_t count, float* probabilities, uint16_t* class_ids)
{
    if (context_classifies(context)) {
        signal_lanes(context_network(context), context->means, context->scales, input, count, probabilities,
                     class_ids);
    }
    return context->status;
}
