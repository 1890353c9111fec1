#include "knowledge/knowledge_attach.h"

#include "knowledge/unit_count.h"
#include "state/library_state.h"

LibraryStatus knowledge_attach(const float* knowledge) noexcept
{
    LibraryState& state = library_state;
    const int32_t standardisation_floats = 128 * state.block_count;
    std::int32_t units = 0;
    if (!unit_count_from_stored(knowledge[standardisation_floats], &units)) {
        state.layout = KnowledgeLayout{};
        state.unit_count = 0;
        state.hidden_units = 0;
        state.hidden_weight_end = 0;
        return STATUS_KNOWLEDGE_MISMATCH;
    }

    KnowledgeLayout& layout = state.layout;
    layout.means = knowledge;
    layout.scales = knowledge + 64 * state.block_count;
    layout.stored_unit_count = knowledge + standardisation_floats;
    layout.hidden_weights = knowledge + standardisation_floats + 1;

    state.hidden_offset = 0;
    state.hidden_weight_start = 0;
    state.hidden_rows = INPUT_LENGTH + 1;
    state.unit_count = units;
    state.hidden_units = units;
    state.hidden_weight_end = 65 * units;

    layout.output_weights = layout.hidden_weights + 65 * units;
    layout.configuration = layout.output_weights + 4 * units + 4;

    for (int i = 0; i < CONFIGURATION_LENGTH; ++i) {
        // Ordered equality: NaN never matches, -0.0 matches 0.
        if (!(layout.configuration[i] == EXPECTED_CONFIGURATION[i])) {
            return STATUS_KNOWLEDGE_MISMATCH;
        }
    }
    return STATUS_OK;
}
