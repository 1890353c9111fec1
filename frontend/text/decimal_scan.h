// The per-value fast path of the scan: a decimal of at most 19 digits, with
// or without an exponent, read and converted in one pass.
//
// It reads the lexer's grammar restricted to digits, at most one point and
// an 'e' exponent of 1 to 4 digits after an optional sign, taking the same
// characters as the lexer; anything else (a hex or word text, more digits,
// an exponent letter without digits) it leaves to the lexer, as it does a
// text whose float it cannot decide.
#ifndef OMBREL_DECIMAL_SCAN_H
#define OMBREL_DECIMAL_SCAN_H

#include "decimal_product.h"
#include "digit_words.h"
#include "digit_words_avx2.h"
#include "number_chars.h"
#include "powers_of_five.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Digits that a 64-bit integer holds whatever they are: 10^19 - 1 < 2^64.
inline constexpr int DECIMAL_SCAN_DIGITS = 19;
inline constexpr int DECIMAL_SCAN_EXPONENT_DIGITS = 4;

// The bytes from a text's first that the scan may read: the 32 characters
// of the masks (the text, if the scan takes it, lies within them: a sign,
// 19 digits, a point, an exponent letter and sign and 4 digits), and one
// more for the digits' 32 after a sign.
inline constexpr std::ptrdiff_t DECIMAL_SCAN_SPAN = 33;

// field * 10^scale when the product of the padded field refused it, field
// being D * 10^padding. That happens where the value is a binary fraction
// and a float midpoint (in the window, decimal_product.h); an integer such
// as 2890000000 is one, whose padded scale is negative although its own is
// not: without the padding the product is exact and decides the tie.
[[gnu::noinline]] inline bool unpadded_decimal_to_float(std::uint64_t field, int padding, int scale, bool negative,
                                                        float* value) noexcept
{
    return scale + padding >= 0 &&
           decimal_product_to<float>(field / DIGIT_RUN_POWERS[padding], scale + padding, negative, value);
}

// The reads of a text's 32 characters: SSE2 or words (digit_words.h), and
// AVX2 (digit_words_avx2.h) for callers that carry its target.
struct BaselineDigits {
    static TextMasks masks(const char* p) noexcept { return text_masks(p); }
    static std::uint64_t field(const char* p, int whole, int digits) noexcept { return digit_field(p, whole, digits); }
};

#if defined(OMBREL_DIGIT_WORDS_AVX2)
struct Avx2Digits {
    [[gnu::target(OMBREL_AVX2_TARGET)]] static TextMasks masks(const char* p) noexcept { return text_masks_avx2(p); }
    [[gnu::target(OMBREL_AVX2_TARGET)]] static std::uint64_t field(const char* p, int whole, int digits) noexcept
    {
        return digit_field_avx2(p, whole, digits);
    }
};
#endif

// The text at s, s[0 .. DECIMAL_SCAN_SPAN - 1] readable: returns the
// character that ends it, having converted it, or nullptr.
//
// The text's shape comes from the masks of its first 32 characters alone,
// so that the end of one text (and the start of the next) waits for no load
// but that of the masks: a sign shifts them by one; a point that is the
// first stop is taken out of them, and the next stop ends the mantissa;
// after an exponent letter, the exponent's digits run to the first stop at
// least two characters on (the one right after the letter is a sign or a
// digit in a valid text).
//
// The mantissa is read as the 19-digit field D * 10^(19 - digits)
// (digit_field), so the float is that of field * 10^(exponent + whole - 19),
// decided by the product; a scale below the table's least (-64) gives zero,
// as the field is below 10^19 and 10^19 * 10^-65 lies under half the least
// subnormal float (2^-150, about 7.0e-46).
template <typename Digits = BaselineDigits>
[[gnu::always_inline]] inline const char* scan_decimal_text(const char* s, float* value) noexcept
{
    const TextMasks masks = Digits::masks(s);
    const bool negative = *s == '-';
    const int sign = negative || *s == '+';
    const char* const p = s + sign;
    // Bit 32 stands for the characters past the masks.
    const std::uint64_t stops = (masks.non_digit | std::uint64_t{1} << 32) >> sign;
    const std::uint64_t points = masks.point >> sign;
    const int whole = std::countr_zero(stops);
    const std::uint64_t mantissa_stops = stops ^ (points & (0 - points));
    const int end = std::countr_zero(mantissa_stops);
    // The first point, taken out, moved the end only if it was the first stop.
    const bool point = end != whole;
    const int digits = end - point;
    if (digits == 0 || digits > DECIMAL_SCAN_DIGITS) {
        return nullptr;
    }
    const unsigned char next = static_cast<unsigned char>(p[end]);
    int exponent = 0;
    const char* after = p + end;
    if (is_exponent_letter(next, false)) {
        const int last = std::countr_zero(stops & ~std::uint64_t{3} << end);
        const char sign_char = p[end + 1];
        const int signed_exponent = sign_char == '-' || sign_char == '+';
        const int count = last - end - 1 - signed_exponent;
        // A stop right after the letter must be a sign (a digit is none).
        const bool stop_after_letter = ((stops >> (end + 1)) & 1) != 0;
        if (count <= 0 || count > DECIMAL_SCAN_EXPONENT_DIGITS || stop_after_letter != (signed_exponent != 0)) {
            return nullptr;
        }
        const int magnitude = short_digits_value(p + last - count, count);
        exponent = sign_char == '-' ? -magnitude : magnitude;
        after = p + last;
    } else if (!ends_decimal_mantissa_at(next, point, (whole == 1) & (*p == '0'))) {
        return nullptr;
    }
    const std::uint64_t field = Digits::field(p, whole, digits);
    const int scale = exponent + whole - DECIMAL_SCAN_DIGITS;
    if (scale < POWER_OF_FIVE_LEAST) {
        *value = negative ? -0.0f : 0.0f;
        return after;
    }
    const bool decided = decimal_product_to<float>(field, scale, negative, value) ||
                         unpadded_decimal_to_float(field, DECIMAL_SCAN_DIGITS - digits, scale, negative, value);
    return decided ? after : nullptr;
}

// The same on a copy of [p, limit), which is shorter than the span.
[[gnu::noinline]] inline const char* scan_decimal_copy(const char* p, const char* limit, float* value) noexcept
{
    char copy[2 * DECIMAL_SCAN_SPAN];
    const std::size_t length = static_cast<std::size_t>(limit - p);
    std::memset(copy, ' ', sizeof copy);
    std::memcpy(copy, p, length);
    const char* const end = scan_decimal_text(copy, value);
    if (end == nullptr || end >= copy + length) {
        return nullptr;
    }
    return p + (end - copy);
}

// The same on [p, limit): the text must end before limit, where a character
// tells that it ends. (Near the limit, on a copy, read as the baseline does.)
template <typename Digits = BaselineDigits>
[[gnu::always_inline]] inline const char* scan_decimal(const char* p, const char* limit, float* value) noexcept
{
    return limit - p >= DECIMAL_SCAN_SPAN ? scan_decimal_text<Digits>(p, value)
                                          : scan_decimal_copy(p, limit, value);
}

#endif
