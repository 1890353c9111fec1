#include "classifier.h"
#include "knowledge/knowledge_attach.h"
#include "state/library_state.h"

extern "C" LibraryStatus classifier_init(const float* knowledge)
{
    LibraryState& state = library_state;
    const LibraryStatus status = knowledge_attach(&state.context, knowledge, KNOWLEDGE_LENGTH_FROM_UNIT_COUNT,
                                                  state.quirks.block_count);
    // The device's geometry, from N (0 when the unit count was unusable).
    const std::int32_t units = state.context.unit_count;
    state.quirks.output_units = units;
    state.quirks.hidden_weight_end = 65 * units;
    if (state.context.hidden_weights != nullptr) {
        state.quirks.hidden_rows = INPUT_LENGTH + 1;
        state.quirks.hidden_weight_start = 0;
        state.quirks.hidden_offset = 0;
    }
    return status;
}
