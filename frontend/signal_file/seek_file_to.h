// Seeking a stream by 64-bit offsets, beyond 2 GiB on every platform (long
// has 32 bits on Windows).
#ifndef OMBREL_SIGNAL_FILE_SEEK_FILE_TO_H
#define OMBREL_SIGNAL_FILE_SEEK_FILE_TO_H

#include <cstdint>
#include <cstdio>

// Sets the stream to a byte offset from the start; false when it fails.
bool seek_file_to(std::FILE* file, std::int64_t offset) noexcept;

// Sets the stream to the file's end; false when it fails.
bool seek_file_to_end(std::FILE* file) noexcept;

#endif
