#include "classifier.h"

#include <cstdio>
#include <cstring>

extern "C" void knowledge_load(FILE* file, float* knowledge, int32_t float_count)
{
    // An item is copied only when all four of its bytes were read, so a file
    // that ends inside a float leaves that float at its zero.
    for (int32_t i = 0; i < float_count; ++i) {
        float item;
        if (std::fread(&item, sizeof item, 1, file) == 1) {
            std::memcpy(&knowledge[i], &item, sizeof item);
        }
    }
}
