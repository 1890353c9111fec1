// The classification engine's kernels: pure functions over the pointers and
// sizes they are given. They read nothing but their arguments, write nothing
// but their outputs, keep nothing between calls and touch no process-wide
// state, so any number of threads may run them at once on their own buffers.
//
// Arithmetic is IEEE-754 single precision, every operation rounded on its own
// (the library is built with -ffp-contract=off); only tanh and exp are taken
// in double precision and rounded to float. Every sum runs in the order
// stated; four-wide code runs only across independent sums.
#ifndef OMBREL_ENGINE_H
#define OMBREL_ENGINE_H

#include <cstdint>

// output[i] = (input[i] - means[i]) * scales[i] for i < length: the
// difference and the product each rounded to float.
void standardise_signal(const float* input, const float* means, const float* scales, float* output,
                        std::int32_t length) noexcept;

// With count >= INPUT_LENGTH: destination[offset + i] = source[i] for
// i < INPUT_LENGTH, bit for bit, whatever the mode; returns true. The
// windowing modes for smaller counts are not offered: returns false and
// writes nothing.
bool feature_window(const float* source, float* destination, std::uint16_t offset,
                    std::uint16_t count, std::uint16_t mode) noexcept;

// activations[j] = tanh(biases[j] + weights[0*units + j]*features[0] + ...
//                  + weights[(inputs-1)*units + j]*features[inputs-1])
// for j < units (0 to HIDDEN_CAPACITY), summed in that order, tanh in double
// precision rounded to float. `weights` is input-major, inputs*units floats.
// Units run four or eight at a time: for a unit count that is not a multiple
// of the width, up to 7 floats past each weight row and past the last bias
// are read and never used. In a knowledge they always exist (its output
// layer and configuration, 4*N + 23 floats or more, follow); any other caller
// must provide them.
void hidden_layer(const float* features, std::int32_t inputs, const float* weights,
                  const float* biases, std::int32_t units, float* activations) noexcept;

// scores[k] = biases[k] + activations[0]*weights[0*4 + k] + ...
//             + activations[units-1]*weights[(units-1)*4 + k]
// for the CLASS_COUNT = 4 outputs, in that order. `weights` is unit-major,
// 4*units floats.
void output_layer(const float* activations, std::int32_t units, const float* weights,
                  const float* biases, float* scores) noexcept;

// Turns `count` scores into probabilities in place with a soft-max of
// factor * (score - max), and returns the 0-based index of the first highest
// probability (0 when count is 0 or a NaN is present). A NaN probability is
// the positive quiet NaN 0x7fc00000, whatever NaN the arithmetic gave.
std::int32_t softmax_decision(float* values, std::uint32_t count, std::int8_t factor) noexcept;

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
