#include "engine/signal_lanes_avx512.h"

#if OMBREL_SIGNAL_LANES_AVX512

#include "engine/elementary_constants.h"
#include "engine/exp_lanes.h"
#include "classifier.h"

#include <immintrin.h>

#include <cstdint>
#include <limits>

// Every function below is compiled for AVX-512 alone and always inlined into
// signal_lanes_avx512, which runs only where the processor has it: no
// 64-byte vector crosses a call, and the warning about their ABI does not
// apply. The inline functions of the headers above keep the default target.
#pragma GCC diagnostic ignored "-Wpsabi"
// GCC 12's intrinsics start many results from a deliberately undefined
// vector (_mm512_undefined_ps and kin), which it then reports as maybe
// used uninitialised (a warning clang does not have).
#ifndef __clang__
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#pragma GCC diagnostic ignored "-Wuninitialized"

#define OMBREL_AVX512_TARGET __attribute__((target("avx512f,avx512dq,avx512bw,avx512vl")))
#define OMBREL_AVX512_INLINE OMBREL_AVX512_TARGET __attribute__((always_inline)) inline

namespace {

// Signals per block: one per float lane of a 512-bit vector. Their doubles
// take two vectors of eight.
constexpr int WIDE = 16;

// A block's features and activations, element j of a vector being signal j.
struct WideBlock {
    __m512 features[INPUT_LENGTH];
    __m512 hidden[HIDDEN_CAPACITY];
};

// Transposes a 16x16 matrix of floats held as 16 rows: on return, vector i
// holds element i of every row. Unpacking pairs of rows, then pairs of
// pairs, leaves in 128-bit part p of vector 4g + c rows 4g..4g+3 of column
// 4p + c; two rounds of 128-bit shuffles then gather each column's parts.
OMBREL_AVX512_INLINE void transpose16(__m512* r) noexcept
{
    __m512 t[WIDE];
    for (int i = 0; i < WIDE; i += 2) {
        t[i] = _mm512_unpacklo_ps(r[i], r[i + 1]);
        t[i + 1] = _mm512_unpackhi_ps(r[i], r[i + 1]);
    }
    for (int i = 0; i < WIDE; i += 4) {
        const __m512d a = _mm512_castps_pd(t[i]), b = _mm512_castps_pd(t[i + 1]);
        const __m512d c = _mm512_castps_pd(t[i + 2]), d = _mm512_castps_pd(t[i + 3]);
        r[i] = _mm512_castpd_ps(_mm512_unpacklo_pd(a, c));
        r[i + 1] = _mm512_castpd_ps(_mm512_unpackhi_pd(a, c));
        r[i + 2] = _mm512_castpd_ps(_mm512_unpacklo_pd(b, d));
        r[i + 3] = _mm512_castpd_ps(_mm512_unpackhi_pd(b, d));
    }
    // 0x88 takes parts 0 and 2 of each source, 0xdd parts 1 and 3.
    for (int c = 0; c < 4; ++c) {
        t[c] = _mm512_shuffle_f32x4(r[c], r[4 + c], 0x88);
        t[4 + c] = _mm512_shuffle_f32x4(r[c], r[4 + c], 0xdd);
        t[8 + c] = _mm512_shuffle_f32x4(r[8 + c], r[12 + c], 0x88);
        t[12 + c] = _mm512_shuffle_f32x4(r[8 + c], r[12 + c], 0xdd);
    }
    for (int c = 0; c < 4; ++c) {
        r[c] = _mm512_shuffle_f32x4(t[c], t[8 + c], 0x88);
        r[8 + c] = _mm512_shuffle_f32x4(t[c], t[8 + c], 0xdd);
        r[4 + c] = _mm512_shuffle_f32x4(t[4 + c], t[12 + c], 0x88);
        r[12 + c] = _mm512_shuffle_f32x4(t[4 + c], t[12 + c], 0xdd);
    }
}

// (input - mean) * scale per position, as standardise_signal; the feature
// window copies it unchanged.
OMBREL_AVX512_INLINE void standardise_wide(const float* const* rows, const float* means, const float* scales,
                                           __m512* features) noexcept
{
    for (int first = 0; first < INPUT_LENGTH; first += WIDE) {
        __m512 r[WIDE];
        for (int s = 0; s < WIDE; ++s) {
            r[s] = _mm512_loadu_ps(rows[s] + first);
        }
        transpose16(r);
        for (int i = 0; i < WIDE; ++i) {
            const __m512 difference = _mm512_sub_ps(r[i], _mm512_set1_ps(means[first + i]));
            features[first + i] = _mm512_mul_ps(difference, _mm512_set1_ps(scales[first + i]));
        }
    }
}

// e^y for every lane of y in [-88, 89]: exp_lanes of engine/exp_lanes.h,
// operation for operation, the table read by two two-register permutes.
OMBREL_AVX512_INLINE __m512d exp_wide(__m512d y) noexcept
{
    const __m512d shifter = _mm512_set1_pd(0x1.8p52);
    const __m512d shifted = _mm512_add_pd(_mm512_mul_pd(y, _mm512_set1_pd(INVERSE_STEP)), shifter);
    const __m512d k = _mm512_sub_pd(shifted, shifter);
    constexpr double STEP_TAIL = static_cast<double>(STEP_PARTS[1]) + static_cast<double>(STEP_PARTS[2]);
    const __m512d reduced = _mm512_sub_pd(y, _mm512_mul_pd(k, _mm512_set1_pd(static_cast<double>(STEP_PARTS[0]))));
    const __m512d r = _mm512_sub_pd(reduced, _mm512_mul_pd(k, _mm512_set1_pd(STEP_TAIL)));

    const __m512d r2 = _mm512_mul_pd(r, r);
    const __m512d low = _mm512_add_pd(_mm512_mul_pd(r, _mm512_set1_pd(INVERSE_FACTORIAL[3])), _mm512_set1_pd(LANES_HALF));
    const __m512d high =
        _mm512_add_pd(_mm512_mul_pd(r, _mm512_set1_pd(INVERSE_FACTORIAL[5])), _mm512_set1_pd(LANES_TWENTY_FOURTH));
    const __m512d q = _mm512_add_pd(_mm512_mul_pd(high, r2), low);
    const __m512d p = _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(q, r2), r), _mm512_set1_pd(1.0));

    const __m512i n = _mm512_sub_epi64(_mm512_castpd_si512(shifted), _mm512_set1_epi64(0x4338000000000000));
    // Bits 0-3 of n pick one of 16 entries of two registers, bit 4 the half.
    const double* table = EXP2_DOUBLES.value;
    const __m512d first = _mm512_permutex2var_pd(_mm512_loadu_pd(table), n, _mm512_loadu_pd(table + 8));
    const __m512d second = _mm512_permutex2var_pd(_mm512_loadu_pd(table + 16), n, _mm512_loadu_pd(table + 24));
    const __m512d t = _mm512_mask_blend_pd(_mm512_test_epi64_mask(n, _mm512_set1_epi64(16)), first, second);
    const __m512i exponent = _mm512_slli_epi64(_mm512_srai_epi64(n, 5), 52);
    return _mm512_mul_pd(_mm512_castsi512_pd(_mm512_add_epi64(_mm512_castpd_si512(t), exponent)), p);
}

