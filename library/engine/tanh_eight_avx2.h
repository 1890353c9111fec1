// float_tanh of eight floats with AVX2 (x86-64; included by float_tanh.cpp
// alone): tanh_lanes of engine/exp_lanes.h over two vectors of four doubles,
// operation for operation, with the lane bookkeeping (saturation, the
// identity limit, signs, the lanes left to the fallback) in eight-float
// vectors rather than lane by lane, and the exp table read by a gather.
#ifndef OMBREL_TANH_EIGHT_AVX2_H
#define OMBREL_TANH_EIGHT_AVX2_H

#include "engine/exp_lanes.h"

#include <immintrin.h>

#include <cstdint>

#define OMBREL_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

// exp_lanes<Double4, Int4> of y, operation for operation, compiled for
// AVX2 (clang refuses to pass a 32-byte vector to the template, which has
// no target). AVX2 has no arithmetic shift of 64-bit lanes: (n >> 5) << 52
// is taken as (n & ~31) << 47, the same bits.
OMBREL_AVX2_INLINE __m256d exp_four_avx2(__m256d y) noexcept
{
    const __m256d shifter = _mm256_set1_pd(0x1.8p52);
    const __m256d shifted = _mm256_add_pd(_mm256_mul_pd(y, _mm256_set1_pd(INVERSE_STEP)), shifter);
    const __m256d k = _mm256_sub_pd(shifted, shifter);
    constexpr double STEP_TAIL = static_cast<double>(STEP_PARTS[1]) + static_cast<double>(STEP_PARTS[2]);
    const __m256d reduced = _mm256_sub_pd(y, _mm256_mul_pd(k, _mm256_set1_pd(static_cast<double>(STEP_PARTS[0]))));
    const __m256d r = _mm256_sub_pd(reduced, _mm256_mul_pd(k, _mm256_set1_pd(STEP_TAIL)));

    const __m256d r2 = _mm256_mul_pd(r, r);
    const __m256d low = _mm256_add_pd(_mm256_mul_pd(r, _mm256_set1_pd(INVERSE_FACTORIAL[3])), _mm256_set1_pd(LANES_HALF));
    const __m256d high =
        _mm256_add_pd(_mm256_mul_pd(r, _mm256_set1_pd(INVERSE_FACTORIAL[5])), _mm256_set1_pd(LANES_TWENTY_FOURTH));
    const __m256d q = _mm256_add_pd(_mm256_mul_pd(high, r2), low);
    const __m256d p = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(q, r2), r), _mm256_set1_pd(1.0));

    const __m256i n = _mm256_sub_epi64(_mm256_castpd_si256(shifted), _mm256_set1_epi64x(0x4338000000000000));
    const __m256d t = _mm256_i64gather_pd(EXP2_DOUBLES.value, _mm256_and_si256(n, _mm256_set1_epi64x(31)), 8);
    const __m256i exponent = _mm256_slli_epi64(_mm256_andnot_si256(_mm256_set1_epi64x(31), n), 47);
    return _mm256_mul_pd(_mm256_castsi256_pd(_mm256_add_epi64(_mm256_castpd_si256(t), exponent)), p);
}

// The covered lanes' tanh|x| = (E - 1) / (E + 1), E = e^(2|x|) (E of 1
// elsewhere), rounded to float; `clear` receives, as all-ones lanes, those
// that lie farther than the window from a float rounding midpoint.
OMBREL_AVX2_INLINE __m128 tanh_four_avx2(__m128 magnitude, __m128 covered, __m128* clear) noexcept
{
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d wide = _mm256_cvtps_pd(magnitude);
    const __m256d covered_wide = _mm256_castsi256_pd(_mm256_cvtepi32_epi64(_mm_castps_si128(covered)));
    const __m256d e = exp_four_avx2(_mm256_blendv_pd(one, _mm256_add_pd(wide, wide), covered_wide));
    const __m256d quotient = _mm256_div_pd(_mm256_sub_pd(e, one), _mm256_add_pd(e, one));
    // |offset| > window, as ulps_from_float_midpoint measures it.
    const __m256i position = _mm256_and_si256(_mm256_castpd_si256(quotient), _mm256_set1_epi64x(0x1fffffff));
    const __m256i offset = _mm256_sub_epi64(position, _mm256_set1_epi64x(0x10000000));
    const __m256i far = _mm256_or_si256(_mm256_cmpgt_epi64(offset, _mm256_set1_epi64x(LANES_TANH_WINDOW)),
                                        _mm256_cmpgt_epi64(_mm256_set1_epi64x(-LANES_TANH_WINDOW), offset));
    // Each 64-bit mask lane's low half, in order, as four 32-bit lanes.
    const __m256i halves = _mm256_permutevar8x32_epi32(_mm256_and_si256(far, _mm256_castpd_si256(covered_wide)),
                                                       _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6));
    *clear = _mm_castsi128_ps(_mm256_castsi256_si128(halves));
    return _mm256_cvtpd_ps(quotient);
}

// output[0..7] = float_tanh(input[0..7]), as tanh_lanes decides each lane.
OMBREL_AVX2_INLINE void tanh_eight_avx2(const float* input, float* output) noexcept
{
    const __m256 x = _mm256_loadu_ps(input);
    const __m256 sign = _mm256_and_ps(x, _mm256_castsi256_ps(_mm256_set1_epi32(INT32_MIN)));
    const __m256 magnitude = _mm256_andnot_ps(_mm256_castsi256_ps(_mm256_set1_epi32(INT32_MIN)), x);
    const __m256 saturated = _mm256_cmp_ps(magnitude, _mm256_set1_ps(TANH_SATURATION), _CMP_GE_OQ);
    const __m256 identity = _mm256_cmp_ps(magnitude, _mm256_set1_ps(TANH_IDENTITY_LIMIT), _CMP_LT_OQ);
    const __m256 covered =
        _mm256_andnot_ps(saturated, _mm256_cmp_ps(magnitude, _mm256_set1_ps(TANH_IDENTITY_LIMIT), _CMP_GE_OQ));
    __m256 value = _mm256_set1_ps(1.0f);
    __m256 decided = _mm256_or_ps(saturated, identity);
    if (_mm256_movemask_ps(covered) != 0) {
        __m128 low_clear, high_clear;
        const __m128 low = tanh_four_avx2(_mm256_castps256_ps128(magnitude), _mm256_castps256_ps128(covered), &low_clear);
        const __m128 high =
            tanh_four_avx2(_mm256_extractf128_ps(magnitude, 1), _mm256_extractf128_ps(covered, 1), &high_clear);
        const __m256 clear = _mm256_set_m128(high_clear, low_clear);
        value = _mm256_blendv_ps(value, _mm256_set_m128(high, low), clear);
        decided = _mm256_or_ps(decided, clear);
    }
    _mm256_storeu_ps(output, _mm256_blendv_ps(_mm256_or_ps(value, sign), x, identity));
    // (From a copy of the input: output may be input.)
    const int undecided = ~_mm256_movemask_ps(decided) & 0xff;
    if (undecided != 0) {
        float in[8];
        _mm256_storeu_ps(in, x);
        for (int i = 0; i < 8; ++i) {
            if ((undecided >> i) & 1) {
                output[i] = tanh_undecided(in[i]);
            }
        }
    }
}

#undef OMBREL_AVX2_INLINE

#endif
