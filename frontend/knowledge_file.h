#ifndef OMBREL_KNOWLEDGE_FILE_H
#define OMBREL_KNOWLEDGE_FILE_H

#include <cstdint>

// Opens, sizes, loads and attaches the knowledge at `path` (null when the
// word is absent), and closes the file. Returns 0 when the knowledge is
// attached with STATUS_OK; otherwise prints the failure's error block and
// returns the exit status. The knowledge buffer lives until the process
// ends, or until the next load or knowledge_file_release.
int load_knowledge_file(const char* path) noexcept;

// Frees the knowledge buffer: only for harnesses that run the program more
// than once in one process. The library must not classify before the next load.
void knowledge_file_release() noexcept;

// The attached knowledge and its length in floats (null and 0 when none is):
// for classifier contexts over the same knowledge.
const float* knowledge_file_floats(std::int32_t* float_count) noexcept;

#endif
