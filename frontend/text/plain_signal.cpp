#include "plain_signal.h"

#include "decimal_scan.h"
#include "digit_words.h"
#include "number_chars.h"
#include "short_decimal.h"
#include "signal_line.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace {

// The characters plain_value may read from a value's first: the 16 of the
// masks, and at most 1 + 9 + 8 for the digit words.
constexpr std::ptrdiff_t VALUE_SPAN = 1 + 9 + 8;

// A text up to this long is likely of the plain shape (six decimals and a
// few whole digits, as recorders write them); longer ones rarely are.
constexpr std::ptrdiff_t PLAIN_LIKELY_LENGTH = 12;

// One plain value at s (no white space before it); returns the character
// after its text, or nullptr when the text is not plain or runs past the
// masks of its first 16 characters. s[0 .. VALUE_SPAN-1] must be readable.
// The text's end comes from the masks alone, as in the decimal path
// (decimal_scan.h), so that the next value's start waits for no other
// load. The text ends where the lexer's grammar ends a decimal mantissa
// (ends_decimal_mantissa_at: the masks found no digit there); the
// conversion of a fraction is the converter's for short decimals
// (short_fraction_to_float), whose midpoint refusal sends the text to the
// general path.
inline const char* plain_value(const char* s, float* value) noexcept
{
    const TextMasks masks = short_text_masks(s);
    const bool negative = *s == '-';
    const int sign = negative || *s == '+';
    const char* const p = s + sign;
    const std::uint32_t stops = (masks.non_digit | 1u << 16) >> sign;
    const std::uint32_t points = masks.point >> sign;
    const int whole = std::countr_zero(stops);
    const int end = std::countr_zero(stops ^ (points & (0 - points)));
    const bool point = end != whole;
    const int fraction = end - whole - point;
    // A point needs digits after it; bit 16 - sign stands for characters past the masks.
    if (whole == 0 || whole > 8 || fraction > 8 || point > fraction || whole + fraction > 15 || end + sign >= 16) {
        return nullptr;
    }
    const bool lone_zero = !point & (whole == 1) & (*p == '0');
    if (!ends_decimal_mantissa_at(static_cast<unsigned char>(p[end]), point, lone_zero)) {
        return nullptr;
    }
    const std::uint64_t integer = digits_value(p, whole);
    if (!point) {
        // An integer below 10^8 converts with one rounding, no division.
        const auto magnitude = std::bit_cast<std::uint32_t>(static_cast<float>(static_cast<std::int64_t>(integer)));
        *value = std::bit_cast<float>(magnitude | std::uint32_t{negative} << 31);
        return p + end;
    }
    const std::uint64_t mantissa = integer * DIGIT_WORD_POWERS[fraction] + digits_value(p + whole + 1, fraction);
    return short_fraction_to_float(mantissa, fraction, negative, value) ? p + end : nullptr;
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

namespace {

// The values of a line from *slot on, each with its separator, from p.
// Plain values only (ANY_DECIMAL false): returns the start of the first
// value that is not plain, *slot at its slot, or past the last separator
// with *slot 64. With ANY_DECIMAL, the decimal path takes what the plain
// path does not (after a long text, first: the next is likely written
// alike), through Digits' reads. nullptr when the line cannot be read here.
template <bool ANY_DECIMAL, typename Digits = BaselineDigits>
const char* read_values(const char* p, const char* limit, float* values, int* slot) noexcept
{
    bool plain = !ANY_DECIMAL;
    for (; *slot < SIGNAL_LINE_VALUES; ++*slot) {
        const int i = *slot;
        // Before the first value any white space, as the scan skips it; later
        // a line feed would put the signal on two lines.
        while (p < limit && (i == 0 || *p != '\n') && is_number_space(static_cast<unsigned char>(*p))) {
            ++p;
        }
        if (p == limit) {
            return nullptr;
        }
        const char* const start = p;
        const char* end = nullptr;
        if (plain) {
            end = limit - p >= VALUE_SPAN ? plain_value(p, &values[i]) : read_plain_value(p, limit, &values[i]);
        }
        if (ANY_DECIMAL && end == nullptr) {
            end = scan_decimal<Digits>(start, limit, &values[i]);
        }
        if (end == nullptr) {
            return ANY_DECIMAL ? nullptr : start;
        }
        if (ANY_DECIMAL) {
            plain = end - start <= PLAIN_LIKELY_LENGTH;
        }
        if (*end == '\n' && i + 1 < SIGNAL_LINE_VALUES) {
            return nullptr;
        }
        p = end + 1; // the separator, whatever it is
    }
    return p;
}

#if defined(OMBREL_DIGIT_WORDS_AVX2)
[[gnu::target(OMBREL_AVX2_TARGET), gnu::flatten]] bool read_signal_values_avx2(SignalStream* s, float* values,
                                                                                bool* line_feed_last) noexcept;
#endif

// read_plain_signal with Digits' reads; with the baseline's, a line whose
// first value is not plain goes to the AVX2 reading where the processor
// has it.
template <typename Digits>
bool read_signal_values(SignalStream* s, float* values, bool* line_feed_last) noexcept
{
    signal_stream_look_ahead(s);
    const SignalSpan span = signal_stream_span(s);
    int slot = 0;
    const char* p = read_values<false>(span.begin, span.end, values, &slot);
#if defined(OMBREL_DIGIT_WORDS_AVX2)
    if constexpr (std::is_same_v<Digits, BaselineDigits>) {
        if (p != nullptr && slot == 0 && avx2_present()) {
            return read_signal_values_avx2(s, values, line_feed_last);
        }
    }
#endif
    if (p != nullptr && slot < SIGNAL_LINE_VALUES) {
        p = read_values<true, Digits>(p, span.end, values, &slot);
    }
    if (p == nullptr) {
        return false;
    }
    *line_feed_last = p[-1] == '\n';
    signal_stream_consume_to(s, p);
    return true;
}

#if defined(OMBREL_DIGIT_WORDS_AVX2)
// The whole line inlined into one function that carries the AVX2 target,
// for lines that start with a value the plain path does not take (a line of
// plain values read through it ran slower: GCC builds the masks' constants
// anew in each value's code there).
[[gnu::target(OMBREL_AVX2_TARGET), gnu::flatten]] bool read_signal_values_avx2(SignalStream* s, float* values,
                                                                                bool* line_feed_last) noexcept
{
    return read_signal_values<Avx2Digits>(s, values, line_feed_last);
}
#endif

} // namespace

bool read_plain_signal(SignalStream* s, float* values, bool* line_feed_last) noexcept
{
    return read_signal_values<BaselineDigits>(s, values, line_feed_last);
}
