#include "classifier.h"
#include "engine/engine.h"

std::int32_t network_forward(const NetworkView& network, const float* features, float* hidden,
                             float* probabilities) noexcept
{
    hidden_layer(features, network.inputs, network.hidden_weights, network.hidden_biases,
                 network.hidden_units, hidden);
    output_layer(hidden, network.output_units, network.output_weights, network.output_biases,
                 probabilities);
    return softmax_decision(probabilities, CLASS_COUNT, SOFTMAX_FACTOR) + 1;
}
