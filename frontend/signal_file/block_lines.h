// The second stage of a threaded pass, run by each worker on the blocks it
// takes: reads each line of a block as if a signal began at the line's
// start, and keeps the results of the leading lines that are exactly one
// signal each.
//
// A line is one signal when its 64 values with their separators end on it
// (the 64th separator may be the line feed) and only white space follows
// them up to the line feed. A sequential reader that starts the line's
// signal anywhere in the white space before the line then takes the same
// bytes, so the results are those of the sequential pass as long as every
// earlier line was one signal too.
#ifndef OMBREL_SIGNAL_FILE_BLOCK_LINES_H
#define OMBREL_SIGNAL_FILE_BLOCK_LINES_H

#include "classifier_context.h"
#include "signal_file/block.h"

#include <atomic>

// Reads the block's wanted lines up to the first that is not one signal and
// sets accepted and accepted_end. Lines from `begin` on are classified with
// `context` into results (CLASS_COUNT floats a line) and class_ids (by the
// batch entry, a few dozen lines at a time), or, with
// no context, their values are kept (INPUT_LENGTH floats a line). Stops
// early, with fewer accepted, once `abandon` is set.
void read_block_lines(Block* block, std::int64_t begin, ClassifierContext* context,
                      const std::atomic<bool>& abandon) noexcept;

#endif
