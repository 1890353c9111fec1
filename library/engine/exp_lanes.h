// e^y in double precision over independent lanes, for the library's own
// float tanh and exp. Contract: every lane of y lies in [-88, 89] (NaN and
// infinities excluded); the result's relative error is below 2^-50 (see
// below). Callers round to float, and where the result lies within their
// error window of a float rounding midpoint they take exp_accurate's
// double-double instead (engine/exp_accurate.h): no C library call.
//
// Method: y = k ln2/64 + r with k = nearest integer to y 64/ln2 and
// |r| <= ln2/128 + 2^-40; e^y = 2^(k>>6) * 2^((k&63)/64) * e^r.
// - k*head is exact (|k| < 2^13, head has 40 significant bits) and head + tail
//   is ln2/64 to 2^-100, so r carries an absolute error below 2^-60.
// - e^r is the Taylor polynomial of degree 5: truncation below
//   (0.00542)^6/6! < 2^-54. It is evaluated as 1 + (r + r^2 q), where every
//   rounding inside r + r^2 q is scaled by |r| < 2^-7: about one ulp in all.
// - The table entry is 2^(j/64) rounded to double (half an ulp), and the final
//   product adds half an ulp: about 2 ulps (2^-51) in all, under 2^-50.
// The constants are printed by tools/elementary_constants.py.
#ifndef OMBREL_EXP_LANES_H
#define OMBREL_EXP_LANES_H

#include <cstdint>
#include <cstring>

// The lane functions are always inlined, so passing 32-byte vectors by value
// never crosses a call. GCC still warns (-Wpsabi) where a file without AVX
// instantiates them with four lanes: such a file turns the warning off for
// itself (engine/float_tanh.cpp).

typedef double Double2 __attribute__((vector_size(16)));
typedef std::int64_t Int2 __attribute__((vector_size(16)));
typedef double Double4 __attribute__((vector_size(32)));
typedef std::int64_t Int4 __attribute__((vector_size(32)));
typedef double Double1 __attribute__((vector_size(8)));
typedef std::int64_t Int1 __attribute__((vector_size(8)));

inline constexpr double exp_table[64] = {
    0x1.0000000000000p+0, 0x1.02c9a3e778061p+0, 0x1.059b0d3158574p+0, 0x1.0874518759bc8p+0,
    0x1.0b5586cf9890fp+0, 0x1.0e3ec32d3d1a2p+0, 0x1.11301d0125b51p+0, 0x1.1429aaea92de0p+0,
    0x1.172b83c7d517bp+0, 0x1.1a35beb6fcb75p+0, 0x1.1d4873168b9aap+0, 0x1.2063b88628cd6p+0,
    0x1.2387a6e756238p+0, 0x1.26b4565e27cddp+0, 0x1.29e9df51fdee1p+0, 0x1.2d285a6e4030bp+0,
    0x1.306fe0a31b715p+0, 0x1.33c08b26416ffp+0, 0x1.371a7373aa9cbp+0, 0x1.3a7db34e59ff7p+0,
    0x1.3dea64c123422p+0, 0x1.4160a21f72e2ap+0, 0x1.44e086061892dp+0, 0x1.486a2b5c13cd0p+0,
    0x1.4bfdad5362a27p+0, 0x1.4f9b2769d2ca7p+0, 0x1.5342b569d4f82p+0, 0x1.56f4736b527dap+0,
    0x1.5ab07dd485429p+0, 0x1.5e76f15ad2148p+0, 0x1.6247eb03a5585p+0, 0x1.6623882552225p+0,
    0x1.6a09e667f3bcdp+0, 0x1.6dfb23c651a2fp+0, 0x1.71f75e8ec5f74p+0, 0x1.75feb564267c9p+0,
    0x1.7a11473eb0187p+0, 0x1.7e2f336cf4e62p+0, 0x1.82589994cce13p+0, 0x1.868d99b4492edp+0,
    0x1.8ace5422aa0dbp+0, 0x1.8f1ae99157736p+0, 0x1.93737b0cdc5e5p+0, 0x1.97d829fde4e50p+0,
    0x1.9c49182a3f090p+0, 0x1.a0c667b5de565p+0, 0x1.a5503b23e255dp+0, 0x1.a9e6b5579fdbfp+0,
    0x1.ae89f995ad3adp+0, 0x1.b33a2b84f15fbp+0, 0x1.b7f76f2fb5e47p+0, 0x1.bcc1e904bc1d2p+0,
    0x1.c199bdd85529cp+0, 0x1.c67f12e57d14bp+0, 0x1.cb720dcef9069p+0, 0x1.d072d4a07897cp+0,
    0x1.d5818dcfba487p+0, 0x1.da9e603db3285p+0, 0x1.dfc97337b9b5fp+0, 0x1.e502ee78b3ff6p+0,
    0x1.ea4afa2a490dap+0, 0x1.efa1bee615a27p+0, 0x1.f50765b6e4540p+0, 0x1.fa7c1819e90d8p+0,
};

// D is a vector of doubles and I the vector of int64 of the same lane count.
template <typename D, typename I>
__attribute__((always_inline)) inline D exp_lanes(D y) noexcept
{
    constexpr int lanes = static_cast<int>(sizeof(D) / sizeof(double));
    // Adding 1.5 * 2^52 rounds y*64/ln2 to the nearest integer k and leaves
    // k, two's complement, in the low bits of the sum's encoding.
    constexpr double SHIFTER = 0x1.8p52;
    constexpr std::int64_t SHIFTER_BITS = 0x4338000000000000;
    const D shifted = y * 0x1.71547652b82fep+6 + SHIFTER;
    const D k = shifted - SHIFTER;
    const D r = (y - k * 0x1.62e42fefa4000p-7) - k * -0x1.8432a1b0e2634p-49;

    const D r2 = r * r;
    const D low = r * 0x1.5555555555555p-3 + 0x1.0p-1;
    const D high = r * 0x1.1111111111111p-7 + 0x1.5555555555555p-5;
    const D q = high * r2 + low;
    const D p = (q * r2 + r) + 1.0;

    I n;
    std::memcpy(&n, &shifted, sizeof n);
    n = n - SHIFTER_BITS;
    D t;
    for (int i = 0; i < lanes; ++i) {
        t[i] = exp_table[n[i] & 63];
    }
    // 2^(k>>6) enters the exponent field; the table entries lie in [1, 2)
    // and k>>6 in [-128, 128], so the scaled value stays a normal double.
    I bits;
    std::memcpy(&bits, &t, sizeof bits);
    bits = bits + ((n >> 6) << 52);
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

template <typename I>
__attribute__((always_inline)) inline bool any_lane(I mask) noexcept
{
    std::int64_t any = 0;
    for (int i = 0; i < static_cast<int>(sizeof(I) / sizeof any); ++i) {
        any |= mask[i];
    }
    return any != 0;
}

template <typename I>
__attribute__((always_inline)) inline bool all_lanes(I mask) noexcept
{
    std::int64_t all = -1;
    for (int i = 0; i < static_cast<int>(sizeof(I) / sizeof all); ++i) {
        all &= mask[i];
    }
    return all != 0;
}


#endif
