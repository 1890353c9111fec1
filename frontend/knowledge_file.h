#ifndef OMBREL_KNOWLEDGE_FILE_H
#define OMBREL_KNOWLEDGE_FILE_H

#include "classifier_context.h"
#include "output_writer.h"

#include <cstdint>

// One run's knowledge: read from its file into a buffer of its own, and the
// classifier context that points into it. Runs at once in one process each
// have their own.
struct KnowledgeFile {
    float* floats; // null when none is loaded
    std::int32_t float_count;
    ClassifierContext context;
};

// Opens, sizes and loads the knowledge at `path` (null when the word is
// absent), closes the file and checks the knowledge as classifier_init
// does (classifier_context_init). Returns 0 when it is accepted with
// STATUS_OK; otherwise prints the failure's error block to `out`, returns
// the exit status and leaves *knowledge empty. Release it with
// knowledge_file_free.
int knowledge_file_read(const char* path, KnowledgeFile* knowledge, OutputWriter* out) noexcept;

void knowledge_file_free(KnowledgeFile* knowledge) noexcept;

// For an embedder or a harness that classifies through the library's
// process-wide record (classifier_run): reads the knowledge as above and
// attaches it with classifier_init. The knowledge buffer lives until the
// process ends, or until the next load or knowledge_file_release.
// A load is one transaction: one that fails before classifier_init (the file
// cannot be read, its unit count is unusable, no buffer) leaves the previous
// knowledge attached as it was, usable when it was accepted; a knowledge
// that classifier_init refuses replaces it, and the library then refuses to
// classify. Never does the library point into a freed buffer.
int load_knowledge_file(const char* path, OutputWriter* out) noexcept;

// Frees the attached knowledge buffer. The library must not classify
// before the next load.
void knowledge_file_release() noexcept;

#endif
