#include "classifier_context.h"
#include "knowledge/knowledge_attach.h"
#include "knowledge/knowledge_layout.h"
#include "knowledge/unit_count.h"

// A context always has one standardisation block, as the compiled library.
constexpr std::uint8_t CONTEXT_BLOCK_COUNT = 1;

namespace {

LibraryStatus check_and_attach(ClassifierContext* context, const float* knowledge,
                               std::int32_t float_count) noexcept
{
    context->means = nullptr;
    context->unit_count = 0;
    const std::int32_t unit_index = 128 * CONTEXT_BLOCK_COUNT;
    std::int32_t units = 0;
    if (float_count <= unit_index || !unit_count_from_stored(knowledge[unit_index], &units) ||
        float_count < knowledge_float_count_for(units, CONTEXT_BLOCK_COUNT)) {
        return STATUS_KNOWLEDGE_MISMATCH;
    }
    const KnowledgeLayout layout = knowledge_layout_for(knowledge, CONTEXT_BLOCK_COUNT, units);
    if (!configuration_matches(layout.configuration)) {
        return STATUS_KNOWLEDGE_MISMATCH;
    }
    context->unit_count = units;
    context->means = layout.means;
    context->scales = layout.scales;
    context->hidden_weights = layout.hidden_weights;
    context->hidden_biases = layout.hidden_weights + 64 * units;
    context->output_weights = layout.output_weights;
    context->output_biases = layout.output_weights + 4 * units;
    return STATUS_OK;
}

} // namespace

extern "C" LibraryStatus classifier_context_init(ClassifierContext* context, const float* knowledge,
                                                 int32_t float_count)
{
    context->status = check_and_attach(context, knowledge, float_count);
    if (!float_self_test()) {
        context->status = STATUS_SELF_TEST_WARNING;
    }
    return context->status;
}
