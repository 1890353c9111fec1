// The first stage of a threaded pass: reads the file in order and cuts it
// into blocks that end just after a line feed, carrying the unfinished line
// into the next block. Runs on the calling thread.
#ifndef OMBREL_SIGNAL_FILE_BLOCK_CUTTER_H
#define OMBREL_SIGNAL_FILE_BLOCK_CUTTER_H

#include "signal_file/block.h"

#include <cstdio>

struct BlockCutter {
    std::FILE* file;
    std::uint64_t unread;         // bytes the cutter may still read: the file ends there for it
    std::size_t read_bytes;       // bytes asked for at a time
    std::int64_t line_limit;      // no block is cut once this many line feeds are in blocks
    std::int64_t position = 0;    // bytes read from the file
    std::int64_t line_feeds = 0;  // line feeds in the blocks cut so far
    // The bytes read after the latest block (all of them when no block could
    // be cut): the unfinished line carried into the next block.
    const char* carry = nullptr;
    std::size_t carry_size = 0;
    bool finished = false;        // no further block
    bool failed = false;          // a read error
};

// Cuts the next block into `block` (whose buffers have shape.capacity bytes).
// False when there is none: the rest of the file holds no line feed, the
// line limit is reached, or a read failed. A line longer than the buffer
// gives an oversized block, the last one.
bool cut_block(BlockCutter* cutter, const BlockShape& shape, Block* block) noexcept;

#endif
