#include "line_feed_count.h"

namespace {

// Byte counters side by side, as many as two SSE2 registers hold: each
// adds at most 255 before the counts are taken out, so a block is 255 rows
// of LANES bytes. The loops compile to a compare and a subtract per 16 bytes.
constexpr std::size_t LANES = 32;
constexpr std::size_t BLOCK = 255 * LANES;

std::int64_t count_block(const char* data) noexcept
{
    unsigned char lanes[LANES] = {};
    for (std::size_t row = 0; row < BLOCK; row += LANES) {
        for (std::size_t lane = 0; lane < LANES; ++lane) {
            lanes[lane] = static_cast<unsigned char>(lanes[lane] + (data[row + lane] == '\n'));
        }
    }
    std::int64_t count = 0;
    for (const unsigned char lane : lanes) {
        count += lane;
    }
    return count;
}

} // namespace

std::int64_t count_line_feeds_in(const char* data, std::size_t size) noexcept
{
    std::int64_t count = 0;
    std::size_t i = 0;
    for (; size - i >= BLOCK; i += BLOCK) {
        count += count_block(data + i);
    }
    for (; i < size; ++i) {
        count += data[i] == '\n';
    }
    return count;
}
