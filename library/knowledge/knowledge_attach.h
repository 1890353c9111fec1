#ifndef OMBREL_KNOWLEDGE_ATTACH_H
#define OMBREL_KNOWLEDGE_ATTACH_H

#include "classifier.h"
#include "classifier_context.h"

#include <cstdint>

// The float count for a knowledge whose length only its unit count tells:
// classifier_init's, sized by the sizing pass.
constexpr std::int32_t KNOWLEDGE_LENGTH_FROM_UNIT_COUNT = INT32_MAX;

// The one attach routine, behind classifier_init and classifier_context_init.
// Checks `knowledge` (float_count floats, with B = block_count
// standardisation blocks), points `context` into it without copying it, and
// runs the floating-point self-test. Writes only *context, and returns the
// status it stores there:
//   - STATUS_KNOWLEDGE_MISMATCH with every view null and N = 0 when
//     float_count ends before the unit count, the unit count is unusable, or
//     float_count is short of what N needs: nothing is read past the unit
//     count or past float_count;
//   - otherwise the views and N are set, and the configuration block is
//     compared with EXPECTED_CONFIGURATION (configuration_matches):
//     STATUS_OK when equal, STATUS_KNOWLEDGE_MISMATCH (views left in place)
//     when not;
//   - STATUS_SELF_TEST_WARNING replaces either when the self-test fails, and
//     then classifies over whatever views were set.
LibraryStatus knowledge_attach(ClassifierContext* context, const float* knowledge, std::int32_t float_count,
                               std::uint8_t block_count) noexcept;

#endif
