#include "engine/standardise_signal.h"

void standardise_signal(const float* input, const float* means, const float* scales, float* output,
                        std::int32_t length) noexcept
{
    // Positions are independent, so the compiler may run this four wide.
    for (std::int32_t i = 0; i < length; ++i) {
        const float difference = input[i] - means[i];
        output[i] = difference * scales[i];
    }
}
