#include "classifier.h"
#include "engine/hidden_layer.h"
#include "engine/network_forward.h"
#include "engine/output_layer.h"
#include "engine/softmax_decision.h"

#include <cstring>

std::int32_t network_forward(const NetworkView& network, const float* features, float* hidden, float* scores,
                             float* probabilities) noexcept
{
    hidden_layer(features, network.inputs, network.hidden_weights, network.hidden_biases,
                 network.hidden_units, hidden);
    output_layer(hidden, network.output_units, network.output_weights, network.output_biases, scores);
    if (scores != probabilities) {
        std::memcpy(probabilities, scores, CLASS_COUNT * sizeof(float));
    }
    return softmax_decision(probabilities, CLASS_COUNT, SOFTMAX_FACTOR) + 1;
}
