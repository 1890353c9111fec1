// signal_lanes (engine/signal_lanes.h) sixteen signals at a time, in the
// 512-bit vectors of AVX-512 (F, DQ, BW and VL): each signal in its own
// float lane, its tanh and exp in double lanes of eight, every operation
// the scalar one rounded on its own (the double-lane evaluation of
// engine/exp_lanes.h, whatever OMBREL_DOUBLE_LANES chooses for the scalar
// functions: both give the same floats). Built for x86-64 except on Windows,
// whose 64-bit GCC cannot align the stack for 64-byte spills; run only where
// the processor has those extensions.
#ifndef OMBREL_SIGNAL_LANES_AVX512_H
#define OMBREL_SIGNAL_LANES_AVX512_H

#include "engine/network_forward.h"

#include <cstddef>
#include <cstdint>

#if defined(__x86_64__) && !defined(_WIN32)
#define OMBREL_SIGNAL_LANES_AVX512 1

void signal_lanes_avx512(const NetworkView& network, const float* means, const float* scales,
                         const float* signals, std::size_t count, float* probabilities,
                         std::uint16_t* class_ids) noexcept;

// float_tanh and float_exp of input[0 .. count-1] as signal_lanes_avx512
// evaluates them, count a multiple of 16 (for the test that compares every
// float with the C library's functions).
void elementary_avx512(const float* input, float* tanh_output, float* exp_output, std::size_t count) noexcept;
#else
#define OMBREL_SIGNAL_LANES_AVX512 0
#endif

#endif
