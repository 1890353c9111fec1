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
// Signals run eight at a time (sixteen with AVX-512), signal s of a block
// in lane s of every vector: each sum is its own signal's, in that signal's
// order, and each operation is the scalar one rounded on its own, so the
// lane a signal takes changes no bit. A last block of fewer signals repeats
// its last signal in the spare lanes and stores only its own. Reads nothing
// past the network's weights and biases; keeps nothing between calls.
void signal_lanes(const NetworkView& network, const float* means, const float* scales,
                  const float* signals, std::size_t count, float* probabilities,
                  std::uint16_t* class_ids) noexcept;

// The instruction sets signal_lanes chooses from, narrowest first: it runs
// the widest the processor has. Every path gives every signal the same bits.
enum class SignalLanesPath { PORTABLE, AVX2, AVX512 };

// Whether this build has `path` and the processor can run it.
bool signal_lanes_path_available(SignalLanesPath path) noexcept;

// signal_lanes on `path`, which must be available (for the tests, which
// compare every path with one signal at a time).
void signal_lanes_through(SignalLanesPath path, const NetworkView& network, const float* means,
                          const float* scales, const float* signals, std::size_t count, float* probabilities,
                          std::uint16_t* class_ids) noexcept;

#endif
