// The report's number format: a float widened to double, printed with two
// digits after the point.
#ifndef OMBREL_NUMBER_FORMAT_H
#define OMBREL_NUMBER_FORMAT_H

#include <cstddef>

// Sign, up to 39 integer digits, point, two digits and a NUL, with room spare.
inline constexpr std::size_t FIXED2_BUFFER_SIZE = 48;

// Writes value into out (FIXED2_BUFFER_SIZE bytes) and returns the length,
// the terminating NUL not counted. The exact binary value is rounded to two
// decimals, ties to even; a set sign bit prints a minus sign (also for
// results that round to 0.00); infinities print "inf" and "-inf"; every NaN
// prints "nan".
std::size_t format_fixed2(float value, char* out) noexcept;

#endif
