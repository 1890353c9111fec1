// The significant digits of a number's text, gathered one character at a
// time, and their correctly rounded conversion to float or double.
//
// A text of any length fits: digits past the kept ones only tell whether
// something nonzero was dropped (the sticky flag), and both exponents
// saturate. The value is 0.k1k2k3... * base^point_shift * radix^exponent,
// where k1 is the first nonzero digit, base is 10 or 16 and radix is 10 or 2.
#ifndef OMBREL_NUMBER_DIGITS_H
#define OMBREL_NUMBER_DIGITS_H

#include <cstddef>
#include <cstdint>

// A decimal midpoint between two adjacent doubles has at most 767
// significant digits, so 800 kept digits and a sticky one round every
// decimal text like the whole text. A hexadecimal midpoint of doubles has at
// most 15 significant hex digits; 32 leave a wide margin.
inline constexpr std::size_t NUMBER_DECIMAL_DIGITS_KEPT = 800;
inline constexpr std::size_t NUMBER_HEX_DIGITS_KEPT = 32;

struct NumberDigits {
    char kept[NUMBER_DECIMAL_DIGITS_KEPT]; // digit characters from the first nonzero one
    std::size_t count;                     // characters in kept
    std::int64_t point_shift;              // see above; bounded by the text's length
    std::int64_t exponent;                 // explicit exponent, saturated at +-NUMBER_EXPONENT_LIMIT
    bool sticky;                           // a nonzero digit was dropped
    bool hex;                              // base 16 and radix 2, else base 10 and radix 10
    bool negative;                         // sign of the result, zero and infinity included
    bool any_digit;                        // the mantissa had a digit, zeros included
    bool in_fraction;                      // the point has been passed
    bool exponent_negative;                // sign read for the exponent's digits
};

// Far beyond any exponent that leaves a finite nonzero double, and far from
// overflowing std::int64_t when added to a point shift.
inline constexpr std::int64_t NUMBER_EXPONENT_LIMIT = 1000000000000;

void number_digits_start(NumberDigits* n, bool hex, bool negative) noexcept;
// digit is the digit's value (below 16); c is its character.
void number_digits_add(NumberDigits* n, char c, unsigned digit) noexcept;
void number_digits_point(NumberDigits* n) noexcept;
// Digits of the explicit exponent, most significant first.
void number_digits_exponent_add(NumberDigits* n, unsigned digit) noexcept;

// Nearest value, ties to even, subnormals kept; overflow gives infinity and
// underflow zero, both with the text's sign.
float number_digits_to_float(const NumberDigits* n) noexcept;
double number_digits_to_double(const NumberDigits* n) noexcept;

#endif
