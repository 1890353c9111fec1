// Signal values given as command-line words.
#ifndef OMBREL_NUMBER_ARRAY_WORD_H
#define OMBREL_NUMBER_ARRAY_WORD_H

// The longest numeric prefix of word after leading white space, converted to
// the nearest double and then narrowed to float (two roundings, on purpose):
// an optional sign, then a decimal number with optional point and exponent,
// a hexadecimal number "0x..." with optional binary exponent "p...", "inf",
// "infinity" or "nan" with an optional "(chars)" (any case). 0 when word has
// no numeric prefix. Overflow gives infinity, underflow the nearest tiny
// double, possibly zero.
float array_word_value(const char* word) noexcept;

#endif
