// One of the engine's kernels (engine/engine.h states what they share).
#ifndef OMBREL_STANDARDISE_SIGNAL_H
#define OMBREL_STANDARDISE_SIGNAL_H

#include <cstdint>

// output[i] = (input[i] - means[i]) * scales[i] for i < length: the
// difference and the product each rounded to float.
void standardise_signal(const float* input, const float* means, const float* scales, float* output,
                        std::int32_t length) noexcept;

#endif
