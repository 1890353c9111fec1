#include "number_lexer.h"

#include "number_chars.h"

namespace {

// A mantissa digit of r's base; c is its character.
void add_digit(NumberRecord* r, char c, unsigned digit) noexcept
{
    r->any_digit = true;
    if (r->significant == 0 && digit == 0) {
        // A leading zero: only a zero after the point moves the value.
        r->point_shift -= r->in_fraction;
        return;
    }
    r->point_shift += !r->in_fraction;
    if (r->hex) {
        if (r->significant < NUMBER_MANTISSA_HEX_DIGITS) {
            r->mantissa = r->mantissa << 4 | digit;
        } else if (digit != 0) {
            r->sticky = true;
        }
    } else {
        if (r->significant < NUMBER_MANTISSA_DECIMAL_DIGITS) {
            r->mantissa = r->mantissa * 10 + digit;
        }
        if (r->kept < NUMBER_DIGITS_KEPT) {
            r->digits[r->kept++] = c;
        } else if (digit != 0) {
            r->sticky = true;
        }
    }
    ++r->significant;
}

// Mantissa characters from p; returns the first that is not one, or end.
const char* lex_mantissa(NumberRecord* r, const char* p, const char* end) noexcept
{
    for (; p != end; ++p) {
        const unsigned c = static_cast<unsigned char>(*p);
        const unsigned digit = r->hex ? hex_digit_value(c) : (is_decimal_digit(c) ? c - '0' : 16);
        if (digit < 16) {
            add_digit(r, *p, digit);
            continue;
        }
        if (c != '.' || r->in_fraction) {
            return p;
        }
        r->in_fraction = true;
    }
    return p;
}

void add_exponent_digit(NumberRecord* r, unsigned digit) noexcept
{
    if (r->exponent < NUMBER_EXPONENT_LIMIT) {
        r->exponent = r->exponent * 10 + static_cast<std::int64_t>(digit);
    }
    if (r->exponent > NUMBER_EXPONENT_LIMIT) {
        r->exponent = NUMBER_EXPONENT_LIMIT;
    }
}

// The form of a mantissa that ended: a digit makes a number; without one,
// "0x." is the zero before the x, and a lone sign, point or "0x" is nothing.
NumberForm mantissa_form(const NumberRecord* r) noexcept
{
    return r->any_digit || (r->hex && r->in_fraction) ? NumberForm::NUMBER : NumberForm::NONE;
}

// The text ends at the end of the bytes, in r's phase.
void finish_at_end(NumberRecord* r) noexcept
{
    switch (r->phase) {
    case LexPhase::SIGN:
    case LexPhase::FIRST:
    case LexPhase::DONE:
        break;
    case LexPhase::WORD:
        r->form = NumberForm::NONE;
        r->broken_infinity = r->infinity_tail;
        break;
    case LexPhase::AFTER_INF:
        r->form = NumberForm::INFINITY_WORD;
        break;
    case LexPhase::LEADING_ZERO:
        add_digit(r, '0', 0);
        r->form = NumberForm::NUMBER;
        break;
    case LexPhase::MANTISSA:
        r->form = mantissa_form(r);
        break;
    case LexPhase::EXPONENT_SIGN:
    case LexPhase::EXPONENT_DIGITS:
        r->form = NumberForm::NUMBER;
        break;
    }
    r->phase = LexPhase::DONE;
}

} // namespace

void number_lexer_start(NumberRecord* r) noexcept
{
    r->form = NumberForm::NONE;
    r->negative = false;
    r->hex = false;
    r->any_digit = false;
    r->in_fraction = false;
    r->exponent_negative = false;
    r->sticky = false;
    r->broken_infinity = false;
    r->infinity_tail = false;
    r->phase = LexPhase::SIGN;
    r->word_rest = "";
    r->mantissa = 0;
    r->significant = 0;
    r->point_shift = 0;
    r->exponent = 0;
    r->kept = 0;
}

namespace {

// --- One phase each: from p (p != end) in r's phase; each returns the first
// byte not taken, having set r's next phase.

// An optional sign at p, of the mantissa or the exponent: *negative tells
// a minus; returns the byte after it.
const char* take_sign(const char* p, bool* negative) noexcept
{
    if (*p == '+' || *p == '-') {
        *negative = *p == '-';
        return p + 1;
    }
    return p;
}

const char* lex_first(NumberRecord* r, const char* p) noexcept
{
    const unsigned lower = to_lower_ascii(static_cast<unsigned char>(*p));
    if (lower == 'n' || lower == 'i') {
        number_lex_word_start(r, lower);
        return p + 1;
    }
    if (*p == '0') {
        r->phase = LexPhase::LEADING_ZERO;
        return p + 1;
    }
    r->phase = LexPhase::MANTISSA;
    return p;
}

const char* lex_leading_zero(NumberRecord* r, const char* p) noexcept
{
    r->phase = LexPhase::MANTISSA;
    if (is_hex_marker(static_cast<unsigned char>(*p))) {
        r->hex = true;
        return p + 1;
    }
    add_digit(r, '0', 0);
    return p;
}

const char* lex_mantissa_phase(NumberRecord* r, const char* p, const char* end) noexcept
{
    p = lex_mantissa(r, p, end);
    if (p == end) {
        return p;
    }
    r->form = mantissa_form(r);
    if (r->any_digit && is_exponent_letter(static_cast<unsigned char>(*p), r->hex)) {
        r->phase = LexPhase::EXPONENT_SIGN;
        return p + 1;
    }
    r->phase = LexPhase::DONE;
    return p;
}

const char* lex_exponent_digits(NumberRecord* r, const char* p, const char* end) noexcept
{
    for (; p != end && is_decimal_digit(static_cast<unsigned char>(*p)); ++p) {
        add_exponent_digit(r, static_cast<unsigned char>(*p) - '0');
    }
    if (p != end) {
        r->phase = LexPhase::DONE;
    }
    return p;
}

const char* lex_phase(NumberRecord* r, const char* p, const char* end) noexcept
{
    switch (r->phase) {
    case LexPhase::SIGN:
        r->phase = LexPhase::FIRST;
        return take_sign(p, &r->negative);
    case LexPhase::FIRST:
        return lex_first(r, p);
    case LexPhase::WORD:
    case LexPhase::AFTER_INF:
        return number_lex_word(r, p, end);
    case LexPhase::LEADING_ZERO:
        return lex_leading_zero(r, p);
    case LexPhase::MANTISSA:
        return lex_mantissa_phase(r, p, end);
    case LexPhase::EXPONENT_SIGN:
        r->phase = LexPhase::EXPONENT_DIGITS;
        return take_sign(p, &r->exponent_negative);
    case LexPhase::EXPONENT_DIGITS:
        return lex_exponent_digits(r, p, end);
    case LexPhase::DONE:
        break;
    }
    return p;
}

} // namespace

LexStep number_lex(NumberRecord* r, const char* const begin, const char* const end, bool final) noexcept
{
    const char* p = begin;
    while (p != end && r->phase != LexPhase::DONE) {
        p = lex_phase(r, p, end);
    }
    const auto taken = static_cast<std::size_t>(p - begin);
    if (r->phase == LexPhase::DONE) {
        return {taken, false};
    }
    if (final) {
        finish_at_end(r);
    }
    return {taken, true};
}