// The lanes of d (positive, normal) farther than `window` ulps from a float
// rounding midpoint, as ulps_from_float_midpoint measures.
OMBREL_AVX512_INLINE __mmask8 clear_of_midpoint(__m512d d, std::int64_t window) noexcept
{
    const __m512i position = _mm512_and_si512(_mm512_castpd_si512(d), _mm512_set1_epi64(0x1fffffff));
    const __m512i offset = _mm512_sub_epi64(position, _mm512_set1_epi64(0x10000000));
    return _mm512_cmpgt_epi64_mask(_mm512_abs_epi64(offset), _mm512_set1_epi64(window));
}

// The 16 doubles of x's lanes as two vectors.
OMBREL_AVX512_INLINE __m512d low_doubles(__m512 x) noexcept
{
    return _mm512_cvtps_pd(_mm512_castps512_ps256(x));
}

OMBREL_AVX512_INLINE __m512d high_doubles(__m512 x) noexcept
{
    return _mm512_cvtps_pd(_mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(x), 1)));
}

OMBREL_AVX512_INLINE __m512 floats_of(__m512d low, __m512d high) noexcept
{
    return _mm512_insertf32x8(_mm512_castps256_ps512(_mm512_cvtpd_ps(low)), _mm512_cvtpd_ps(high), 1);
}

