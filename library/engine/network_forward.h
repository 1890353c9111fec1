// One of the engine's kernels (engine/engine.h states what they share).
#ifndef OMBREL_NETWORK_FORWARD_H
#define OMBREL_NETWORK_FORWARD_H

#include <cstdint>

// The two layers of one attached network, as read-only views into a
// knowledge. The output layer has its own copy of the unit count: the
// process-wide record keeps two (the sizing pass writes one of them).
struct NetworkView {
    const float* hidden_weights; // inputs*hidden_units, input-major
    const float* hidden_biases;  // hidden_units
    std::int32_t inputs;
    std::int32_t hidden_units;
    const float* output_weights; // 4*output_units, unit-major
    const float* output_biases;  // 4
    std::int32_t output_units;
};

// The stages after the feature window, in order: hidden_layer into `hidden`
// (HIDDEN_CAPACITY floats), output_layer into `scores`, then
// softmax_decision with CLASS_COUNT and SOFTMAX_FACTOR into `probabilities`;
// returns the class id, winner index + 1. `scores` may be `probabilities`
// (the soft-max then runs in place); otherwise the scores are kept there.
std::int32_t network_forward(const NetworkView& network, const float* features, float* hidden, float* scores,
                             float* probabilities) noexcept;

#endif
