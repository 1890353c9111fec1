// One signal of a signal file: 64 values, each followed by one separator.
#ifndef OMBREL_SIGNAL_LINE_H
#define OMBREL_SIGNAL_LINE_H

#include "signal_stream.h"

inline constexpr int SIGNAL_LINE_VALUES = 64;

// For each of the 64 slots in order: one "%f" conversion into values[slot]
// (see scan_value), stopping with false when it converts nothing, then one
// character taken and dropped whatever it is. True after 64 values. After a
// false, signal_stream_at_eof tells a file that ended from bad content or a
// read error.
bool read_signal_line(SignalStream* s, float* values) noexcept;

#endif
