// The C library's own reading of a signal line, for differential tests and
// fuzzing of the signal reader: 64 "%f" scans, each followed by fgetc.
#ifndef OMBREL_C_LIBRARY_REFERENCE_H
#define OMBREL_C_LIBRARY_REFERENCE_H

#include "signal_line.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>

// *converted receives how many values converted before the line stopped.
inline bool reference_line(std::FILE* file, float* values, int* converted = nullptr)
{
    int done = 0;
    bool ok = true;
    for (; done < SIGNAL_LINE_VALUES; ++done) {
        if (std::fscanf(file, "%f", &values[done]) != 1) {
            ok = false;
            break;
        }
        (void)std::fgetc(file);
    }
    if (converted != nullptr) {
        *converted = done;
    }
    return ok;
}

// Bit for bit, except that two NaNs are equal whatever their sign and payload.
inline bool same_value(float a, float b)
{
    return (std::isnan(a) && std::isnan(b)) || std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

#endif
