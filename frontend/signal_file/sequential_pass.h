// The signals of a window read one after the other on the calling thread:
// the pass that owns every rule about lines that are not one signal each.
#ifndef OMBREL_SIGNAL_FILE_SEQUENTIAL_PASS_H
#define OMBREL_SIGNAL_FILE_SEQUENTIAL_PASS_H

#include "signal_file/signal_delivery.h"
#include "signal_file/signal_file.h"

struct SequentialPassSetup {
    std::FILE* file;          // at the start of line first_line
    std::uint64_t byte_limit; // bytes the pass may read from there
    std::int64_t first_line;  // signal first_line starts here, every earlier one was one line each
    std::int64_t begin;       // the window
    // Or -1: the line feeds in the byte_limit's bytes, counted as the pass
    // reads them (window_end.h); first_line is then 1, the file at its start.
    std::int64_t end;
    SignalDelivery delivery;
    const std::atomic<bool>* stop = nullptr; // or SignalFile::stop
};

// Reads signals first_line to end, handing those of the window over in
// batches of up to SIGNAL_BATCH, the records before a failure always before
// the pass returns. The outcome's misaligned line counts from first_line on.
// When COMPLETE, *end is the window's end (the line count when counted).
SignalFileOutcome sequential_pass(const SequentialPassSetup& setup, std::int64_t* end) noexcept;

#endif
