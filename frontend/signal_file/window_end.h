// The end of the sequential pass's window: given, or, for a whole file, the
// line count made from the line feeds the pass's own stream counts in each
// read (signal_stream_line_feeds), so that one thread reads the file once,
// as the threaded pass does.
//
// The count is that of the file's first `size` bytes, as a count on a
// stream of its own makes it: a file that ends before them or cannot be
// read is a count that fails (RUN_OUT or READ_ERROR, on no line), and that
// failure outweighs any other the pass meets, whatever line it is on.
#ifndef OMBREL_SIGNAL_FILE_WINDOW_END_H
#define OMBREL_SIGNAL_FILE_WINDOW_END_H

#include "signal_file/signal_file.h"
#include "text/signal_stream.h"

#include <atomic>
#include <cstdint>
#include <cstdio>

// Counts stop there, as a count on a stream of its own does.
inline constexpr std::int64_t MOST_COUNTED_LINES = INT32_MAX;

struct WindowEnd {
    std::int64_t end;   // the window's last line; -1 while the lines are counted as read
    // While counting: the stream's file, read by it from offset 0 with the
    // limit `size`, the bytes counted.
    std::FILE* file;
    std::uint64_t size;
    const std::atomic<bool>* stop;
};

enum class LineReach : std::uint8_t {
    WITHIN,       // line <= end
    BEYOND,       // line > end, which is now known
    COUNT_FAILED, // the lines cannot be counted; the status says why
};

// The slow part of window_reaches: reads further into the stream's buffer
// (never past its limit), or counts the rest of the file on the stream's
// FILE and sets it back where the stream reads next.
LineReach window_reaches_after_more(WindowEnd* w, SignalStream* stream, std::int64_t line,
                                    SignalFileStatus* failure) noexcept;

// Whether line `line` lies in the window: known at once while the stream's
// reads hold enough line feeds; line is at most one past the last line that
// was WITHIN. On COUNT_FAILED, *failure says why (READ_ERROR, RUN_OUT,
// SINK_STOPPED for the stop flag).
inline LineReach window_reaches(WindowEnd* w, SignalStream* stream, std::int64_t line,
                                SignalFileStatus* failure) noexcept
{
    if (w->end >= 0) {
        return line <= w->end ? LineReach::WITHIN : LineReach::BEYOND;
    }
    if (line <= signal_stream_line_feeds(stream) && line <= MOST_COUNTED_LINES) {
        return LineReach::WITHIN;
    }
    return window_reaches_after_more(w, stream, line, failure);
}

// Makes the end known (counting the rest of the file when needed):
// COMPLETE, or the count's failure.
SignalFileStatus window_end_settle(WindowEnd* w, SignalStream* stream) noexcept;

#endif
