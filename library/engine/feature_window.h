// One of the engine's kernels (engine/engine.h states what they share).
#ifndef OMBREL_FEATURE_WINDOW_H
#define OMBREL_FEATURE_WINDOW_H

#include <cstdint>

// With count >= INPUT_LENGTH: destination[offset + i] = source[i] for
// i < INPUT_LENGTH, bit for bit, whatever the mode; returns true. The
// windowing modes for smaller counts are not offered: returns false and
// writes nothing.
bool feature_window(const float* source, float* destination, std::uint16_t offset,
                    std::uint16_t count, std::uint16_t mode) noexcept;

#endif
