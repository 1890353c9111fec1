// Exact float comparison for tests: bit for bit, or both NaN; a mismatch
// shows both values as hex floats.
#ifndef OMBREL_TEST_FLOAT_BITS_H
#define OMBREL_TEST_FLOAT_BITS_H

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

inline std::string hex_float(float v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%a", static_cast<double>(v));
    return text;
}

inline ::testing::AssertionResult same_float(float expected, float actual)
{
    if (std::isnan(expected) && std::isnan(actual)) {
        return ::testing::AssertionSuccess();
    }
    if (std::memcmp(&expected, &actual, sizeof(float)) == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "expected " << hex_float(expected) << ", got " << hex_float(actual);
}

#endif
