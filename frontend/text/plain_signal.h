// The usual text of a signal line read in one pass: 64 decimals, each
// followed by its separator, with the reading position kept in a register
// instead of the stream between values.
#ifndef OMBREL_PLAIN_SIGNAL_H
#define OMBREL_PLAIN_SIGNAL_H

#include "signal_stream.h"

// Reads the next signal when every one of its values has the plain shape
// (white space other than a line feed, an optional sign, 1 to 8 digits,
// then optionally a point and 1 to 8 digits, 15 digits at most) or one the
// scan's decimal path takes (decimal_scan.h: up to 19 digits and an
// exponent), ending at a character that ends the text in the lexer's
// grammar, and when no separator but the last is a line feed. Such a
// signal is read exactly as read_signal_line reads it: same values, same
// characters taken. Returns
// true with the stream past the last separator, or false having taken
// nothing and written nothing the caller may use (values may be
// overwritten), leaving the signal to the general reader.
// *line_feed_last tells whether the last separator was a line feed.
bool read_plain_signal(SignalStream* s, float* values, bool* line_feed_last) noexcept;

// One value of that shape at p, no white space before it, in [p, limit):
// returns the character after its text, which must lie before limit, or
// nullptr when the text is not of the plain shape.
const char* read_plain_value(const char* p, const char* limit, float* value) noexcept;

#endif
