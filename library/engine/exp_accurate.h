// tanh and exp of a float, correctly rounded from double-doubles (e^y and
// e^y - 1 to far more than double precision), for the rare arguments whose
// fast evaluation lies too near a float rounding midpoint to decide. Plain
// double operations only: every platform computes the same bits, and nothing
// calls the C library.
#ifndef OMBREL_EXP_ACCURATE_H
#define OMBREL_EXP_ACCURATE_H

#include "engine/double_double.h"

// The float nearest to tanh(x), for 2^-13 <= |x| < 9.1, from a double-double
// t / (t + 2) with t = e^(2|x|) - 1 (within 2^-62, the quotient within
// 2^-60). At every argument where the library's own tanh comes here, glibc's
// tanh rounds to that same float (the exhaustive test shows it). A NaN x
// gives x + x, x made quiet, as glibc's tanh returns it.
float tanh_nearest(float x) noexcept;

// The float nearest to e^x (normal, subnormal or infinite) for x in
// [-104.5, 89], from a double-double within 2^-69; as tanh_nearest, glibc's
// exp agrees wherever the library comes here, and a NaN x gives x + x.
float exp_nearest(float x) noexcept;

#endif
