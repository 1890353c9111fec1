#include "number_line_word.h"

#include "number_chars.h"

std::int32_t parse_line_number(const char* word) noexcept
{
    bool negative = false;
    const char* p = skip_space_and_sign(word, &negative);
    // Saturates at 2^31, the largest magnitude either sign can need.
    constexpr std::int64_t LIMIT = std::int64_t{1} << 31;
    std::int64_t magnitude = 0;
    while (is_decimal_digit(static_cast<unsigned char>(*p))) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > LIMIT) {
            magnitude = LIMIT;
        }
        ++p;
    }
    if (negative) {
        return static_cast<std::int32_t>(-magnitude);
    }
    return magnitude > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(magnitude);
}
