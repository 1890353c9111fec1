#include "classifier.h"
#include "engine/engine.h"

std::int32_t network_forward(const float* features, float* probabilities) noexcept
{
    hidden_layer(features);
    output_layer(probabilities);
    return softmax_decision(probabilities, CLASS_COUNT, SOFTMAX_FACTOR) + 1;
}
