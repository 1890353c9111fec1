#include "classifier.h"
#include "engine/engine.h"

#include <cstring>

bool feature_window(const float* source, float* destination, std::uint16_t offset,
                    std::uint16_t count, std::uint16_t mode) noexcept
{
    (void)mode; // every mode copies when the count covers the whole signal
    if (count < INPUT_LENGTH) {
        return false;
    }
    std::memcpy(destination + offset, source, INPUT_LENGTH * sizeof(float));
    return true;
}
