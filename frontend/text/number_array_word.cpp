#include "number_array_word.h"

#include "number_chars.h"
#include "number_converter.h"
#include "number_lexer.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>

float array_word_value(const char* word) noexcept
{
    while (is_number_space(static_cast<unsigned char>(*word))) {
        ++word;
    }
    // The word's text ends at its terminating NUL, which no number goes on with.
    NumberRecord r;
    number_lexer_start(&r);
    (void)number_lex(&r, word, word + std::strlen(word), true);

    // Where the scan fails, the word keeps the longest prefix that converts:
    // "inf" of a broken "infinity", the "0" before an "x" without hex
    // digits, or nothing at all (zero).
    const std::uint32_t sign = r.negative ? 0x80000000u : 0u;
    switch (r.form) {
    case NumberForm::NONE:
        if (r.broken_infinity) {
            return std::bit_cast<float>(sign | std::bit_cast<std::uint32_t>(std::numeric_limits<float>::infinity()));
        }
        return r.hex ? std::bit_cast<float>(sign) : 0.0f;
    case NumberForm::NAN_WORD:
        // The payload of "nan(chars)" is not kept: only the sign bit.
        return std::bit_cast<float>(sign | 0x7FC00000u);
    case NumberForm::INFINITY_WORD:
    case NumberForm::NUMBER:
        break;
    }
    // The nearest double, then narrowed to float: two roundings, as atof
    // and an assignment to float do.
    return static_cast<float>(number_to_double(&r));
}
