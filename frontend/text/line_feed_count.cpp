#include "line_feed_count.h"

std::int64_t count_line_feeds_in(const char* data, std::size_t size) noexcept
{
    // Chunks short enough for an 8-bit lane count vectorise well.
    std::int64_t count = 0;
    std::size_t i = 0;
    while (i < size) {
        const std::size_t chunk_end = size - i < 255 ? size : i + 255;
        unsigned char in_chunk = 0;
        for (; i < chunk_end; ++i) {
            in_chunk = static_cast<unsigned char>(in_chunk + (data[i] == '\n'));
        }
        count += in_chunk;
    }
    return count;
}
