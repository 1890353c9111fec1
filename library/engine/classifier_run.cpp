#include "classifier.h"
#include "engine/engine.h"
#include "state/library_state.h"

extern "C" LibraryStatus classifier_run(const float* input, float* probabilities, uint16_t* class_id)
{
    const LibraryStatus status = library_state.status;
    // A refused unit count leaves no knowledge attached (null views); a
    // failed self-test after it must not make the engine read through them.
    if ((status != STATUS_OK && status != STATUS_SELF_TEST_WARNING) || library_state.layout.means == nullptr) {
        return status;
    }
    standardise_signal(input, library_state.features);
    *class_id = static_cast<uint16_t>(network_forward(library_state.features, probabilities));
    return library_state.status;
}