// tanh|x| = (E - 1) / (E + 1), E = e^(2|x|), for the covered lanes (the
// others get E of 1); `clear` receives those far enough from a midpoint.
OMBREL_AVX512_INLINE __m512d tanh_quotient(__m512d magnitude, __mmask8 covered, __mmask8* clear) noexcept
{
    const __m512d one = _mm512_set1_pd(1.0);
    const __m512d e = exp_wide(_mm512_mask_add_pd(one, covered, magnitude, magnitude));
    const __m512d quotient = _mm512_div_pd(_mm512_sub_pd(e, one), _mm512_add_pd(e, one));
    *clear = covered & clear_of_midpoint(quotient, LANES_TANH_WINDOW);
    return quotient;
}

// The lanes not in `decided` from the scalar `fallback` (rare: kept out of
// the vectors).
OMBREL_AVX512_INLINE __m512 with_fallback(__m512 x, __m512 result, __mmask16 decided,
                                          float (*fallback)(float) noexcept) noexcept
{
    if (decided == 0xffff) {
        return result;
    }
    float in[WIDE], out[WIDE];
    _mm512_storeu_ps(in, x);
    _mm512_storeu_ps(out, result);
    for (int i = 0; i < WIDE; ++i) {
        if (!((decided >> i) & 1)) {
            out[i] = fallback(in[i]);
        }
    }
    return _mm512_loadu_ps(out);
}

// float_tanh of every lane, as tanh_lanes decides them: +-1 from saturation
// on (every lane saturated skips the evaluation), x itself below the
// identity limit, the quotient rounded to float where it lies clear of a
// midpoint, and the scalar fallback for the rest (NaN among them).
OMBREL_AVX512_INLINE __m512 tanh_wide(__m512 x) noexcept
{
    const __m512 magnitude = _mm512_abs_ps(x);
    const __mmask16 saturated = _mm512_cmp_ps_mask(magnitude, _mm512_set1_ps(TANH_SATURATION), _CMP_GE_OQ);
    const __mmask16 identity = _mm512_cmp_ps_mask(magnitude, _mm512_set1_ps(TANH_IDENTITY_LIMIT), _CMP_LT_OQ);
    const __mmask16 covered = _mm512_cmp_ps_mask(magnitude, _mm512_set1_ps(TANH_IDENTITY_LIMIT), _CMP_GE_OQ) &
                              static_cast<__mmask16>(~saturated);
    __m512 value = _mm512_set1_ps(1.0f);
    __mmask16 decided = saturated | identity;
    if (covered != 0) {
        // Eight lanes with none covered skip their half of the evaluation.
        __mmask8 low_clear = 0, high_clear = 0;
        __m512d low = _mm512_set1_pd(1.0), high = low;
        if (static_cast<__mmask8>(covered) != 0) {
            low = tanh_quotient(low_doubles(magnitude), static_cast<__mmask8>(covered), &low_clear);
        }
        if (static_cast<__mmask8>(covered >> 8) != 0) {
            high = tanh_quotient(high_doubles(magnitude), static_cast<__mmask8>(covered >> 8), &high_clear);
        }
        const __mmask16 clear = static_cast<__mmask16>(low_clear | (high_clear << 8));
        value = _mm512_mask_blend_ps(clear, value, floats_of(low, high));
        decided |= clear;
    }
    const __m512 sign = _mm512_castsi512_ps(_mm512_and_si512(_mm512_castps_si512(x), _mm512_set1_epi32(INT32_MIN)));
    return with_fallback(x, _mm512_mask_blend_ps(identity, _mm512_or_ps(value, sign), x), decided, tanh_undecided);
}

