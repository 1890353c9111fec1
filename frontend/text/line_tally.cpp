#include "line_tally.h"

#include "number_chars.h"
#include "plain_signal.h"
#include "signal_line.h"
#include "value_scanner.h"

namespace {

// Skips white space as the scan would, counting the line feeds. Returns the
// next character, or -1 at the end of the stream.
int skip_space(SignalStream* s, LineTally* t, bool stop_at_line_feed) noexcept
{
    for (;;) {
        const int c = signal_stream_peek(s);
        if (c < 0 || !is_number_space(static_cast<unsigned>(c))) {
            return c;
        }
        if (c == '\n') {
            if (stop_at_line_feed) {
                return c;
            }
            line_tally_line_feed(t);
        }
        signal_stream_advance(s);
    }
}

// The separator after a value, as read_signal_line takes it.
void take_separator(SignalStream* s, LineTally* t) noexcept
{
    const int c = signal_stream_get(s);
    if (c == '\n') {
        line_tally_line_feed(t);
    }
}

} // namespace

void line_tally_start(LineTally* t, std::int64_t first_line) noexcept
{
    *t = {first_line, 0, 0, 0, 0};
}

void line_tally_line_feed(LineTally* t) noexcept
{
    if (t->values != SIGNAL_LINE_VALUES) {
        if (t->off_line == 0) {
            t->off_line = t->line;
            t->off_values = t->values;
        }
        ++t->off_count;
    }
    ++t->line;
    t->values = 0;
}

bool read_signal_line_tallied(SignalStream* s, float* values, LineTally* t) noexcept
{
    // A plain signal lies on one line: its 64 values count on the line after
    // the white space before it, and its last separator may close that line.
    (void)skip_space(s, t, false);
    bool line_feed_last = false;
    if (read_plain_signal(s, values, &line_feed_last)) {
        t->values += SIGNAL_LINE_VALUES;
        if (line_feed_last) {
            line_tally_line_feed(t);
        }
        return true;
    }
    for (int slot = 0; slot < SIGNAL_LINE_VALUES; ++slot) {
        // The scan finds no white space left to skip, so it takes what it
        // would have taken after skipping it itself.
        (void)skip_space(s, t, false);
        if (!scan_value(s, &values[slot])) {
            return false;
        }
        ++t->values;
        take_separator(s, t);
    }
    return true;
}

void line_tally_finish(SignalStream* s, LineTally* t) noexcept
{
    // Nothing to close: the last separator was the line feed.
    if (t->values == 0) {
        return;
    }
    for (;;) {
        const int c = skip_space(s, t, true);
        float value;
        if (c < 0) {
            return; // a last line without a line feed is not a line
        }
        if (c == '\n' || !scan_value(s, &value)) {
            break;
        }
        ++t->values;
        const int separator = signal_stream_get(s);
        if (separator < 0) {
            return;
        }
        if (separator == '\n') {
            break;
        }
    }
    line_tally_line_feed(t);
}
