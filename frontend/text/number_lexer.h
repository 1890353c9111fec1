// The one lexer of a number's text: the C library's grammar of "%f" and
// atof, read from spans of bytes into a NumberRecord that the converter
// (number_converter.h) turns into a value.
//
// Grammar: an optional sign, then "nan", "inf" or "infinity" (any case), or
// "0x" with hex digits, at most one point and a 'p' exponent, or decimal
// digits with at most one point and an 'e' exponent; the exponent letter
// only after a mantissa with a digit, its sign only right after it.
//
// The lexer takes characters as the "%f" scan does, each one looked at
// either taken or the one that ends the text: an exponent letter without
// digits is taken (adding nothing), and so is the character that breaks a
// word ("infinix" takes the x and fails). The atof reading of a C string
// needs nothing else: its value is the record's, and where the scan fails
// it keeps the longest prefix that converts, which the record tells
// (broken_infinity, hex).
//
// A text may lie across several spans: when a span ends before the text
// does, every byte of it is taken into the record and the lexer asks for
// more; the caller fetches the following bytes and calls again.
#ifndef OMBREL_NUMBER_LEXER_H
#define OMBREL_NUMBER_LEXER_H

#include <cstddef>
#include <cstdint>

enum class NumberForm : std::uint8_t {
    NONE,          // no text the scan accepts
    NUMBER,        // a mantissa and any exponent; "0x." without a hex digit is a zero
    NAN_WORD,      // "nan"
    INFINITY_WORD, // "inf" or "infinity"
};

// Where a text that continues in the next span stands.
enum class LexPhase : std::uint8_t {
    SIGN,            // at the start
    FIRST,           // after any sign
    WORD,            // inside "nan", "inf" or "infinity"
    AFTER_INF,       // after "inf": an 'i' commits to "infinity"
    LEADING_ZERO,    // after a first "0": an 'x' makes the text hexadecimal
    MANTISSA,        // digits and the point
    EXPONENT_SIGN,   // after the exponent letter
    EXPONENT_DIGITS, // after the letter and any sign
    DONE,
};

// Decimal digits of a midpoint between two adjacent doubles number at most
// 767, so the first 800 significant digits and whether any later one is
// nonzero round every decimal text like the whole text.
inline constexpr std::size_t NUMBER_DIGITS_KEPT = 800;

// Significant digits that `mantissa` holds: 10^19 - 1 and 16^16 - 1 fit in
// 64 bits.
inline constexpr std::int64_t NUMBER_MANTISSA_DECIMAL_DIGITS = 19;
inline constexpr std::int64_t NUMBER_MANTISSA_HEX_DIGITS = 16;

// Far beyond any exponent that leaves a finite nonzero double, and far from
// overflowing std::int64_t when added to a point shift.
inline constexpr std::int64_t NUMBER_EXPONENT_LIMIT = 1000000000000;

// The value of a NUMBER is 0.k1k2k3... * base^point_shift * radix^exponent,
// k1 its first nonzero digit, base 10 and radix 10, or base 16 and radix 2
// for hex. `mantissa` holds k1k2... as an integer while they fit.
struct NumberRecord {
    NumberForm form;
    bool negative;
    bool hex;
    bool any_digit;          // the mantissa had a digit, zeros included
    bool in_fraction;        // the point has been read
    bool exponent_negative;
    bool sticky;             // a nonzero digit past those kept: past `digits`, or for hex past `mantissa`
    bool broken_infinity;    // "inf" then an 'i' that did not go on to "infinity"
    bool infinity_tail;      // WORD: matching the "nity" of "infinity"
    LexPhase phase;
    const char* word_rest;   // WORD: the letters still to match, lower case
    std::uint64_t mantissa;  // the first significant digits, up to the NUMBER_MANTISSA_*_DIGITS
    std::int64_t significant; // significant digits, from the first nonzero one
    std::int64_t point_shift;
    std::int64_t exponent;    // the explicit exponent's magnitude, saturated at NUMBER_EXPONENT_LIMIT
    std::size_t kept;         // decimal digit characters in `digits`
    char digits[NUMBER_DIGITS_KEPT];
};

void number_lexer_start(NumberRecord* r) noexcept;

struct LexStep {
    std::size_t taken; // bytes of the span taken
    bool ran_out;      // the lexer looked past the span's end
};

// Continues r's text over [begin, end). When the text ends inside the span,
// r->phase is DONE and ran_out false. When it reaches the span's end:
// `final` false, every byte is taken and r waits for the next span; `final`
// true (the text's bytes end there), r is finished as at the end of a file,
// which the scan saw. An empty final span finishes a waiting record.
LexStep number_lex(NumberRecord* r, const char* begin, const char* end, bool final) noexcept;

// The words, read on their own. number_lex_word_start: r's first letter
// after any sign ('n' or 'i', lower case) was taken. number_lex_word:
// continues WORD and AFTER_INF from p; returns the first byte not taken, or
// end when the span ran out first (r still in its phase); sets r->form and
// DONE when the word ends or breaks.
void number_lex_word_start(NumberRecord* r, unsigned first) noexcept;
const char* number_lex_word(NumberRecord* r, const char* p, const char* end) noexcept;

#endif
