#include "signal_file/block_cutter.h"

#include "signal_file/line_feeds.h"

#include <cstring>

namespace {

// Reads up to `want` bytes; a short read is the end of the file (or of the
// bytes the cutter may read), or an error.
std::size_t read_some(BlockCutter* cutter, char* into, std::size_t want) noexcept
{
    if (want > cutter->unread) {
        want = static_cast<std::size_t>(cutter->unread);
    }
    const std::size_t got = want == 0 ? 0 : std::fread(into, 1, want, cutter->file);
    cutter->position += static_cast<std::int64_t>(got);
    cutter->unread -= got;
    if (got < want || cutter->unread == 0) {
        cutter->finished = true;
        cutter->failed = got < want && std::ferror(cutter->file) != 0;
    }
    return got;
}

// Fills the buffer after the carried bytes until it holds a line feed;
// returns the block's size (just after the last line feed), or 0 when none
// came. *filled: the bytes in the buffer.
//
// A line feed that is the last byte read so far ends a block only once the
// file is known to go on, or to end there without error: a read error right
// after it would make the sequential reader refuse that line as cut short
// (signal_stream_cut_short), so the line is left to it.
std::size_t fill(BlockCutter* cutter, const BlockShape& shape, char* data, std::size_t* filled) noexcept
{
    // Of the carried bytes only the last, held back, may be a line feed.
    std::size_t searched = *filled > 0 ? *filled - 1 : 0;
    while (!cutter->finished && *filled < shape.capacity) {
        const std::size_t room = shape.capacity - *filled;
        *filled += read_some(cutter, data + *filled, room < cutter->read_bytes ? room : cutter->read_bytes);
        const bool sure = cutter->finished && !cutter->failed;
        const std::size_t last = *filled > searched && !sure ? *filled - 1 : *filled;
        for (std::size_t k = last; k > searched; --k) {
            if (data[k - 1] == '\n') {
                return k;
            }
        }
        searched = last;
    }
    return 0;
}

void start_block(BlockCutter* cutter, Block* block, std::size_t filled) noexcept
{
    block->offset = cutter->position - static_cast<std::int64_t>(filled);
    block->first_line = cutter->line_feeds;
    block->accepted = 0;
    block->accepted_end = 0;
    block->done = false;
    block->oversized = false;
    block->size = 0;
    block->lines = 0;
    block->wanted = 0;
}

} // namespace

bool cut_block(BlockCutter* cutter, const BlockShape& shape, Block* block) noexcept
{
    if (cutter->finished) {
        return false; // what is left is carried: no line feed, or past the limit
    }
    if (cutter->carry_size != 0) {
        std::memmove(block->data, cutter->carry, cutter->carry_size);
    }
    std::size_t filled = cutter->carry_size;
    const std::size_t size = fill(cutter, shape, block->data, &filled);
    start_block(cutter, block, filled);
    cutter->carry = block->data + size;
    cutter->carry_size = filled - size;
    if (size == 0) {
        cutter->finished = true;
        if (filled < shape.capacity) {
            return false; // the rest of the file is no line
        }
        // A line longer than the buffer: the sequential reader takes over there.
        block->oversized = true;
        block->done = true;
        return true;
    }
    block->size = size;
    block->lines = count_line_feeds_in(block->data, size);
    const std::int64_t room = cutter->line_limit - block->first_line;
    block->wanted = block->lines < room ? block->lines : room;
    cutter->line_feeds += block->lines;
    if (cutter->line_feeds >= cutter->line_limit) {
        cutter->finished = true; // every line the window needs is in blocks
    }
    return true;
}