// float_exp of every lane, as exp_float_lanes decides them.
OMBREL_AVX512_INLINE __m512 exp_float_wide(__m512 x) noexcept
{
    __m512d halves[2] = {low_doubles(x), high_doubles(x)};
    __mmask16 clear = 0;
    for (int h = 0; h < 2; ++h) {
        const __mmask8 covered =
            _mm512_cmp_pd_mask(halves[h], _mm512_set1_pd(static_cast<double>(EXP_LOWEST_NORMAL)), _CMP_GE_OQ) &
            _mm512_cmp_pd_mask(halves[h], _mm512_set1_pd(static_cast<double>(EXP_HIGHEST_COVERED)), _CMP_LE_OQ);
        halves[h] = exp_wide(_mm512_maskz_mov_pd(covered, halves[h]));
        clear |= static_cast<__mmask16>((covered & clear_of_midpoint(halves[h], LANES_EXP_WINDOW)) << (8 * h));
    }
    return with_fallback(x, floats_of(halves[0], halves[1]), clear, exp_undecided);
}

// Units first .. first+C-1 with their activations: bias, then weight times
// feature for inputs 0, 1, ... in order, as hidden_layer sums each unit; C
// sums in registers. Asks for the `ahead` floats from `next` on (at most a
// cache line per input) to be fetched into the cache meanwhile: a large
// array streams from memory, whose latency would otherwise stall every
// block, and requests spread over the sums keep the memory queue short.
template <int C>
OMBREL_AVX512_INLINE void unit_sums(const NetworkView& network, int first, WideBlock& block, const float* next,
                                    std::size_t ahead) noexcept
{
    constexpr int LINE_FLOATS = 16;
    __m512 sums[C];
    for (int c = 0; c < C; ++c) {
        sums[c] = _mm512_set1_ps(network.hidden_biases[first + c]);
    }
    const int units = network.hidden_units;
    for (int i = 0; i < network.inputs; ++i) {
        const __m512 x = block.features[i];
        const float* row = network.hidden_weights + i * units + first;
        for (int c = 0; c < C; ++c) {
            sums[c] = _mm512_add_ps(sums[c], _mm512_mul_ps(_mm512_set1_ps(row[c]), x));
        }
        if (static_cast<std::size_t>(i * LINE_FLOATS) < ahead) {
            _mm_prefetch(reinterpret_cast<const char*>(next + i * LINE_FLOATS), _MM_HINT_T0);
        }
    }
    for (int c = 0; c < C; ++c) {
        block.hidden[first + c] = tanh_wide(sums[c]);
    }
}

// Units summed side by side: twelve sums, a feature and a product take 14
// of the 32 registers. Fewer passes over the features than with eight: at
// N = 10 one group instead of two (about 8% faster), at N = 23 two instead
// of three (a few per cent, within the noise of the measurements).
constexpr int UNITS_AT_ONCE = 12;

// unit_sums for the `left` (fewer than C + 1) units after the full groups.
template <int C>
OMBREL_AVX512_INLINE void remaining_sums(int left, const NetworkView& network, int first, WideBlock& block,
                                         const float* next, std::size_t ahead) noexcept
{
    if constexpr (C > 0) {
        if (left == C) {
            unit_sums<C>(network, first, block, next, ahead);
        } else {
            remaining_sums<C - 1>(left, network, first, block, next, ahead);
        }
    }
}

