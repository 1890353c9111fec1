// One of the engine's kernels (engine/engine.h states what they share).
#ifndef OMBREL_SOFTMAX_DECISION_H
#define OMBREL_SOFTMAX_DECISION_H

#include <cstdint>

// Turns `count` scores into probabilities in place with a soft-max of
// factor * (score - max), and returns the 0-based index of the first highest
// probability (0 when count is 0 or a NaN is present). A NaN probability is
// the positive quiet NaN 0x7fc00000, whatever NaN the arithmetic gave.
std::int32_t softmax_decision(float* values, std::uint32_t count, std::int8_t factor) noexcept;

#endif
