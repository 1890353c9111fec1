#ifndef OMBREL_LINE_COUNT_H
#define OMBREL_LINE_COUNT_H

#include <cstdint>
#include <cstdio>

enum class LineCountOutcome : std::uint8_t {
    COUNTED,
    NOT_OPENED,  // the path cannot be opened again, or now names another file
    READ_FAILED, // a read error before the end of the file
};

struct LineCount {
    LineCountOutcome outcome;
    std::int32_t line_feeds; // COUNTED only; beyond the 32-bit range it is INT32_MAX
};

// Opens `path` once more, on a stream of its own, and counts its line-feed
// bytes (value 10). `opened` is the run's stream on the same path: the count
// stands only when both opens reached the same file (device and inode), so
// a file replaced in between is never counted in place of the one read.
LineCount count_line_feeds(const char* path, std::FILE* opened) noexcept;

#endif
