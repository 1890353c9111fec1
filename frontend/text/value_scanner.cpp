#include "value_scanner.h"

#include "number_digits.h"
#include "number_chars.h"
#include "short_decimal.h"

#include <bit>
#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

namespace {

bool has_exponent_letter(const char* p, const char* end) noexcept
{
    for (; p != end; ++p) {
        if ((*p | 0x20) == 'e') {
            return true;
        }
    }
    return false;
}

// The common text of a signal file, digits with at most one point and no
// exponent, converted without std::from_chars. With at most 15 digits the
// mantissa m is below 2^53 and with at most 22 after the point the divisor
// 10^k is exact, so m / 10^k is the correctly rounded double d of the text.
// Rounding d to float gives the correctly rounded float of the text unless d
// is exactly halfway between two floats: the text may then lie on either
// side of that midpoint, so such texts are left to the general path. (The
// quotient is at least 10^-22, far above the float subnormal range, whose
// midpoints are spaced differently, and at most 10^15, far below overflow.)
// Only a text followed, inside the buffer, by a character that cannot extend
// it is taken here. Returns false, having taken nothing, otherwise.
bool scan_short_decimal(const char* p, const char* limit, bool negative, float* value,
                        const char** end) noexcept
{
    std::uint64_t mantissa = 0;
    int digits = 0;
    int after_point = 0;
    while (p < limit && is_decimal_digit(static_cast<unsigned char>(*p))) {
        mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
        ++digits;
        ++p;
    }
    if (p < limit && *p == '.') {
        ++p;
        while (p < limit && is_decimal_digit(static_cast<unsigned char>(*p))) {
            mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
            ++digits;
            ++after_point;
            ++p;
        }
    }
    if (p == limit || (*p | 0x20) == 'e' || digits == 0 || digits > 15 || after_point > 22) {
        return false;
    }
    if (!short_decimal_to_float(mantissa, after_point, negative, value)) {
        return false;
    }
    *end = p;
    return true;
}

// Takes the text from the buffer in one std::from_chars call when it is an
// ordinary decimal that ends inside the buffer or at the end of the file.
// Returns false, having taken nothing, for anything else, which the exact
// path then reads. The caller makes sure a character is there.
bool scan_fast(SignalStream* s, float* value) noexcept
{
    const char* const start = s->data + s->next;
    const char* const limit = s->data + s->filled;
    // std::from_chars takes a minus sign but no plus sign. The sign is
    // stepped over without a branch: signs of real data follow no pattern.
    const bool plus = *start == '+';
    const char* const p = start + (plus || *start == '-');
    const char* const number = plus ? p : start;
    // Two characters rule out "0x" and a point without a digit.
    if (limit - p < 2) {
        return false;
    }
    if (is_decimal_digit(static_cast<unsigned char>(p[0]))) {
        if (p[0] == '0' && (p[1] | 0x20) == 'x') {
            return false;
        }
    } else if (p[0] != '.' || !is_decimal_digit(static_cast<unsigned char>(p[1]))) {
        return false;
    }

    const char* short_end = nullptr;
    if (scan_short_decimal(p, limit, *start == '-', value, &short_end)) {
        s->next += static_cast<std::size_t>(short_end - start);
        return true;
    }

    const std::from_chars_result result = std::from_chars(number, limit, *value);
    if (result.ec != std::errc{}) {
        return false; // overflow or underflow: the exact path tells which
    }
    const char* end = result.ptr;
    // std::from_chars leaves out an exponent letter without digits, and the
    // sign after it, both of which the scan takes; a letter after a whole
    // exponent is no part of the number.
    if (end < limit && (*end | 0x20) == 'e' && !has_exponent_letter(p, end)) {
        ++end;
        if (end < limit && (*end == '+' || *end == '-')) {
            ++end;
        }
    }
    if (end == limit) {
        if (!s->drained) {
            return false; // the text may go on past the buffer
        }
        if (!s->read_failed) {
            s->end_seen = true; // the scan asked for the character after the text
        }
    }
    s->next += static_cast<std::size_t>(end - start);
    return true;
}

// The shape of the text that the exact path took, before its conversion.
enum class TextForm {
    NOTHING,       // no text the conversion accepts
    NAN_WORD,      // "nan"
    INFINITY_WORD, // "inf" or "infinity"
    HEX_NO_DIGIT,  // "0x" followed by a point and no hex digit: the "0" before the x
    DIGITS,        // a mantissa with at least one digit, and any exponent
};

struct ParsedText {
    TextForm form;
    bool negative;
    NumberDigits digits; // DIGITS only
};

// An optional sign; true when it is a minus.
bool take_sign(SignalStream* s) noexcept
{
    const int c = signal_stream_peek(s);
    if (c != '-' && c != '+') {
        return false;
    }
    signal_stream_advance(s);
    return c == '-';
}

// Takes the characters of word after its first, which the caller took; false
// when one differs (it is taken) or the file ends.
bool take_word_rest(SignalStream* s, const char* rest) noexcept
{
    for (; *rest != '\0'; ++rest) {
        const int c = signal_stream_get(s);
        if (c < 0 || to_lower_ascii(static_cast<unsigned>(c)) != static_cast<unsigned char>(*rest)) {
            return false;
        }
    }
    return true;
}

// The letter, in lower case, that "nan", "inf" and "infinity" begin with.
bool begins_nan_or_infinity(unsigned first) noexcept
{
    return first == 'n' || first == 'i';
}

// "nan", "inf" or "infinity" in any case, from its first letter (lower
// case); NOTHING once a character breaks the word.
TextForm take_nan_or_infinity(SignalStream* s, unsigned first) noexcept
{
    signal_stream_advance(s);
    if (first == 'n') {
        return take_word_rest(s, "an") ? TextForm::NAN_WORD : TextForm::NOTHING;
    }
    if (!take_word_rest(s, "nf")) {
        return TextForm::NOTHING;
    }
    // "inf" stands unless an 'i' follows, which commits to "infinity".
    const int after = signal_stream_peek(s);
    if (after >= 0 && to_lower_ascii(static_cast<unsigned>(after)) == 'i') {
        signal_stream_advance(s);
        if (!take_word_rest(s, "nity")) {
            return TextForm::NOTHING;
        }
    }
    return TextForm::INFINITY_WORD;
}

// An optional "0x", then digits of its base with at most one point.
TextForm take_mantissa(SignalStream* s, bool negative, NumberDigits* n) noexcept
{
    bool hex = false;
    bool leading_zero = false;
    if (signal_stream_peek(s) == '0') {
        signal_stream_advance(s);
        const int c = signal_stream_peek(s);
        hex = c >= 0 && (c | 0x20) == 'x';
        leading_zero = !hex;
        if (hex) {
            signal_stream_advance(s);
        }
    }
    number_digits_start(n, hex, negative);
    if (leading_zero) {
        number_digits_add(n, '0', 0);
    }
    bool point = false;
    bool taken = leading_zero; // a character after the sign and any "0x"
    for (int c = signal_stream_peek(s); c >= 0; c = signal_stream_peek(s)) {
        const unsigned u = static_cast<unsigned>(c);
        const unsigned digit = hex ? hex_digit_value(u) : (is_decimal_digit(u) ? u - '0' : 16);
        if (digit < 16) {
            number_digits_add(n, static_cast<char>(c), digit);
        } else if (c == '.' && !point) {
            number_digits_point(n);
            point = true;
        } else {
            break;
        }
        signal_stream_advance(s);
        taken = true;
    }
    if (n->any_digit) {
        return TextForm::DIGITS;
    }
    // A lone sign, "0x" alone or a point without a digit convert nothing;
    // "0x." is the "0" before the x.
    return hex && taken ? TextForm::HEX_NO_DIGIT : TextForm::NOTHING;
}

// After a mantissa with a digit: the exponent letter ('e', or 'p' after
// "0x"), a sign right after it, and decimal digits. A letter without digits
// is taken and leaves the exponent at zero.
void take_exponent(SignalStream* s, NumberDigits* n) noexcept
{
    const int letter = signal_stream_peek(s);
    if (letter < 0 || to_lower_ascii(static_cast<unsigned>(letter)) != (n->hex ? 'p' : 'e')) {
        return;
    }
    signal_stream_advance(s);
    const int c = signal_stream_peek(s);
    if (c == '+' || c == '-') {
        n->exponent_negative = c == '-';
        signal_stream_advance(s);
    }
    for (int d = signal_stream_peek(s); d >= 0 && is_decimal_digit(static_cast<unsigned>(d));
         d = signal_stream_peek(s)) {
        number_digits_exponent_add(n, static_cast<unsigned>(d) - '0');
        signal_stream_advance(s);
    }
}

ParsedText parse_text(SignalStream* s) noexcept
{
    ParsedText text;
    text.negative = take_sign(s);
    const int c = signal_stream_peek(s);
    const unsigned first = c < 0 ? 0 : to_lower_ascii(static_cast<unsigned>(c));
    if (begins_nan_or_infinity(first)) {
        text.form = take_nan_or_infinity(s, first);
        return text;
    }
    text.form = take_mantissa(s, text.negative, &text.digits);
    if (text.form == TextForm::DIGITS) {
        take_exponent(s, &text.digits);
    }
    return text;
}

// The exact path, one character at a time, as the C library's scan goes.
// Kept out of line: its digit buffer would burden the fast path's frame.
[[gnu::noinline]] bool scan_exact(SignalStream* s, float* value) noexcept
{
    const ParsedText text = parse_text(s);
    const std::uint32_t sign = text.negative ? 0x80000000u : 0u;
    switch (text.form) {
    case TextForm::NOTHING:
        return false;
    case TextForm::NAN_WORD:
        *value = std::bit_cast<float>(sign | 0x7FC00000u); // the quiet NaN, with the text's sign
        return true;
    case TextForm::INFINITY_WORD:
        *value = std::bit_cast<float>(sign | std::bit_cast<std::uint32_t>(std::numeric_limits<float>::infinity()));
        return true;
    case TextForm::HEX_NO_DIGIT:
        *value = std::bit_cast<float>(sign);
        return true;
    case TextForm::DIGITS:
        break;
    }
    *value = number_digits_to_float(&text.digits);
    return true;
}

} // namespace

bool scan_value(SignalStream* s, float* value) noexcept
{
    for (;;) {
        if (s->next == s->filled && signal_stream_peek(s) < 0) {
            return false;
        }
        if (!is_number_space(static_cast<unsigned char>(s->data[s->next]))) {
            break;
        }
        ++s->next;
    }
    signal_stream_look_ahead(s);
    return scan_fast(s, value) || scan_exact(s, value);
}
