#ifndef OMBREL_INPUT_FILE_H
#define OMBREL_INPUT_FILE_H

#include <cstdio>

// Opens `path` for reading in binary mode. A directory, or a file whose end
// cannot be sought, counts as a file that cannot be opened: null.
// Otherwise *empty tells whether the file holds no byte, and the stream is
// at its start.
std::FILE* open_input_file(const char* path, bool* empty) noexcept;

#endif
