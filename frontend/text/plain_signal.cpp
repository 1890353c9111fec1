#include "plain_signal.h"

#include "decimal_scan.h"
#include "digit_words.h"
#include "number_chars.h"
#include "short_decimal.h"
#include "signal_line.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace {

// The characters plain_value may read from a value's first: the sign, then
// 16 for the mask and at most 1 + 9 + 8 for the digit words.
constexpr std::ptrdiff_t VALUE_SPAN = 1 + 9 + 8;

// A text up to this long is likely of the plain shape (six decimals and a
// few whole digits, as recorders write them); longer ones rarely are.
constexpr std::ptrdiff_t PLAIN_LIKELY_LENGTH = 12;

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
        mantissa = mantissa * DIGIT_WORD_POWERS[fraction] + digits_value(end + 1, fraction);
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
    bool plain = true;
    for (int slot = 0; slot < SIGNAL_LINE_VALUES; ++slot) {
        // Before the first value any white space, as the scan skips it; later
        // a line feed would put the signal on two lines.
        while (p < limit && (slot == 0 || *p != '\n') && is_number_space(static_cast<unsigned char>(*p))) {
            ++p;
        }
        if (p == limit) {
            return false;
        }
        // Longer digits or an exponent go to the scan's decimal path; after
        // a long text the next is likely written alike, and goes there first.
        const char* const start = p;
        if (plain) {
            p = limit - p >= VALUE_SPAN ? plain_value(p, &values[slot]) : read_plain_value(p, limit, &values[slot]);
        }
        if (!plain || p == nullptr) {
            const bool sign = *start == '+' || *start == '-';
            p = scan_decimal(start + sign, limit, *start == '-', &values[slot]);
        }
        plain = p - start <= PLAIN_LIKELY_LENGTH;
        if (p == nullptr || (*p == '\n' && slot + 1 < SIGNAL_LINE_VALUES)) {
            return false;
        }
        ++p; // the separator, whatever it is
    }
    *line_feed_last = p[-1] == '\n';
    signal_stream_consume_to(s, p);
    return true;
}
