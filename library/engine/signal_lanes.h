// One of the engine's kernels (engine/engine.h states what they share).
#ifndef OMBREL_SIGNAL_LANES_H
#define OMBREL_SIGNAL_LANES_H

#include "engine/network_forward.h"

#include <cstddef>
#include <cstdint>

// What standardise_signal, feature_window and network_forward give each of
// `count` signals (signals[s * INPUT_LENGTH ...]), written to
// probabilities[s * CLASS_COUNT ...] and class_ids[s]; the hidden layer's
// and the output layer's unit counts of `network` must be equal.
//
// Signals run eight at a time, signal s of a block in lane s of every
// vector: each sum is its own signal's, in that signal's order, and each
// operation is the scalar one rounded on its own, so the lane a signal takes
// changes no bit. A last block of fewer than eight repeats its last signal
// in the spare lanes and stores only its own. Reads nothing past the
// network's weights and biases; keeps nothing between calls.
void signal_lanes(const NetworkView& network, const float* means, const float* scales,
                  const float* signals, std::size_t count, float* probabilities,
                  std::uint16_t* class_ids) noexcept;

#endif
