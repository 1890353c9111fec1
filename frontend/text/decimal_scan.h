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

// The bytes from a text's first that the scan may read: the text (a sign,
// 19 digits, a point, the letter, a sign and 4 digits: 27) and a 16-byte
// mask past its last character.
inline constexpr std::ptrdiff_t DECIMAL_SCAN_SPAN = 48;

// 10^n for the digits of up to two words, 0 to 16.
inline constexpr std::uint64_t DIGIT_RUN_POWERS[] = {
    1u,           10u,           100u,           1000u,           10000u,           100000u,
    1000000u,     10000000u,     100000000u,     1000000000u,     10000000000u,     100000000000u,
    1000000000000u, 10000000000000u, 100000000000000u, 1000000000000000u, 10000000000000000u,
};

// The digits of a run of `count` (0 to 16) at p as one number.
inline std::uint64_t digit_run_value(const char* p, int count) noexcept
{
    if (count <= 8) {
        return count == 0 ? 0 : digits_value(p, count);
    }
    return digits_value(p, 8) * DIGIT_WORD_POWERS[count - 8] + digits_value(p + 8, count - 8);
}

// The length of the run of digits at p, up to 16 (16: it may go on).
inline int digit_run_length(const char* p) noexcept
{
    return std::countr_zero(non_digit_mask(p) | 0x10000u);
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
// returns the character that ends it, having converted it, or nullptr.
inline const char* scan_decimal_text(const char* p, bool negative, float* value) noexcept
{
    const char* const start = p;
    // The whole part: at most 15 digits here, longer ones are left to the lexer.
    const int whole = digit_run_length(p);
    if (whole == 16) {
        return nullptr;
    }
    std::uint64_t mantissa = digit_run_value(p, whole);
    p += whole;
    const bool point = *p == '.';
    int fraction = 0;
    if (point) {
        ++p;
        fraction = digit_run_length(p);
        if (whole + fraction > DECIMAL_SCAN_DIGITS) {
            return nullptr;
        }
        mantissa = mantissa * DIGIT_RUN_POWERS[fraction] + digit_run_value(p, fraction);
        p += fraction;
        if (fraction == 16) {
            const int more = digit_run_length(p);
            fraction += more;
            if (whole + fraction > DECIMAL_SCAN_DIGITS) {
                return nullptr;
            }
            mantissa = mantissa * DIGIT_RUN_POWERS[more] + digit_run_value(p, more);
            p += more;
        }
    }
    if (whole + fraction == 0) {
        return nullptr;
    }
    int exponent = 0;
    if (is_exponent_letter(static_cast<unsigned char>(*p), false)) {
        const bool exponent_negative = p[1] == '-';
        p += 1 + (p[1] == '-' || p[1] == '+');
        const char* const first = p;
        for (; is_decimal_digit(static_cast<unsigned char>(*p)) && p - first < DECIMAL_SCAN_EXPONENT_DIGITS; ++p) {
            exponent = exponent * 10 + (*p - '0');
        }
        if (p == first || is_decimal_digit(static_cast<unsigned char>(*p))) {
            return nullptr;
        }
        exponent = exponent_negative ? -exponent : exponent;
    } else if (!ends_decimal_mantissa_at(static_cast<unsigned char>(*p), point, whole == 1 && *start == '0')) {
        return nullptr;
    }
    return decimal_to_float(mantissa, exponent - fraction, negative, value) ? p : nullptr;
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
