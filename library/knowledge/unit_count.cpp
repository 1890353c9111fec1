#include "knowledge/unit_count.h"

#include "classifier.h"

bool unit_count_from_stored(float stored, std::int32_t* units) noexcept
{
    // Ordered comparisons: a NaN fails both.
    if (!(stored > -1.0f && stored < static_cast<float>(HIDDEN_CAPACITY + 1))) {
        return false;
    }
    *units = static_cast<std::int32_t>(stored);
    return true;
}

std::int32_t knowledge_float_count_for(std::int32_t units, std::uint8_t block_count) noexcept
{
    return 69 * units + 128 * block_count + 24;
}
