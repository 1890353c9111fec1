#ifndef OMBREL_LINE_COUNT_H
#define OMBREL_LINE_COUNT_H

#include <cstdint>

// Opens `path` once more, on a stream of its own, and counts its line-feed
// bytes (value 10). A count beyond the 32-bit range is INT32_MAX; a file that
// cannot be opened or read counts what was read before the failure.
std::int32_t count_line_feeds(const char* path) noexcept;

#endif
