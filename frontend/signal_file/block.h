// A block of a threaded pass: bytes of the file that end just after a line
// feed, and the results of its leading lines, as the three stages pass it
// along: the block cutter fills it, a worker reads its lines, the in-order
// output hands its results to the sink.
#ifndef OMBREL_SIGNAL_FILE_BLOCK_H
#define OMBREL_SIGNAL_FILE_BLOCK_H

#include <cstddef>
#include <cstdint>

struct Block {
    char* data;               // capacity bytes
    float* results;           // per line: its probabilities, or its values when not classified
    std::uint16_t* class_ids; // per line, when classified
    std::uint8_t* findings;   // per line: signal_findings of its values
    std::int64_t offset;      // file offset of data[0]
    std::int64_t first_line;  // line feeds before the block
    std::int64_t lines;       // line feeds in the block; data[size - 1] is the last
    std::int64_t wanted;      // leading lines of the block that the window reads
    std::size_t size;
    bool oversized;           // a line outgrew the buffer: no line of it is read here
    // Set by the worker: the leading lines read as one signal each, and the
    // start of the line after them.
    std::int64_t accepted;
    std::size_t accepted_end;
    bool done;                // the worker is through with it (guarded by the pass's mutex)
};

// The sizes every block of a pass shares.
struct BlockShape {
    std::size_t capacity;       // bytes of data: a block plus the unfinished line carried into it
    std::size_t line_capacity;  // lines a block can hold
    std::size_t result_floats;  // floats of results per line
};

// A shape for blocks of about `block_bytes`; result_floats as given.
BlockShape block_shape(std::size_t block_bytes, std::size_t result_floats) noexcept;

// Allocates the block's buffers; false (with nothing held) when they cannot be had.
bool block_allocate(Block* block, const BlockShape& shape) noexcept;
void block_free(Block* block) noexcept;

#endif
