// One of the engine's kernels (engine/engine.h states what they share).
#ifndef OMBREL_OUTPUT_LAYER_H
#define OMBREL_OUTPUT_LAYER_H

#include <cstdint>

// scores[k] = biases[k] + activations[0]*weights[0*4 + k] + ...
//             + activations[units-1]*weights[(units-1)*4 + k]
// for the CLASS_COUNT = 4 outputs, in that order. `weights` is unit-major,
// 4*units floats.
void output_layer(const float* activations, std::int32_t units, const float* weights,
                  const float* biases, float* scores) noexcept;

#endif
