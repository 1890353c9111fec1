// Decimal digits read many at a time: which of 16 characters are digits, and
// up to eight digits as one number, with SSE2 where the processor has it.
#ifndef OMBREL_DIGIT_WORDS_H
#define OMBREL_DIGIT_WORDS_H

#include "number_chars.h"

#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// 10^n for n digits of one word, 0 to 8.
inline constexpr std::uint64_t DIGIT_WORD_POWERS[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// Bit i set where p[i] is not a decimal digit, for the 16 characters at p.
inline unsigned non_digit_mask(const char* p) noexcept
{
#if defined(__SSE2__)
    const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // c - '0' < 10 as an unsigned byte: min(c - '0', 9) == c - '0'.
    const __m128i value = _mm_sub_epi8(text, _mm_set1_epi8('0'));
    const __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(value, _mm_set1_epi8(9)), value);
    return ~static_cast<unsigned>(_mm_movemask_epi8(digit)) & 0xFFFFu;
#else
    unsigned mask = 0;
    for (int i = 0; i < 16; ++i) {
        mask |= is_decimal_digit(static_cast<unsigned char>(p[i])) ? 0u : 1u << i;
    }
    return mask;
#endif
}

// The `count` (1 to 8) digits at p as one number, the first the most
// significant; p[0 .. 7] must be readable. Each byte less '0' is a digit
// value; shifting the little-endian word left by 8 * (8 - count) bits keeps
// the digits in its high bytes with zeros below, and three multiplications
// add the eight digit values with their weights (pairs, quadruples, all).
inline std::uint64_t digits_value(const char* p, int count) noexcept
{
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    word -= 0x3030303030303030u;
    word <<= 8 * (8 - count);
    word = word * 10 + (word >> 8);
    return (((word & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
            (((word >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >> 32;
}

#endif
