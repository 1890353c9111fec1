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
#include "number_chars.h"
#include "short_decimal.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Digits that a 64-bit integer holds whatever they are: 10^19 - 1 < 2^64.
inline constexpr int DECIMAL_SCAN_DIGITS = 19;
inline constexpr int DECIMAL_SCAN_EXPONENT_DIGITS = 4;

// The bytes from a text's first that the scan may read: a sign and the
// 32 characters of the mask, and 8 from any digit among them.
inline constexpr std::ptrdiff_t DECIMAL_SCAN_SPAN = 48;

// 10^n for n from 0 to 19.
inline constexpr std::uint64_t DECIMAL_SCAN_POWERS[] = {
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

// The `count` (0 to 19) digits at p as one number, eight at a time: the
// words' values are independent of each other.
inline std::uint64_t digit_run_value(const char* p, int count) noexcept
{
    if (count <= 8) {
        // One digit (the whole part of an exponent form) needs no word.
        return count <= 1 ? (count == 0 ? 0 : static_cast<std::uint64_t>(*p - '0')) : digits_value(p, count);
    }
    if (count <= 16) {
        return digits_value(p, 8) * DECIMAL_SCAN_POWERS[count - 8] + digits_value(p + 8, count - 8);
    }
    return (digits_value(p, 8) * DIGIT_WORD_POWERS[8] + digits_value(p + 8, 8)) * DECIMAL_SCAN_POWERS[count - 16] +
           digits_value(p + 16, count - 16);
}

// m * 10^q to float: the short decimal's double arithmetic where it is
// exact, else the product; false where neither decides.
inline bool decimal_to_float(std::uint64_t m, int q, bool negative, float* value) noexcept
{
    if (m <= SHORT_DECIMAL_MANTISSA_LIMIT && q >= -SHORT_DECIMAL_EXPONENT_LIMIT &&
        q <= SHORT_DECIMAL_EXPONENT_LIMIT && short_decimal_to_float(m, q, negative, value)) {
        return true;
    }
    return decimal_product_to<float>(m, q, negative, value);
}

// The text at p (after any sign), p[0 .. DECIMAL_SCAN_SPAN - 1] readable:
// returns the character that ends it, having converted it, or nullptr. The
// text's shape comes from one mask of its first 32 characters, so that no
// load waits for the length of a run before it.
inline const char* scan_decimal_text(const char* p, bool negative, float* value) noexcept
{
    // Bit i set where p[i] is not a digit; bit 32 stands for the rest.
    const std::uint64_t stops = non_digit_mask(p) | std::uint64_t{non_digit_mask(p + 16)} << 16 | std::uint64_t{1} << 32;
    const int whole = std::countr_zero(stops);
    const bool point = p[whole] == '.';
    const int fraction = point ? std::countr_zero(stops >> (whole + 1)) : 0;
    const int digits = whole + fraction;
    if (digits == 0 || digits > DECIMAL_SCAN_DIGITS) {
        return nullptr;
    }
    const int end = whole + point + fraction;
    const std::uint64_t mantissa =
        digit_run_value(p, whole) * DECIMAL_SCAN_POWERS[fraction] + digit_run_value(p + whole + 1, fraction);
    int exponent = 0;
    const char* after = p + end;
    if (is_exponent_letter(static_cast<unsigned char>(*after), false)) {
        const bool sign = after[1] == '-' || after[1] == '+';
        const int first = end + 1 + sign;
        const int count = std::countr_zero(stops >> first);
        if (count == 0 || count > DECIMAL_SCAN_EXPONENT_DIGITS || first + count >= 32) {
            return nullptr;
        }
        for (int i = first; i < first + count; ++i) {
            exponent = exponent * 10 + (p[i] - '0');
        }
        exponent = after[1] == '-' ? -exponent : exponent;
        after = p + first + count;
    } else if (!ends_decimal_mantissa_at(static_cast<unsigned char>(*after), point, whole == 1 && *p == '0')) {
        return nullptr;
    }
    return decimal_to_float(mantissa, exponent - fraction, negative, value) ? after : nullptr;
}

// The same on [p, limit): the text must end before limit, where a character
// tells that it ends.
inline const char* scan_decimal(const char* p, const char* limit, bool negative, float* value) noexcept
{
    if (limit - p >= DECIMAL_SCAN_SPAN) {
        return scan_decimal_text(p, negative, value);
    }
    char copy[2 * DECIMAL_SCAN_SPAN];
    const std::size_t length = static_cast<std::size_t>(limit - p);
    std::memset(copy, ' ', sizeof copy);
    std::memcpy(copy, p, length);
    const char* const end = scan_decimal_text(copy, negative, value);
    if (end == nullptr || end >= copy + length) {
        return nullptr;
    }
    return p + (end - copy);
}

#endif
