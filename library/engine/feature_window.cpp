#include "classifier.h"
#include "engine/feature_window.h"

#include <cstdint>
#include <cstring>

// The copy is a loop of 32-bit words (integer moves: no bit of a NaN
// changes), kept a loop: turned into a memcpy call it would bring the C
// library's copy routine, hundreds of bytes, into a device firmware.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("no-tree-loop-distribute-patterns")))
#endif
bool feature_window(const float* source, float* destination, std::uint16_t offset,
                    std::uint16_t count, std::uint16_t mode) noexcept
{
    (void)mode; // every mode copies when the count covers the whole signal
    if (count < INPUT_LENGTH) {
        return false;
    }
    for (int i = 0; i < INPUT_LENGTH; ++i) {
        std::uint32_t word;
        std::memcpy(&word, source + i, sizeof word);
        std::memcpy(destination + offset + i, &word, sizeof word);
    }
    return true;
}
