#include "knowledge/knowledge_attach.h"

#include "knowledge/float_self_test.h"
#include "knowledge/knowledge_layout.h"
#include "knowledge/unit_count.h"

namespace {

LibraryStatus check_and_point(ClassifierContext* context, const float* knowledge, std::int32_t float_count,
                              std::uint8_t block_count) noexcept
{
    // Nothing attached until the checks pass. The working buffers are left as
    // they are: every classification writes them before reading them, and
    // clearing them would be a memset of 600 bytes that a device firmware
    // links only for this.
    context->unit_count = 0;
    context->means = nullptr;
    context->scales = nullptr;
    context->hidden_weights = nullptr;
    context->hidden_biases = nullptr;
    context->output_weights = nullptr;
    context->output_biases = nullptr;
    const std::int32_t unit_index = 128 * block_count;
    std::int32_t units = 0;
    if (float_count <= unit_index || !unit_count_from_stored(knowledge[unit_index], &units) ||
        float_count < knowledge_float_count_for(units, block_count)) {
        return STATUS_KNOWLEDGE_MISMATCH;
    }
    const KnowledgeLayout layout = knowledge_layout_for(knowledge, block_count, units);
    context->unit_count = units;
    context->means = layout.means;
    context->scales = layout.scales;
    context->hidden_weights = layout.hidden_weights;
    context->hidden_biases = layout.hidden_weights + 64 * units;
    context->output_weights = layout.output_weights;
    context->output_biases = layout.output_weights + 4 * units;
    return configuration_matches(layout.configuration) ? STATUS_OK : STATUS_KNOWLEDGE_MISMATCH;
}

} // namespace

LibraryStatus knowledge_attach(ClassifierContext* context, const float* knowledge, std::int32_t float_count,
                               std::uint8_t block_count) noexcept
{
    LibraryStatus status = check_and_point(context, knowledge, float_count, block_count);
    if (!float_self_test()) {
        status = STATUS_SELF_TEST_WARNING;
    }
    context->status = status;
    return status;
}
