// The library's one process-wide record. Statically initialised, never
// allocated, reset or freed; written by the knowledge passes and
// classifier_init, read by the engine.
#ifndef OMBREL_LIBRARY_STATE_H
#define OMBREL_LIBRARY_STATE_H

#include "classifier.h"
#include "knowledge/knowledge_layout.h"

#include <cstdint>

struct LibraryState {
    LibraryStatus status;
    std::uint8_t block_count; // standardisation blocks B; always 1, never written
    KnowledgeLayout layout;
    // Hidden-layer geometry, set by classifier_init.
    std::int32_t unit_count;          // N, read by the output layer
    std::int32_t hidden_units;        // N, read by the hidden layer
    std::int32_t hidden_rows;         // INPUT_LENGTH input rows + 1 bias row
    std::int32_t hidden_weight_start; // index of the weight of input 0, unit 0
    std::int32_t hidden_weight_end;   // 65*N: past the weights and the biases
    std::int32_t hidden_offset;       // first activation in the hidden buffer
    // Working buffers of one classification, rewritten by every call.
    float standardised[INPUT_LENGTH];
    float features[INPUT_LENGTH];
    float hidden[HIDDEN_CAPACITY];
};

extern LibraryState library_state;

// The statuses under which a classification runs: STATUS_OK, and
// STATUS_SELF_TEST_WARNING for a caller that accepts it.
inline bool status_classifies(LibraryStatus status) noexcept
{
    return status == STATUS_OK || status == STATUS_SELF_TEST_WARNING;
}

#endif
