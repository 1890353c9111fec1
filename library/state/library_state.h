// The library's one process-wide record, behind classifier_init,
// classifier_run and the sizing pass. Statically initialised, never
// allocated, reset or freed.
//
// It is a classifier context (status, views into the attached knowledge, the
// hidden layer's unit count, working buffers), attached by the same routine
// as any caller's context, plus the device's quirks: what the device's
// library keeps besides and reads in place of the context's own fields.
#ifndef OMBREL_LIBRARY_STATE_H
#define OMBREL_LIBRARY_STATE_H

#include "classifier.h"
#include "classifier_context.h"

#include <cstdint>

// The device keeps two copies of the unit count N: the hidden layer reads
// context.unit_count, written by classifier_init alone, and the output layer
// reads output_units, which the sizing pass writes too. The hidden layer's
// geometry is kept as indices into the knowledge rather than as the
// context's views. classifier_run computes from these fields; they agree
// with the context's views until a sizing pass runs between classifier_init
// and classifier_run.
struct DeviceQuirks {
    // Standardisation blocks B: the unit count sits at float 128*B. Always 1
    // and never written; read by the sizing pass and by classifier_init.
    std::uint8_t block_count;
    // N for the output layer: the count of its units and where its biases
    // start (output weights + 4*N). Written by the sizing pass (0 when it
    // refuses) and by classifier_init (0 for an unusable unit count).
    std::int32_t output_units;
    // INPUT_LENGTH input rows + 1 bias row; the hidden layer takes
    // hidden_rows - 1 inputs. Set by classifier_init for a usable count.
    std::int32_t hidden_rows;
    // Index, from the hidden weights, of the weight of input 0, unit 0: 0.
    std::int32_t hidden_weight_start;
    // 65*N: past the hidden weights and biases, which start at
    // hidden_weight_end - N. Set by classifier_init (0 for an unusable count).
    std::int32_t hidden_weight_end;
    // First activation in the hidden buffer: 0.
    std::int32_t hidden_offset;
};

struct LibraryState {
    ClassifierContext context;
    DeviceQuirks quirks;
};

extern LibraryState library_state;

// The statuses under which a classification runs: STATUS_OK, and
// STATUS_SELF_TEST_WARNING for a caller that accepts it.
inline bool status_classifies(LibraryStatus status) noexcept
{
    return status == STATUS_OK || status == STATUS_SELF_TEST_WARNING;
}

#endif
