// Character classes of number texts, in the C locale whatever the host's.
#ifndef OMBREL_NUMBER_CHARS_H
#define OMBREL_NUMBER_CHARS_H

constexpr bool is_number_space(unsigned c) noexcept
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

constexpr bool is_decimal_digit(unsigned c) noexcept
{
    return c - '0' < 10u;
}

// Value of a hexadecimal digit, or 16 for any other character.
constexpr unsigned hex_digit_value(unsigned c) noexcept
{
    if (c - '0' < 10u) {
        return c - '0';
    }
    const unsigned lower = c | 0x20u;
    if (lower - 'a' < 6u) {
        return lower - 'a' + 10;
    }
    return 16;
}

constexpr unsigned to_lower_ascii(unsigned c) noexcept
{
    return c - 'A' < 26u ? c | 0x20u : c;
}

// --- The grammar of a number's text, shared by the lexer and the fast paths

// The letter that begins an exponent: 'e' after decimal digits, 'p' after
// hexadecimal ones, in either case.
constexpr bool is_exponent_letter(unsigned c, bool hex) noexcept
{
    return (c | 0x20u) == (hex ? 'p' : 'e');
}

// The letter after a leading "0" that makes the text hexadecimal.
constexpr bool is_hex_marker(unsigned c) noexcept
{
    return (c | 0x20u) == 'x';
}

// Whether a decimal mantissa's text ends before c, a character that is no
// digit: c is no point while none has been read, and no exponent letter. A
// mantissa that is one lone "0" also goes on at a hex marker.
// (Bitwise operators on 0 and 1: the fast paths meet every outcome, in no
// pattern that a branch could learn.)
constexpr bool ends_decimal_mantissa_at(unsigned c, bool point_read, bool lone_zero) noexcept
{
    const unsigned second_point = unsigned{c == '.'} & unsigned{!point_read};
    const unsigned hex = unsigned{lone_zero} & unsigned{is_hex_marker(c)};
    return (second_point | unsigned{is_exponent_letter(c, false)} | hex) == 0;
}

// The same for any character c.
constexpr bool ends_decimal_mantissa(unsigned c, bool point_read, bool lone_zero) noexcept
{
    return !is_decimal_digit(c) && ends_decimal_mantissa_at(c, point_read, lone_zero);
}

// The start shared by the C library's text-to-number conversions of a word:
// leading white space, then an optional sign. Returns the first character
// after them; *negative tells whether the sign was a minus.
constexpr const char* skip_space_and_sign(const char* p, bool* negative) noexcept
{
    while (is_number_space(static_cast<unsigned char>(*p))) {
        ++p;
    }
    *negative = *p == '-';
    if (*p == '+' || *p == '-') {
        ++p;
    }
    return p;
}

#endif
