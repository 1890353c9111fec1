#include "engine/engine.h"
#include "state/library_state.h"

void standardise_signal(const float* input, float* features) noexcept
{
    LibraryState& state = library_state;
    const float* means = state.layout.means;
    const float* scales = state.layout.scales;
    // Positions are independent, so the compiler may run this four wide.
    for (int i = 0; i < INPUT_LENGTH; ++i) {
        const float difference = input[i] - means[i];
        state.standardised[i] = difference * scales[i];
    }
    feature_window(state.standardised, features, 0, INPUT_LENGTH, 0);
}
