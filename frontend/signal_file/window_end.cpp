#include "signal_file/window_end.h"

#include "signal_file/line_feeds.h"
#include "signal_file/seek_file_to.h"

SignalFileStatus window_end_settle(WindowEnd* w, SignalStream* stream) noexcept
{
    if (w->end >= 0) {
        return SignalFileStatus::COMPLETE;
    }
    if (signal_stream_read_failed(stream)) {
        return SignalFileStatus::READ_ERROR;
    }
    const bool read_all = signal_stream_read_all(stream);
    if (signal_stream_drained(stream) && !read_all) {
        return SignalFileStatus::RUN_OUT; // the file ended before its size
    }
    std::int64_t count = signal_stream_line_feeds(stream);
    if (!read_all) {
        // The bytes the stream has still to read, counted on its FILE, which
        // is then set back to where the stream left it.
        // A block of the stack: the stream's buffer is still held, and the
        // run's memory stays under its bound (a larger block saves little).
        char block[std::size_t{64} << 10];
        const std::uint64_t read = signal_stream_bytes_read(stream);
        switch (count_stream_line_feeds_through(w->file, w->size - read, block, sizeof block, &count, w->stop)) {
        case LineCountOutcome::COUNTED:
            break;
        case LineCountOutcome::STOPPED:
            return SignalFileStatus::SINK_STOPPED;
        case LineCountOutcome::SHRANK:
            return SignalFileStatus::RUN_OUT;
        case LineCountOutcome::NOT_OPENED:
        case LineCountOutcome::READ_FAILED:
            return SignalFileStatus::READ_ERROR;
        }
        if (!seek_file_to(w->file, static_cast<std::int64_t>(read))) {
            return SignalFileStatus::READ_ERROR;
        }
    }
    w->end = count < MOST_COUNTED_LINES ? count : MOST_COUNTED_LINES;
    return SignalFileStatus::COMPLETE;
}

LineReach window_reaches_after_more(WindowEnd* w, SignalStream* stream, std::int64_t line,
                                    SignalFileStatus* failure) noexcept
{
    // Reads into the buffer while it has room: the reader would read the
    // same bytes next. The rest is counted apart only when the buffer holds
    // nothing but unread bytes short of the line feeds asked for.
    while (w->end < 0 && line <= MOST_COUNTED_LINES && signal_stream_line_feeds(stream) < line &&
           !signal_stream_read_all(stream) && !signal_stream_drained(stream)) {
        if (!signal_stream_refill(stream) && !signal_stream_drained(stream)) {
            break;
        }
    }
    if (w->end < 0 && line <= MOST_COUNTED_LINES && line <= signal_stream_line_feeds(stream)) {
        return LineReach::WITHIN;
    }
    *failure = window_end_settle(w, stream);
    if (*failure != SignalFileStatus::COMPLETE) {
        return LineReach::COUNT_FAILED;
    }
    return line <= w->end ? LineReach::WITHIN : LineReach::BEYOND;
}
