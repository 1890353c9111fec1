// How the values a signal reader takes fall on the lines of the file: the
// rule that tells a file whose signals each fill one line from one whose
// signals have slid off the line starts.
//
// A value lies on the line where its text begins (its first character after
// the white space skipped before it), and a line holds the values that lie on
// it, counted as the reader converts them. When every line read so far holds
// exactly SIGNAL_LINE_VALUES values, signal k is line k; the first line that
// holds any other number is where signals stop starting at line starts:
//   - more (a label column left in: 65), its last values begin the next signal;
//   - fewer (63), its signal takes values from the next line;
//   - none (an empty line), the signal numbered for it comes from later lines.
// White space around the values (a trailing separator, "\r\n" line ends) does
// not count. The rule holds for any reader of the same text: the command's
// sequential pass, a pass that reads lines in parallel, the Python reader.
#ifndef OMBREL_LINE_TALLY_H
#define OMBREL_LINE_TALLY_H

#include "signal_stream.h"

#include <cstdint>

struct LineTally {
    std::int64_t line;         // the line the next value's text would lie on
    std::int32_t values;       // values lying on `line` so far
    std::int64_t off_line;     // first line closed with a count other than 64; 0 while none
    std::int32_t off_values;   // the values on off_line
    std::int64_t off_count;    // lines closed with a count other than 64
};

// Counting starts at the start of line first_line (1 for a whole file).
void line_tally_start(LineTally* t, std::int64_t first_line) noexcept;

// A line feed taken from the stream: closes the current line.
void line_tally_line_feed(LineTally* t) noexcept;

// read_signal_line (same values, same characters taken, same result), with
// each value and each line feed it takes counted in t.
bool read_signal_line_tallied(SignalStream* s, float* values, LineTally* t) noexcept;

// After the last signal of a run that read without failure: closes the line
// the last value lies on (unless its last separator was the line feed), reading no further than that line's line feed, so
// that values left on it after the signal are counted. Text there that does
// not convert ends the count: no later signal would have read it. A line
// that the file ends without a line feed is not closed: it is not a line.
void line_tally_finish(SignalStream* s, LineTally* t) noexcept;

#endif
