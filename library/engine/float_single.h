// The float-only evaluation of tanh and exp (engine/float_elementary.h), in
// single-precision arithmetic alone, for a processor whose FPU has no double
// precision (a Cortex-M4F): float-float values, one explicit fused
// multiply-add per exact product, the shared table of 2^(j/32). For every
// float x,
//   tanh_single(x) == (float)tanh((double)x),  exp_single(x) == (float)exp((double)x)
// bit for bit.
//
// The *_fast forms decide all but a few arguments in float arithmetic: they
// return true with the result in *result, or false where the float-float
// value lies too near a float rounding midpoint to decide (and, for exp,
// where e^x is a subnormal float or near overflow). The full forms then take
// the double-double fallback of exp_accurate.h, software double precision on
// such a device.
#ifndef OMBREL_FLOAT_SINGLE_H
#define OMBREL_FLOAT_SINGLE_H

#include "engine/exp_accurate.h"

bool tanh_single_fast(float x, float* result) noexcept;
bool exp_single_fast(float x, float* result) noexcept;

inline float tanh_single(float x) noexcept
{
    float result;
    return tanh_single_fast(x, &result) ? result : tanh_nearest(x);
}

inline float exp_single(float x) noexcept
{
    float result;
    return exp_single_fast(x, &result) ? result : exp_nearest(x);
}

#endif
