// Opening a file for reading without ever blocking on it.
#ifndef OMBREL_SIGNAL_FILE_INPUT_FILE_H
#define OMBREL_SIGNAL_FILE_INPUT_FILE_H

#include <cstdint>
#include <cstdio>

// Opens `path` in binary mode when it names a regular file, or null. The
// open itself never waits: a FIFO without a writer, a device or a directory
// is refused at once.
std::FILE* open_regular_file(const char* path) noexcept;

// open_regular_file, then the file's size in bytes by seeking its end, and
// the stream back at its start. A file whose end cannot be sought counts as
// one that cannot be opened: null.
std::FILE* open_input_file(const char* path, std::uint64_t* size) noexcept;

#endif
