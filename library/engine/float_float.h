// Unevaluated sums hi + lo of two floats (|lo| <= half an ulp of hi): the
// error-free transformations of single precision, for the float-only tanh and
// exp. Every product's error is taken with an explicit fused multiply-add
// (fmaf: one VFMA.F32 on a Cortex-M4F, exact by definition everywhere), never
// with a contraction, so every platform computes the same bits.
#ifndef OMBREL_FLOAT_FLOAT_H
#define OMBREL_FLOAT_FLOAT_H

#include <cmath>

struct FloatFloat {
    float hi;
    float lo;
};

// a + b exactly (Knuth), for any a, b without overflow.
__attribute__((always_inline)) inline FloatFloat ff_two_sum(float a, float b) noexcept
{
    const float s = a + b;
    const float bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// a + b exactly, given |a| >= |b| or a == 0 (Dekker).
__attribute__((always_inline)) inline FloatFloat ff_fast_two_sum(float a, float b) noexcept
{
    const float s = a + b;
    return {s, b - (s - a)};
}

// a * b exactly, for a product whose error term is a normal float or zero.
__attribute__((always_inline)) inline FloatFloat ff_two_product(float a, float b) noexcept
{
    const float p = a * b;
    return {p, __builtin_fmaf(a, b, -p)};
}

#endif
