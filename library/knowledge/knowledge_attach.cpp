#include "knowledge/knowledge_attach.h"

#include "knowledge/knowledge_layout.h"
#include "knowledge/unit_count.h"
#include "state/library_state.h"

LibraryStatus knowledge_attach(const float* knowledge) noexcept
{
    LibraryState& state = library_state;
    std::int32_t units = 0;
    if (!unit_count_from_stored(knowledge[128 * state.block_count], &units)) {
        state.layout = KnowledgeLayout{};
        state.unit_count = 0;
        state.hidden_units = 0;
        state.hidden_weight_end = 0;
        return STATUS_KNOWLEDGE_MISMATCH;
    }
    // Views and geometry are set before the comparison: a refused knowledge
    // leaves them in place (the status gate then refuses to classify).
    state.layout = knowledge_layout_for(knowledge, state.block_count, units);
    state.hidden_offset = 0;
    state.hidden_weight_start = 0;
    state.hidden_rows = INPUT_LENGTH + 1;
    state.unit_count = units;
    state.hidden_units = units;
    state.hidden_weight_end = 65 * units;
    return configuration_matches(state.layout.configuration) ? STATUS_OK : STATUS_KNOWLEDGE_MISMATCH;
}
