#include "classifier.h"
#include "knowledge/knowledge_attach.h"
#include "state/library_state.h"

extern "C" LibraryStatus classifier_init(const float* knowledge)
{
    library_state.status = knowledge_attach(knowledge);
    if (!float_self_test()) {
        library_state.status = STATUS_SELF_TEST_WARNING;
    }
    return library_state.status;
}
