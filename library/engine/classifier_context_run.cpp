#include "classifier_context.h"
#include "engine/engine.h"
#include "state/library_state.h"

#include <cstring>

namespace {

bool context_classifies(const ClassifierContext* context) noexcept
{
    return status_classifies(context->status) && context->means != nullptr;
}

void standardise_into_features(ClassifierContext* context, const float* input) noexcept
{
    standardise_signal(input, context->means, context->scales, context->standardised, INPUT_LENGTH);
    feature_window(context->standardised, context->features, 0, INPUT_LENGTH, 0);
}

} // namespace

extern "C" LibraryStatus classifier_context_run(ClassifierContext* context, const float* input,
                                                float* probabilities, uint16_t* class_id)
{
    if (!context_classifies(context)) {
        return context->status;
    }
    standardise_into_features(context, input);
    const NetworkView network = {
        context->hidden_weights, context->hidden_biases, INPUT_LENGTH, context->unit_count,
        context->output_weights, context->output_biases, context->unit_count,
    };
    *class_id = static_cast<uint16_t>(network_forward(network, context->features, context->hidden, probabilities));
    return context->status;
}

// The stages of network_forward, kept one by one.
extern "C" LibraryStatus classifier_context_trace(ClassifierContext* context, const float* input,
                                                  ClassifierTrace* trace)
{
    if (!context_classifies(context)) {
        return context->status;
    }
    standardise_into_features(context, input);
    const std::int32_t units = context->unit_count;
    std::memcpy(trace->standardised, context->standardised, sizeof trace->standardised);
    trace->unit_count = units;
    std::memset(trace->hidden, 0, sizeof trace->hidden);
    hidden_layer(context->features, INPUT_LENGTH, context->hidden_weights, context->hidden_biases, units,
                 trace->hidden);
    output_layer(trace->hidden, units, context->output_weights, context->output_biases, trace->scores);
    std::memcpy(trace->probabilities, trace->scores, sizeof trace->probabilities);
    trace->class_id = static_cast<uint16_t>(softmax_decision(trace->probabilities, CLASS_COUNT, SOFTMAX_FACTOR) + 1);
    return context->status;
}
