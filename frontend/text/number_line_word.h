// Line numbers given as command-line words.
#ifndef OMBREL_NUMBER_LINE_WORD_H
#define OMBREL_NUMBER_LINE_WORD_H

#include <cstdint>

// Leading white space (space, \t, \n, \v, \f, \r), an optional sign, then
// the longest run of decimal digits; 0 when there are none. A value outside
// the 32-bit range gives INT32_MAX or INT32_MIN, however many digits follow.
std::int32_t parse_line_number(const char* word) noexcept;

#endif
