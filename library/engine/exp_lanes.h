// e^y in double precision over independent lanes, for the library's own
// float tanh and exp. Contract: every lane of y lies in [-88, 89] (NaN and
// infinities excluded); the result's relative error is below 2^-50 (see
// below). Callers round to float and fall back to the C library where the
// result lies within their error window of a float rounding midpoint.
//
// Method: y = k ln2/32 + r with k = nearest integer to y 32/ln2 and
// |r| <= ln2/64 + 2^-40; e^y = 2^(k>>5) * 2^((k&31)/32) * e^r.
// - k*head is exact (|k| < 2^13, head has 40 significant bits) and head + tail
//   is ln2/32 to 2^-100, so r carries an absolute error below 2^-60.
// - e^r is the Taylor polynomial of degree 6: truncation below
//   (0.0109)^7/7! < 2^-58; Horner's rounding errors total about one ulp
//   (each term is scaled by |r| < 2^-6 before the last addition of 1).
// - The table entry is 2^(j/32) rounded to double (half an ulp), and the final
//   product adds half an ulp: about 3 ulps (3 * 2^-52) in all, under 2^-50.
// The constants are printed by tools/elementary_constants.py.
#ifndef OMBREL_EXP_LANES_H
#define OMBREL_EXP_LANES_H

#include <cstdint>
#include <cstring>

// The lane functions are always inlined, so passing 32-byte vectors by value
// never crosses a call and the warning about its ABI does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

typedef double Double2 __attribute__((vector_size(16)));
typedef std::int64_t Int2 __attribute__((vector_size(16)));
typedef double Double4 __attribute__((vector_size(32)));
typedef std::int64_t Int4 __attribute__((vector_size(32)));
typedef double Double1 __attribute__((vector_size(8)));
typedef std::int64_t Int1 __attribute__((vector_size(8)));

inline constexpr double exp_table[32] = {
    0x1.0000000000000p+0, 0x1.059b0d3158574p+0, 0x1.0b5586cf9890fp+0, 0x1.11301d0125b51p+0,
    0x1.172b83c7d517bp+0, 0x1.1d4873168b9aap+0, 0x1.2387a6e756238p+0, 0x1.29e9df51fdee1p+0,
    0x1.306fe0a31b715p+0, 0x1.371a7373aa9cbp+0, 0x1.3dea64c123422p+0, 0x1.44e086061892dp+0,
    0x1.4bfdad5362a27p+0, 0x1.5342b569d4f82p+0, 0x1.5ab07dd485429p+0, 0x1.6247eb03a5585p+0,
    0x1.6a09e667f3bcdp+0, 0x1.71f75e8ec5f74p+0, 0x1.7a11473eb0187p+0, 0x1.82589994cce13p+0,
    0x1.8ace5422aa0dbp+0, 0x1.93737b0cdc5e5p+0, 0x1.9c49182a3f090p+0, 0x1.a5503b23e255dp+0,
    0x1.ae89f995ad3adp+0, 0x1.b7f76f2fb5e47p+0, 0x1.c199bdd85529cp+0, 0x1.cb720dcef9069p+0,
    0x1.d5818dcfba487p+0, 0x1.dfc97337b9b5fp+0, 0x1.ea4afa2a490dap+0, 0x1.f50765b6e4540p+0,
};

// D is a vector of doubles and I the vector of int64 of the same lane count.
template <typename D, typename I>
__attribute__((always_inline)) inline D exp_lanes(D y) noexcept
{
    constexpr int lanes = static_cast<int>(sizeof(D) / sizeof(double));
    // Adding 1.5 * 2^52 rounds y*32/ln2 to the nearest integer k and leaves
    // k, two's complement, in the low bits of the sum's encoding.
    constexpr double shifter = 0x1.8p52;
    constexpr std::int64_t shifter_bits = 0x4338000000000000;
    const D shifted = y * 0x1.71547652b82fep+5 + shifter;
    const D k = shifted - shifter;
    const D r = (y - k * 0x1.62e42fefa4000p-6) - k * -0x1.8432a1b0e2634p-48;

    D p = r * 0x1.6c16c16c16c17p-10 + 0x1.1111111111111p-7;
    p = p * r + 0x1.5555555555555p-5;
    p = p * r + 0x1.5555555555555p-3;
    p = p * r + 0x1.0p-1;
    p = p * r + 1.0;
    p = p * r + 1.0;

    I n;
    std::memcpy(&n, &shifted, sizeof n);
    n = n - shifter_bits;
    D t;
    for (int i = 0; i < lanes; ++i) {
        t[i] = exp_table[n[i] & 31];
    }
    // 2^(k>>5) enters the exponent field; the table entries lie in [1, 2)
    // and k>>5 in [-128, 129], so the scaled value stays a normal double.
    I bits;
    std::memcpy(&bits, &t, sizeof bits);
    bits = bits + ((n >> 5) << 52);
    std::memcpy(&t, &bits, sizeof t);
    return t * p;
}

// Distance, in ulps of the double d (positive, normal), from d to the nearest
// midpoint between two floats of d's binade: the low 29 of the 52 fraction
// bits are the position between two floats, 2^28 is the midpoint.
template <typename D, typename I>
__attribute__((always_inline)) inline I ulps_from_float_midpoint(D d) noexcept
{
    I bits;
    std::memcpy(&bits, &d, sizeof bits);
    const I offset = (bits & 0x1fffffff) - 0x10000000;
    return offset < 0 ? -offset : offset;
}

#endif