// The activations of every unit; the first group of units prefetches (see
// unit_sums).
OMBREL_AVX512_INLINE void hidden_wide(const NetworkView& network, WideBlock& block, const float* next,
                                      std::size_t ahead) noexcept
{
    int first = 0;
    for (; first + UNITS_AT_ONCE <= network.hidden_units; first += UNITS_AT_ONCE) {
        unit_sums<UNITS_AT_ONCE>(network, first, block, next, first == 0 ? ahead : 0);
    }
    remaining_sums<UNITS_AT_ONCE - 1>(network.hidden_units - first, network, first, block, next,
                                      first == 0 ? ahead : 0);
}

// Scores as output_layer sums them, then e^((score - max) * factor) as
// softmax_decision forms its exponentials.
OMBREL_AVX512_INLINE void exponentials_wide(const NetworkView& network, const WideBlock& block,
                                            __m512* exponentials) noexcept
{
    __m512 scores[CLASS_COUNT];
    for (int k = 0; k < CLASS_COUNT; ++k) {
        scores[k] = _mm512_set1_ps(network.output_biases[k]);
    }
    for (int j = 0; j < network.output_units; ++j) {
        const __m512 a = block.hidden[j];
        for (int k = 0; k < CLASS_COUNT; ++k) {
            scores[k] = _mm512_add_ps(scores[k], _mm512_mul_ps(a, _mm512_set1_ps(network.output_weights[4 * j + k])));
        }
    }
    __m512 maximum = scores[0];
    for (int k = 1; k < CLASS_COUNT; ++k) {
        maximum = _mm512_mask_blend_ps(_mm512_cmp_ps_mask(scores[k], maximum, _CMP_GT_OQ), maximum, scores[k]);
    }
    const __m512 factor = _mm512_set1_ps(static_cast<float>(SOFTMAX_FACTOR));
    for (int k = 0; k < CLASS_COUNT; ++k) {
        exponentials[k] = exp_float_wide(_mm512_mul_ps(_mm512_sub_ps(scores[k], maximum), factor));
    }
}

