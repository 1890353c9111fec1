#include "engine/softmax_decision.h"
#include "engine/float_elementary.h"

#include <limits>

// Processors differ in the NaN that an operation on a NaN returns (x86 keeps
// an operand's sign and payload, or gives a negative NaN of its own; the
// device's FPU and libraries give 0x7fc00000), so a NaN probability is always
// this one: every platform gives the same bits.
constexpr float PROBABILITY_NAN = std::numeric_limits<float>::quiet_NaN();
static_assert(std::numeric_limits<float>::is_iec559);

std::int32_t softmax_decision(float* values, std::uint32_t count, std::int8_t factor) noexcept
{
    if (count == 0) {
        return 0;
    }
    // Strict ordered comparisons throughout: the first of equal values wins
    // and a NaN never wins.
    float maximum = values[0];
    for (std::uint32_t i = 1; i < count; ++i) {
        if (values[i] > maximum) {
            maximum = values[i];
        }
    }
    const float f = static_cast<float>(factor);
    float sum = 0.0f;
    for (std::uint32_t i = 0; i < count; ++i) {
        float t = values[i] - maximum;
        t = t * f;
        const float e = float_exp(t);
        values[i] = e;
        sum = sum + e;
    }
    const float reciprocal = 1.0f / sum;
    for (std::uint32_t i = 0; i < count; ++i) {
        const float probability = values[i] * reciprocal;
        values[i] = probability == probability ? probability : PROBABILITY_NAN;
    }
    float best = values[0];
    std::int32_t index = 0;
    for (std::uint32_t i = 1; i < count; ++i) {
        if (values[i] > best) {
            best = values[i];
            index = static_cast<std::int32_t>(i);
        }
    }
    return index;
}
