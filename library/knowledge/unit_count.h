#ifndef OMBREL_UNIT_COUNT_H
#define OMBREL_UNIT_COUNT_H

#include <cstdint>

// Turns a stored unit count into N by truncation toward zero. Usable only
// when -1 < stored < HIDDEN_CAPACITY + 1, which keeps N in 0..HIDDEN_CAPACITY
// and rules out NaN, infinities and anything outside the 32-bit range before
// any conversion. Returns false (and leaves *units alone) otherwise.
bool unit_count_from_stored(float stored, std::int32_t* units) noexcept;

// Floats in a knowledge of `units` hidden units with `block_count`
// standardisation blocks: 128*B (standardisation) + 1 (unit count)
// + 65*N (hidden weights and biases) + 4*N (output weights)
// + 4 (output biases) + 19 (configuration) = 69*N + 128*B + 24.
std::int32_t knowledge_float_count_for(std::int32_t units, std::uint8_t block_count) noexcept;

#endif