// The sum, reciprocal, products and winner of softmax_decision; stores the
// first `count` signals, each as its CLASS_COUNT probabilities in a row.
OMBREL_AVX512_INLINE void decision_wide(const __m512* e, int count, float* probabilities,
                                        std::uint16_t* class_ids) noexcept
{
    __m512 sum = _mm512_setzero_ps();
    for (int k = 0; k < CLASS_COUNT; ++k) {
        sum = _mm512_add_ps(sum, e[k]);
    }
    const __m512 reciprocal = _mm512_div_ps(_mm512_set1_ps(1.0f), sum);
    const __m512 nan = _mm512_set1_ps(std::numeric_limits<float>::quiet_NaN());
    __m512 p[CLASS_COUNT];
    for (int k = 0; k < CLASS_COUNT; ++k) {
        const __m512 product = _mm512_mul_ps(e[k], reciprocal);
        p[k] = _mm512_mask_blend_ps(_mm512_cmp_ps_mask(product, product, _CMP_ORD_Q), nan, product);
    }
    __m512 best = p[0];
    __m512i index = _mm512_set1_epi32(1);
    for (int k = 1; k < CLASS_COUNT; ++k) {
        const __mmask16 wins = _mm512_cmp_ps_mask(p[k], best, _CMP_GT_OQ);
        best = _mm512_mask_blend_ps(wins, best, p[k]);
        index = _mm512_mask_blend_epi32(wins, index, _mm512_set1_epi32(k + 1));
    }
    // Rows of four: part q of vector m then holds signal 4q + m; a 4x4
    // transpose of the 128-bit parts puts signals 4q .. 4q+3 in vector q.
    const __m512 lo01 = _mm512_unpacklo_ps(p[0], p[1]), hi01 = _mm512_unpackhi_ps(p[0], p[1]);
    const __m512 lo23 = _mm512_unpacklo_ps(p[2], p[3]), hi23 = _mm512_unpackhi_ps(p[2], p[3]);
    const __m512d r0 = _mm512_unpacklo_pd(_mm512_castps_pd(lo01), _mm512_castps_pd(lo23));
    const __m512d r1 = _mm512_unpackhi_pd(_mm512_castps_pd(lo01), _mm512_castps_pd(lo23));
    const __m512d r2 = _mm512_unpacklo_pd(_mm512_castps_pd(hi01), _mm512_castps_pd(hi23));
    const __m512d r3 = _mm512_unpackhi_pd(_mm512_castps_pd(hi01), _mm512_castps_pd(hi23));
    const __m512d a = _mm512_shuffle_f64x2(r0, r1, 0x44), b = _mm512_shuffle_f64x2(r2, r3, 0x44);
    const __m512d c = _mm512_shuffle_f64x2(r0, r1, 0xee), d = _mm512_shuffle_f64x2(r2, r3, 0xee);
    const __m512d rows[4] = {_mm512_shuffle_f64x2(a, b, 0x88), _mm512_shuffle_f64x2(a, b, 0xdd),
                             _mm512_shuffle_f64x2(c, d, 0x88), _mm512_shuffle_f64x2(c, d, 0xdd)};
    // Masked stores write the first `count` signals' floats and ids only.
    for (int q = 0; q < 4; ++q) {
        const int left = (count - 4 * q) * CLASS_COUNT;
        if (left > 0) {
            const auto mask = static_cast<__mmask16>(left >= WIDE ? 0xffff : (1 << left) - 1);
            _mm512_mask_storeu_ps(probabilities + WIDE * q, mask, _mm512_castpd_ps(rows[q]));
        }
    }
    const auto id_mask = static_cast<__mmask16>((1u << count) - 1);
    _mm256_mask_storeu_epi16(class_ids, id_mask, _mm512_cvtepi32_epi16(index));
}

} // namespace

OMBREL_AVX512_TARGET void signal_lanes_avx512(const NetworkView& network, const float* means, const float* scales,
                                              const float* signals, std::size_t count, float* probabilities,
                                              std::uint16_t* class_ids) noexcept
{
    WideBlock block;
    for (std::size_t done = 0; done < count; done += WIDE) {
        const int in_block = count - done < WIDE ? static_cast<int>(count - done) : WIDE;
        const float* rows[WIDE];
        for (int s = 0; s < WIDE; ++s) {
            rows[s] = signals + (done + static_cast<std::size_t>(s < in_block ? s : in_block - 1)) * INPUT_LENGTH;
        }
        standardise_wide(rows, means, scales, block.features);
        // The next block's signals, fetched while this one's sums run.
        const std::size_t following = count - done - static_cast<std::size_t>(in_block);
        const std::size_t ahead = (following < WIDE ? following : WIDE) * INPUT_LENGTH;
        hidden_wide(network, block, signals + (done + static_cast<std::size_t>(in_block)) * INPUT_LENGTH, ahead);
        __m512 exponentials[CLASS_COUNT];
        exponentials_wide(network, block, exponentials);
        decision_wide(exponentials, in_block, probabilities + done * CLASS_COUNT, class_ids + done);
    }
}

OMBREL_AVX512_TARGET void elementary_avx512(const float* input, float* tanh_output, float* exp_output,
                                            std::size_t count) noexcept
{
    for (std::size_t i = 0; i + WIDE <= count; i += WIDE) {
        const __m512 x = _mm512_loadu_ps(input + i);
        _mm512_storeu_ps(tanh_output + i, tanh_wide(x));
        _mm512_storeu_ps(exp_output + i, exp_float_wide(x));
    }
}

#endif
