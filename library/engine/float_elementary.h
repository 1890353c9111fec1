// tanh and exp of a float, computed as the C library's double-precision
// functions and rounded to float: float_tanh(x) == (float)tanh((double)x) and
// float_exp(x) == (float)exp((double)x), bit for bit, for all 2^32 inputs
// (NaN inputs give the C library's NaN).
//
// Built with OMBREL_OWN_ELEMENTARY (the default on x86-64) they call no C
// library function: a fast double evaluation rounded to float decides all
// but the arguments near a float rounding midpoint (about one in 2000 for
// tanh over 2^-13 <= |x| < 9.1, one in a million for exp), which a
// double-double evaluation rounds correctly. An exhaustive test compares
// every float with glibc, so every platform gives glibc's floats. Without
// the option they call the C library's tanh and exp.
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
