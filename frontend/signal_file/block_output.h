// The third stage of a threaded pass: hands the accepted lines of each
// block to the sink, block after block in file order, on the calling thread.
#ifndef OMBREL_SIGNAL_FILE_BLOCK_OUTPUT_H
#define OMBREL_SIGNAL_FILE_BLOCK_OUTPUT_H

#include "signal_file/block.h"
#include "signal_file/signal_file.h"

// The one rule for the record that closes the list: a record is the last
// when its line is the window's end. While the end is not known (a whole
// file whose lines are counted as they are read), each record is held back
// until the next one comes or the count is complete.
struct HeldRecord {
    bool held;
    SignalRecord record;
    float floats[INPUT_LENGTH];
};

// Hands over the block's accepted lines from `begin` on; `end` is the
// window's end, or -1 while it is not known (records then pass through
// `held`). `classified` tells what read_block_lines kept. False when the
// sink stops the run.
bool hand_over_block(const Block& block, std::int64_t begin, std::int64_t end, bool classified, HeldRecord* held,
                     SignalSink sink) noexcept;

// Hands over the held record, if any, marked last when its line is `end`.
bool release_held(HeldRecord* held, std::int64_t end, SignalSink sink) noexcept;

#endif
