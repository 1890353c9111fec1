// The third stage of a threaded pass: hands the accepted lines of each
// block to the sink, block after block in file order, on the calling thread.
#ifndef OMBREL_SIGNAL_FILE_BLOCK_OUTPUT_H
#define OMBREL_SIGNAL_FILE_BLOCK_OUTPUT_H

#include "signal_file/block.h"
#include "signal_file/signal_file.h"

// Hands over the block's accepted lines from `begin` to `end`, the one on
// `end` marked last; `classified` tells what read_block_lines kept. False
// when the sink stops the run.
bool hand_over_block(const Block& block, std::int64_t begin, std::int64_t end, bool classified,
                     SignalSink sink) noexcept;

#endif
