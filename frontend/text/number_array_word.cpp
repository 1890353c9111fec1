#include "number_array_word.h"

#include "number_digits.h"
#include "number_chars.h"

#include <bit>
#include <cstdint>
#include <limits>

namespace {

// True when p begins with the lower-case letters of word, in any case.
bool starts_with_word(const char* p, const char* word) noexcept
{
    for (; *word != '\0'; ++p, ++word) {
        if (to_lower_ascii(static_cast<unsigned char>(*p)) != static_cast<unsigned char>(*word)) {
            return false;
        }
    }
    return true;
}

// Exponent "e"/"p", optional sign, at least one digit; without a digit the
// exponent is not part of the number.
void read_exponent(const char* p, NumberDigits* n) noexcept
{
    if (to_lower_ascii(static_cast<unsigned char>(*p)) != (n->hex ? 'p' : 'e')) {
        return;
    }
    ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    n->exponent_negative = negative;
    while (is_decimal_digit(static_cast<unsigned char>(*p))) {
        number_digits_exponent_add(n, static_cast<unsigned>(*p - '0'));
        ++p;
    }
}

// Mantissa digits of base 16 or 10 with at most one point; returns the
// first character after them.
const char* read_mantissa(const char* p, NumberDigits* n) noexcept
{
    for (;; ++p) {
        const unsigned c = static_cast<unsigned char>(*p);
        const unsigned digit = n->hex ? hex_digit_value(c) : (is_decimal_digit(c) ? c - '0' : 16);
        if (digit < 16) {
            number_digits_add(n, *p, digit);
        } else if (c == '.' && !n->in_fraction) {
            number_digits_point(n);
        } else {
            return p;
        }
    }
}

} // namespace

float array_word_value(const char* word) noexcept
{
    bool negative = false;
    const char* p = skip_space_and_sign(word, &negative);
    if (starts_with_word(p, "inf")) {
        const float infinity = std::numeric_limits<float>::infinity();
        return negative ? -infinity : infinity;
    }
    if (starts_with_word(p, "nan")) {
        // The payload of "nan(chars)" is not kept: only the sign bit.
        const std::uint32_t sign = negative ? 0x80000000u : 0u;
        return std::bit_cast<float>(sign | 0x7FC00000u);
    }

    NumberDigits n;
    if (p[0] == '0' && (p[1] | 0x20) == 'x') {
        number_digits_start(&n, true, negative);
        const char* end = read_mantissa(p + 2, &n);
        if (n.any_digit) {
            read_exponent(end, &n);
            return static_cast<float>(number_digits_to_double(&n));
        }
        // "0x" without a hex digit: the number is the "0" before the x.
        return negative ? -0.0f : 0.0f;
    }
    number_digits_start(&n, false, negative);
    const char* end = read_mantissa(p, &n);
    if (!n.any_digit) {
        return 0.0f;
    }
    read_exponent(end, &n);
    return static_cast<float>(number_digits_to_double(&n));
}
