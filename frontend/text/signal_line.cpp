#include "signal_line.h"

#include "plain_signal.h"
#include "value_scanner.h"

bool read_signal_line(SignalStream* s, float* values) noexcept
{
    bool line_feed_last = false;
    if (read_plain_signal(s, values, &line_feed_last)) {
        return true;
    }
    for (int slot = 0; slot < SIGNAL_LINE_VALUES; ++slot) {
        if (!scan_value(s, &values[slot])) {
            return false;
        }
        // The separator; at the end of the file there is none, and asking
        // for it marks the end as seen.
        (void)signal_stream_get(s);
    }
    return true;
}
