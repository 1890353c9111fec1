#include "knowledge/knowledge_layout.h"

#include "classifier.h"

KnowledgeLayout knowledge_layout_for(const float* knowledge, std::uint8_t block_count,
                                     std::int32_t units) noexcept
{
    KnowledgeLayout layout;
    layout.means = knowledge;
    layout.scales = knowledge + 64 * block_count;
    layout.stored_unit_count = knowledge + 128 * block_count;
    layout.hidden_weights = layout.stored_unit_count + 1;
    layout.output_weights = layout.hidden_weights + 65 * units;
    layout.configuration = layout.output_weights + 4 * units + 4;
    return layout;
}

bool configuration_matches(const float* configuration) noexcept
{
    for (int i = 0; i < CONFIGURATION_LENGTH; ++i) {
        // Ordered equality: NaN never matches, -0.0 matches 0.
        if (!(configuration[i] == EXPECTED_CONFIGURATION[i])) {
            return false;
        }
    }
    return true;
}
