// The library's one process-wide record. Statically initialised, never
// allocated, reset or freed; written by the knowledge passes and
// classifier_init, read by the engine.
#ifndef OMBREL_LIBRARY_STATE_H
#define OMBREL_LIBRARY_STATE_H

#include "classifier.h"

#include <cstdint>

// Read-only views into the caller's knowledge buffer; null until attached.
struct KnowledgeLayout {
    const float* means;             // knowledge + 0, INPUT_LENGTH floats
    const float* scales;            // knowledge + 64*B, INPUT_LENGTH floats
    const float* stored_unit_count; // knowledge + 128*B, one float
    const float* hidden_weights;    // knowledge + 128*B + 1: 64*N weights, then N biases
    const float* output_weights;    // hidden_weights + 65*N: 4*N weights, then 4 biases
    const float* configuration;     // output_weights + 4*N + 4, CONFIGURATION_LENGTH floats
};

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

#endif
