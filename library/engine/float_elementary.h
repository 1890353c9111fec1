// tanh and exp of a float, computed as the double-precision functions and
// rounded to float: float_tanh(x) == (float)tanh((double)x) and
// float_exp(x) == (float)exp((double)x), bit for bit, for all 2^32 inputs
// (NaN inputs give x + x, the quiet NaN glibc's functions return), on every
// platform, without calling the C library.
//
// One of two evaluations decides all but a few arguments, and one exact
// fallback in double-double arithmetic (engine/exp_accurate.h) rounds those
// that lie too near a float rounding midpoint: with the build option
// OMBREL_DOUBLE_LANES (the default on x86-64) the double-lane evaluation of
// engine/exp_lanes.h, four lanes at a time where the processor has AVX2
// (float_tanh_array eight, engine/tanh_eight_avx2.h);
// otherwise the float-only one of engine/float_single.h, for a processor
// whose FPU may lack double precision. Their constants, range limits and
// error bounds are in engine/elementary_constants.h. The fallback takes, of
// the tanh arguments between 2^-13 and 9.1, about one in 2,000 from the
// double lanes (their window is 2^-11 of a float's spacing) and one in 2,800
// from the float-only evaluation; of the exp arguments in [-87, 88.5], about
// one in a million from either, and every subnormal or near-overflow exp.
// The exhaustive test (ctest -L exhaustive) compares every float of both
// evaluations with glibc and counts the float-only one's fallbacks.
#ifndef OMBREL_FLOAT_ELEMENTARY_H
#define OMBREL_FLOAT_ELEMENTARY_H

float float_tanh(float x) noexcept;

// output[i] = float_tanh(input[i]) for i < count; reads and writes exactly
// `count` floats. The arrays may not overlap partially (equal is allowed).
void float_tanh_array(const float* input, float* output, int count) noexcept;

float float_exp(float x) noexcept;

// output[i] = float_exp(input[i]) for i < count, several lanes at once where
// the processor has them; reads and writes exactly `count` floats. The
// arrays may not overlap partially (equal is allowed).
void float_exp_array(const float* input, float* output, int count) noexcept;

#endif
