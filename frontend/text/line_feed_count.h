// The one line-feed counter: a file's line count, the lines of a threaded
// pass's blocks and the line feeds a signal stream reads are all counted here.
#ifndef OMBREL_LINE_FEED_COUNT_H
#define OMBREL_LINE_FEED_COUNT_H

#include <cstddef>
#include <cstdint>

// Bytes equal to 10 in data[0 .. size - 1].
std::int64_t count_line_feeds_in(const char* data, std::size_t size) noexcept;

#endif
