// The one classification run a process makes. All zero at start.
#ifndef OMBREL_RUN_STATE_H
#define OMBREL_RUN_STATE_H

#include "classifier.h"

#include <cstdint>

struct RunState {
    float input[INPUT_LENGTH];
    float probabilities[CLASS_COUNT];
    std::uint16_t class_id;
    std::int32_t class_counters[CLASS_COUNT + 1]; // by class id; [0] is "unclassified"
    std::int32_t signal_count;
    // Signal-file window, lines counted from 1.
    std::int32_t begin_line;
    std::int32_t end_line;
    std::int32_t line_count;
    std::int32_t current_line;
    float* knowledge; // lives until the process ends: the library points into it
};

extern RunState run_state;

// Back to the start values, releasing the knowledge buffer: only for harnesses
// that run the front end more than once in one process.
void run_state_reset() noexcept;

#endif
