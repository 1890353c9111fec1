// The rare exact case of decimal conversion: a decimal significand of up to
// NUMBER_DIGITS_KEPT digits times a power of ten, rounded correctly in
// integer arithmetic.
#ifndef OMBREL_EXACT_DECIMAL_H
#define OMBREL_EXACT_DECIMAL_H

#include <cstddef>
#include <cstdint>

// The value D * 10^exponent, D the integer of `count` decimal digit
// characters (1 to NUMBER_DIGITS_KEPT, the first nonzero), plus some amount
// below one unit of D's last digit when sticky. Needs
// -400 <= exponent + count <= 400: anything beyond overflows or underflows
// every format. Nearest, ties to even.
float exact_decimal_to_float(const char* digits, std::size_t count, bool sticky, std::int64_t exponent,
                             bool negative) noexcept;
double exact_decimal_to_double(const char* digits, std::size_t count, bool sticky, std::int64_t exponent,
                               bool negative) noexcept;

#endif
