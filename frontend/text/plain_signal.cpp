#include "plain_signal.h"

#include "number_chars.h"
#include "short_decimal.h"
#include "signal_line.h"

#include <bit>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The characters plain_value may read from a value's first: the sign, then
// 16 for the mask and at most 1 + 9 + 8 for the digit words.
constexpr std::ptrdiff_t VALUE_SPAN = 1 + 9 + 8;

constexpr std::uint64_t POWERS_OF_TEN[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};


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

// One plain value at p (no white space before it); returns the character
// after its text, or nullptr when the text is not plain. p[0 .. VALUE_SPAN-1]
// must be readable. The text ends where the lexer's grammar ends a decimal
// mantissa (ends_decimal_mantissa_at: the mask found no digit there); the
// conversion is the converter's for short decimals (short_fraction_to_float),
// whose midpoint refusal sends the text to the general path.
inline const char* plain_value(const char* p, float* value) noexcept
{
    const bool negative = *p == '-';
    p += negative || *p == '+';
    const unsigned stops = non_digit_mask(p);
    const int whole = std::countr_zero(stops);
    if (whole == 0 || whole > 8) {
        return nullptr;
    }
    std::uint64_t mantissa = digits_value(p, whole);
    int fraction = 0;
    const char* end = p + whole;
    bool ends;
    if (*end == '.') {
        fraction = std::countr_zero(stops >> (whole + 1));
        if (fraction == 0 || fraction > 8 || whole + fraction > 15) {
            return nullptr;
        }
        mantissa = mantissa * POWERS_OF_TEN[fraction] + digits_value(end + 1, fraction);
        end += 1 + fraction;
        ends = ends_decimal_mantissa_at(static_cast<unsigned char>(*end), true, false);
    } else {
        ends = ends_decimal_mantissa_at(static_cast<unsigned char>(*end), false, whole == 1 && *p == '0');
    }
    if (!ends || !short_fraction_to_float(mantissa, fraction, negative, value)) {
        return nullptr;
    }
    return end;
}

} // namespace

const char* read_plain_value(const char* p, const char* limit, float* value) noexcept
{
    if (limit - p >= VALUE_SPAN) {
        return plain_value(p, value);
    }
    char copy[2 * VALUE_SPAN];
    const std::size_t length = static_cast<std::size_t>(limit - p);
    std::memset(copy, ' ', sizeof copy);
    std::memcpy(copy, p, length);
    const char* end = plain_value(copy, value);
    if (end == nullptr || end >= copy + length) {
        return nullptr;
    }
    return p + (end - copy);
}

bool read_plain_signal(SignalStream* s, float* values, bool* line_feed_last) noexcept
{
    signal_stream_look_ahead(s);
    const SignalSpan span = signal_stream_span(s);
    const char* p = span.begin;
    const char* const limit = span.end;
    for (int slot = 0; slot < SIGNAL_LINE_VALUES; ++slot) {
        // Before the first value any white space, as the scan skips it; later
        // a line feed would put the signal on two lines.
        while (p < limit && (slot == 0 || *p != '\n') && is_number_space(static_cast<unsigned char>(*p))) {
            ++p;
        }
        if (p == limit) {
            return false;
        }
        p = limit - p >= VALUE_SPAN ? plain_value(p, &values[slot]) : read_plain_value(p, limit, &values[slot]);
        if (p == nullptr || (*p == '\n' && slot + 1 < SIGNAL_LINE_VALUES)) {
            return false;
        }
        ++p; // the separator, whatever it is
    }
    *line_feed_last = p[-1] == '\n';
    signal_stream_consume_to(s, p);
    return true;
}
