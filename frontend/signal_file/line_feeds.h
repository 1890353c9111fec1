// A file's line feeds counted on a stream (count_line_feeds_in, which
// counts them in memory, comes with this header).
#ifndef OMBREL_SIGNAL_FILE_LINE_FEEDS_H
#define OMBREL_SIGNAL_FILE_LINE_FEEDS_H

#include "text/line_feed_count.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>

enum class LineCountOutcome : std::uint8_t {
    COUNTED,
    NOT_OPENED,  // the path cannot be opened again, or now names another file
    READ_FAILED, // a read error before the end of the counted bytes
    SHRANK,      // the file ended before the size it had at its open
    STOPPED,     // the stop flag was set
};

struct LineCount {
    LineCountOutcome outcome;
    std::int64_t line_feeds; // COUNTED only; at most INT32_MAX, where larger counts stop
};

// Adds to *count the line feeds in the stream's next `size` bytes; looks at
// `stop` (when not null) between two reads.
LineCountOutcome count_stream_line_feeds(std::FILE* file, std::uint64_t size, std::int64_t* count,
                                         const std::atomic<bool>* stop) noexcept;

// The same, reading through the caller's block of block_size bytes.
LineCountOutcome count_stream_line_feeds_through(std::FILE* file, std::uint64_t size, char* block,
                                                 std::size_t block_size, std::int64_t* count,
                                                 const std::atomic<bool>* stop) noexcept;

// Opens `path` once more, on a stream of its own, and counts the line feeds
// in its first `size` bytes. `opened` is
// the run's stream on the same path: the count stands only when both opens
// reached the same file (device and inode), so a file replaced in between is
// never counted in place of the one read.
LineCount count_file_line_feeds(const char* path, std::FILE* opened, std::uint64_t size,
                                const std::atomic<bool>* stop) noexcept;

#endif
