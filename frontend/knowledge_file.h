#ifndef OMBREL_KNOWLEDGE_FILE_H
#define OMBREL_KNOWLEDGE_FILE_H

// Opens, sizes, loads and attaches the knowledge at `path` (null when the
// word is absent), printing the error block of any failure. Returns true when
// the knowledge is attached with STATUS_OK.
bool load_knowledge_file(const char* path) noexcept;

#endif
