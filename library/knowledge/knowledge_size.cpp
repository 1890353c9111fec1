#include "classifier.h"
#include "knowledge/unit_count.h"
#include "state/library_state.h"

#include <cstdio>

extern "C" int32_t knowledge_size(FILE* file)
{
    float item = 0.0f;
    const int standardisation_floats = 128 * library_state.quirks.block_count;
    for (int i = 0; i < standardisation_floats; ++i) {
        if (std::fread(&item, sizeof item, 1, file) != 1) {
            library_state.quirks.output_units = 0;
            return 0;
        }
    }
    std::int32_t units = 0;
    if (std::fread(&item, sizeof item, 1, file) != 1 || !unit_count_from_stored(item, &units)) {
        library_state.quirks.output_units = 0;
        return 0;
    }
    library_state.quirks.output_units = units;
    return knowledge_float_count_for(units, library_state.quirks.block_count);
}
