// The 32-character reads of digit_words.h (text_masks, digit_field) in one
// AVX2 register each, for x86-64 processors that have AVX2, chosen at run
// time: the build targets every x86-64. The functions carry the target
// themselves, so a caller must carry it too (or be flattened into one that
// does) and must call them only where avx2_present() is true.
#ifndef OMBREL_DIGIT_WORDS_AVX2_H
#define OMBREL_DIGIT_WORDS_AVX2_H

#include "digit_words.h"

#include <cstdint>

#if defined(__x86_64__) && defined(__GNUC__)
#define OMBREL_DIGIT_WORDS_AVX2 1
#define OMBREL_AVX2_TARGET "avx2"
#include <immintrin.h>

// Whether the processor has AVX2 (the answer is kept after the first call).
inline bool avx2_present() noexcept
{
    static const bool present = __builtin_cpu_supports("avx2");
    return present;
}

[[gnu::target(OMBREL_AVX2_TARGET)]] inline TextMasks text_masks_avx2(const char* p) noexcept
{
    const __m256i text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i value = _mm256_sub_epi8(text, _mm256_set1_epi8('0'));
    const __m256i digit = _mm256_cmpeq_epi8(_mm256_min_epu8(value, _mm256_set1_epi8(9)), value);
    return {~static_cast<std::uint32_t>(_mm256_movemask_epi8(digit)),
            static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(text, _mm256_set1_epi8('.'))))};
}

// digit_field's field, built as there: the text shifted by one byte across
// both lanes (alignr against the lanes swapped, the low one zeroed), the
// two blended by the leading-ones masks, then pairs (maddubs), quadruples
// (madd) and the groups of digits 0-7, 8-15 (low lane) and 16-19 (high).
[[gnu::target(OMBREL_AVX2_TARGET)]] inline std::uint64_t digit_field_avx2(const char* p, int whole, int digits) noexcept
{
    const __m256i text =
        _mm256_sub_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), _mm256_set1_epi8('0'));
    const __m256i shifted = _mm256_alignr_epi8(text, _mm256_permute2x128_si256(text, text, 0x08), 15);
    const __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(LEADING_ONES + 32 - (whole + 1)));
    const __m256i all = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(LEADING_ONES + 32 - (digits + 1)));
    const __m256i field =
        _mm256_or_si256(_mm256_and_si256(shifted, before), _mm256_andnot_si256(before, _mm256_and_si256(text, all)));
    const __m256i quads = _mm256_madd_epi16(_mm256_maddubs_epi16(field, _mm256_set1_epi16(10 | 1 << 8)),
                                            _mm256_set1_epi32(100 | 1 << 16));
    const __m256i groups = _mm256_madd_epi16(_mm256_packus_epi32(quads, quads),
                                             _mm256_setr_epi16(10000, 1, 10000, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0));
    const auto first = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm256_castsi256_si128(groups)));
    const auto last = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm256_extracti128_si256(groups, 1)));
    return (first & 0xFFFFFFFFu) * DIGIT_RUN_POWERS[12] + (first >> 32) * DIGIT_RUN_POWERS[4] + last;
}
#endif

#endif
