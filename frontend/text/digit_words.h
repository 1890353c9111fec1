// Decimal digits read many at a time, with SSE2 where the processor has it:
// which of 16 or 32 characters are digits and which are points, up to eight
// (or four) digits as one number, and a mantissa of up to 19 digits with a
// point as one 19-digit field.
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

// Which of the 16 characters at p are no decimal digits (bit i for p[i]),
// and which are points.
struct TextMasks {
    std::uint32_t non_digit;
    std::uint32_t point;
};

inline TextMasks short_text_masks(const char* p) noexcept
{
#if defined(__SSE2__)
    const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // c - '0' < 10 as an unsigned byte: min(c - '0', 9) == c - '0'.
    const __m128i value = _mm_sub_epi8(text, _mm_set1_epi8('0'));
    const __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(value, _mm_set1_epi8(9)), value);
    return {~static_cast<std::uint32_t>(_mm_movemask_epi8(digit)) & 0xFFFFu,
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(text, _mm_set1_epi8('.'))))};
#else
    TextMasks masks{0, 0};
    for (int i = 0; i < 16; ++i) {
        masks.non_digit |= is_decimal_digit(static_cast<unsigned char>(p[i])) ? 0u : 1u << i;
        masks.point |= p[i] == '.' ? 1u << i : 0u;
    }
    return masks;
#endif
}

// The same for the 32 characters at p.
inline TextMasks text_masks(const char* p) noexcept
{
    const TextMasks low = short_text_masks(p);
    const TextMasks high = short_text_masks(p + 16);
    return {low.non_digit | high.non_digit << 16, low.point | high.point << 16};
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

// 10^n for n from 0 to 19 (10^19 - 1 < 2^64: 19 digits fit a 64-bit integer).
inline constexpr std::uint64_t DIGIT_RUN_POWERS[] = {
    1u,
    10u,
    100u,
    1000u,
    10000u,
    100000u,
    1000000u,
    10000000u,
    100000000u,
    1000000000u,
    10000000000u,
    100000000000u,
    1000000000000u,
    10000000000000u,
    100000000000000u,
    1000000000000000u,
    10000000000000000u,
    100000000000000000u,
    1000000000000000000u,
    10000000000000000000u,
};

// The `count` (0 to 19) digits at p as one number, eight at a time (the
// words' values are independent of each other); p[0 .. 23] must be readable.
inline std::uint64_t digit_run_value(const char* p, int count) noexcept
{
    if (count <= 8) {
        return count == 0 ? 0 : digits_value(p, count);
    }
    if (count <= 16) {
        return digits_value(p, 8) * DIGIT_RUN_POWERS[count - 8] + digits_value(p + 8, count - 8);
    }
    return (digits_value(p, 8) * DIGIT_WORD_POWERS[8] + digits_value(p + 8, 8)) * DIGIT_RUN_POWERS[count - 16] +
           digits_value(p + 16, count - 16);
}

// The `count` (1 to 4) digits at p as one number; p[0 .. 3] must be
// readable. As digits_value, on a 32-bit word: pairs, then the two pairs.
inline int short_digits_value(const char* p, int count) noexcept
{
    std::uint32_t word;
    std::memcpy(&word, p, sizeof word);
    word -= 0x30303030u;
    word <<= 8 * (4 - count);
    word = word * 10 + (word >> 8);
    return static_cast<int>((word & 0xFFu) * 100 + ((word >> 16) & 0xFFu));
}

#if defined(__SSE2__)
// 32 bytes 0xFF, then 32 zeros: the 32 bytes from LEADING_ONES + 32 - n
// have their first n (0 to 32) set.
alignas(64) inline constexpr unsigned char LEADING_ONES[64] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
};

inline __m128i leading_ones(int n, int half) noexcept
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(LEADING_ONES + 32 - n + 16 * half));
}

// The digit values 10 * b[2k] + b[2k + 1] of the bytes b (each 0 to 9) in
// 16-bit lanes, then the 4-digit groups of those pairs in 32-bit lanes.
inline __m128i digit_quads(__m128i b) noexcept
{
    const __m128i pairs = _mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(b, _mm_set1_epi16(0xFF)), _mm_set1_epi16(10)),
                                        _mm_srli_epi16(b, 8));
    return _mm_madd_epi16(pairs, _mm_set1_epi32(100 | 1 << 16));
}
#endif

// A decimal mantissa at p of `digits` (1 to 19) digits, `whole` of them
// before a point and the rest after it (no point when whole == digits), as
// the 19-digit number D * 10^(19 - digits), D its digits read as one
// number; p[0 .. 31] must be readable. With SSE2 the field is built in
// place: byte i of it is the text's byte i - 1 up to the point (byte 0 is a
// leading zero) and byte i after it, bytes past the last digit are zero, and
// the 20 digit bytes are summed as pairs, quadruples, then three groups.
inline std::uint64_t digit_field(const char* p, int whole, int digits) noexcept
{
#if defined(__SSE2__)
    const __m128i zero = _mm_set1_epi8('0');
    const __m128i low = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), zero);
    const __m128i high = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), zero);
    const __m128i low_shifted = _mm_slli_si128(low, 1);
    const __m128i high_shifted = _mm_or_si128(_mm_slli_si128(high, 1), _mm_srli_si128(low, 15));
    const __m128i shifted_low = leading_ones(whole + 1, 0);
    const __m128i shifted_high = leading_ones(whole + 1, 1);
    const __m128i field_low =
        _mm_or_si128(_mm_and_si128(low_shifted, shifted_low),
                     _mm_andnot_si128(shifted_low, _mm_and_si128(low, leading_ones(digits + 1, 0))));
    const __m128i field_high = _mm_or_si128(
        _mm_and_si128(high_shifted, shifted_high),
        _mm_andnot_si128(shifted_high, _mm_and_si128(high, leading_ones(digits + 1, 1))));
    // Eight 4-digit groups, of which the fifth holds field bytes 16 to 19
    // and the last three are zero; then digits 0-7, 8-15 and 16-19.
    const __m128i quads = _mm_packs_epi32(digit_quads(field_low), digit_quads(field_high));
    const __m128i groups = _mm_madd_epi16(quads, _mm_setr_epi16(10000, 1, 10000, 1, 1, 0, 0, 0));
    const auto lane = [](__m128i v) {
        return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_cvtsi128_si32(v)));
    };
    return lane(groups) * DIGIT_RUN_POWERS[12] + lane(_mm_srli_si128(groups, 4)) * DIGIT_RUN_POWERS[4] +
           lane(_mm_srli_si128(groups, 8));
#else
    const int fraction = digits - whole;
    const std::uint64_t value =
        digit_run_value(p, whole) * DIGIT_RUN_POWERS[fraction] + digit_run_value(p + whole + 1, fraction);
    return value * DIGIT_RUN_POWERS[19 - digits];
#endif
}

#endif
