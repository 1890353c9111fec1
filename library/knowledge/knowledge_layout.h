// Where each section of a knowledge lies, and the check of its configuration.
#ifndef OMBREL_KNOWLEDGE_LAYOUT_H
#define OMBREL_KNOWLEDGE_LAYOUT_H

#include <cstdint>

// Read-only views into a caller's knowledge buffer, for B standardisation
// blocks and N hidden units; null until attached.
struct KnowledgeLayout {
    const float* means;             // knowledge + 0, INPUT_LENGTH floats
    const float* scales;            // knowledge + 64*B, INPUT_LENGTH floats
    const float* stored_unit_count; // knowledge + 128*B, one float
    const float* hidden_weights;    // knowledge + 128*B + 1: 64*N weights, then N biases
    const float* output_weights;    // hidden_weights + 65*N: 4*N weights, then 4 biases
    const float* configuration;     // output_weights + 4*N + 4, CONFIGURATION_LENGTH floats
};

// The views of a knowledge of `units` hidden units. Reads nothing.
KnowledgeLayout knowledge_layout_for(const float* knowledge, std::uint8_t block_count,
                                     std::int32_t units) noexcept;

// Compares configuration[0 .. CONFIGURATION_LENGTH-1] with
// EXPECTED_CONFIGURATION as floats (-0.0 equals 0, NaN never matches), index
// 0 first, and stops reading at the first difference.
bool configuration_matches(const float* configuration) noexcept;

#endif
