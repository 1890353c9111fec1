// The classification engine's stages. Each is a pure pass over its arguments
// and the attached knowledge; all run inside classifier_run, after its gate.
#ifndef OMBREL_ENGINE_H
#define OMBREL_ENGINE_H

#include <cstdint>

// standardised[i] = (input[i] - means[i]) * scales[i], two roundings, into the
// library's standardised buffer; then the feature window copies it into
// `features` (INPUT_LENGTH floats).
void standardise_signal(const float* input, float* features) noexcept;

// With count >= INPUT_LENGTH: destination[offset + i] = source[i] for
// i < INPUT_LENGTH, bit for bit, whatever the mode; returns true. The
// windowing modes for smaller counts are not offered: returns false and
// writes nothing.
bool feature_window(const float* source, float* destination, std::uint16_t offset,
                    std::uint16_t count, std::uint16_t mode) noexcept;

// hidden[j] = tanh(b[j] + W[0][j]*f[0] + ... + W[63][j]*f[63]) for the N
// attached units, summed in that order in single precision, tanh in double.
void hidden_layer(const float* features) noexcept;

// scores[k] = c[k] + h[0]*V[0][k] + ... + h[N-1]*V[N-1][k], in that order.
void output_layer(float* scores) noexcept;

// Turns `count` scores into probabilities in place with a soft-max of
// factor * (score - max), and returns the 0-based index of the first highest
// probability (0 when count is 0 or a NaN is present).
std::int32_t softmax_decision(float* values, std::uint32_t count, std::int8_t factor) noexcept;

// hidden_layer, output_layer and softmax_decision over the caller's
// probabilities; returns the class id, winner index + 1.
std::int32_t network_forward(const float* features, float* probabilities) noexcept;

#endif
