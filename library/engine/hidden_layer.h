// One of the engine's kernels (engine/engine.h states what they share).
#ifndef OMBREL_HIDDEN_LAYER_H
#define OMBREL_HIDDEN_LAYER_H

#include <cstdint>

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

#endif
