#include "signal_file/block.h"

#include "text/signal_line.h"

#include <cstdlib>

namespace {

// The shortest line that holds one signal: 64 one-character values, each
// with its separator, the last of them the line feed. It bounds the number
// of accepted lines in a block, hence the result storage.
constexpr std::size_t SHORTEST_SIGNAL_LINE = 2 * SIGNAL_LINE_VALUES;

// A block buffer holds the block plus the unfinished line carried into it; a
// line longer than this spare room never counts as one signal.
constexpr std::size_t LEAST_LINE_ROOM = std::size_t{64} << 10;

} // namespace

BlockShape block_shape(std::size_t block_bytes, std::size_t result_floats) noexcept
{
    BlockShape shape{};
    shape.capacity = block_bytes + (block_bytes < LEAST_LINE_ROOM ? LEAST_LINE_ROOM : block_bytes);
    shape.line_capacity = shape.capacity / SHORTEST_SIGNAL_LINE + 1;
    shape.result_floats = result_floats;
    return shape;
}

bool block_allocate(Block* block, const BlockShape& shape) noexcept
{
    *block = Block{};
    block->data = static_cast<char*>(std::malloc(shape.capacity));
    block->results = static_cast<float*>(std::malloc(shape.line_capacity * shape.result_floats * sizeof(float)));
    block->class_ids = static_cast<std::uint16_t*>(std::malloc(shape.line_capacity * sizeof(std::uint16_t)));
    block->findings = static_cast<std::uint8_t*>(std::malloc(shape.line_capacity));
    if (block->data == nullptr || block->results == nullptr || block->class_ids == nullptr || block->findings == nullptr) {
        block_free(block);
        return false;
    }
    return true;
}

void block_free(Block* block) noexcept
{
    std::free(block->data);
    std::free(block->results);
    std::free(block->class_ids);
    std::free(block->findings);
    *block = Block{};
}
