// The usual text of a signal line read in one pass: 64 plain decimals, each
// followed by its separator, with the reading position kept in a register
// instead of the stream between values.
#ifndef OMBREL_PLAIN_SIGNAL_H
#define OMBREL_PLAIN_SIGNAL_H

#include "signal_stream.h"

// Reads the next signal when every one of its values has the plain shape:
// white space other than a line feed, an optional sign, 1 to 8 digits, then
// optionally a point and 1 to 8 digits (15 digits at most), ending at a
// character that cannot extend it (not a digit, a point after the integer
// shape, an exponent letter or an "x" after a lone 0), and when no separator
// but the last is a line feed. Such a signal is read exactly as
// read_signal_line reads it: same values, same characters taken. Returns
// true with the stream past the last separator, or false having taken
// nothing and written nothing the caller may use (values may be
// overwritten), leaving the signal to the general reader.
// *line_feed_last tells whether the last separator was a line feed.
bool read_plain_signal(SignalStream* s, float* values, bool* line_feed_last) noexcept;

#endif
