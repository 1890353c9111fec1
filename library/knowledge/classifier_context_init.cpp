#include "classifier_context.h"
#include "knowledge/knowledge_attach.h"

// A context always has one standardisation block, as the compiled library.
constexpr std::uint8_t CONTEXT_BLOCK_COUNT = 1;

extern "C" LibraryStatus classifier_context_init(ClassifierContext* context, const float* knowledge,
                                                 int32_t float_count)
{
    return knowledge_attach(context, knowledge, float_count, CONTEXT_BLOCK_COUNT);
}
