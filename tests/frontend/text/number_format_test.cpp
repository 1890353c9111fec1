#include "number_format.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

namespace {

std::string fixed2(float value)
{
    char out[FIXED2_BUFFER_SIZE];
    const std::size_t length = format_fixed2(value, out);
    EXPECT_EQ(out[length], '\0');
    return std::string(out, length);
}

std::string glibc_fixed2(float value)
{
    char out[64];
    std::snprintf(out, sizeof out, "%.2f", static_cast<double>(value));
    return out;
}

TEST(NumberFormat, HandCases)
{
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float value;
        const char* text;
    } cases[] = {
        {0.0f, "0.00"},      {-0.0f, "-0.00"},   {-0.001f, "-0.00"}, {0.125f, "0.12"},
        {0.375f, "0.38"},    {0.625f, "0.62"},   {-0.875f, "-0.88"}, {0.005f, "0.00"}, // 0.005f lies below 0.005
        {0.015f, "0.01"},    {1.0f, "1.00"},     {0.999f, "1.00"},   {99.995f, "100.00"},
        {1e-45f, "0.00"},    {8388608.0f, "8388608.00"},              {1e10f, "10000000000.00"},
        {inf, "inf"},        {-inf, "-inf"},
        {std::numeric_limits<float>::max(), "340282346638528859811704183484516925440.00"},
        {-std::numeric_limits<float>::max(), "-340282346638528859811704183484516925440.00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fixed2(c.value), c.text) << c.text;
        EXPECT_EQ(glibc_fixed2(c.value), c.text) << "reference disagrees on " << c.text;
    }
    for (const std::uint32_t bits : {0x7FC00000u, 0xFFC00000u, 0x7F800001u, 0xFFFFFFFFu}) {
        EXPECT_EQ(fixed2(std::bit_cast<float>(bits)), "nan") << std::hex << bits;
    }
}

// Every exponent, with random significands, and fully random bit patterns.
TEST(NumberFormat, MatchesCLibraryOnRandomFloats)
{
    std::mt19937 random(20240607);
    for (int i = 0; i < 600000; ++i) {
        std::uint32_t bits = static_cast<std::uint32_t>(random());
        if (i % 2 == 0) {
            // Magnitudes where two decimals matter: exponent fields 100 to 140.
            bits = (bits & 0x807FFFFFu) | ((100u + static_cast<std::uint32_t>(i / 2) % 41u) << 23);
        }
        const float value = std::bit_cast<float>(bits);
        if (std::isnan(value)) {
            continue;
        }
        ASSERT_EQ(fixed2(value), glibc_fixed2(value)) << std::hex << bits;
    }
}

// Values exactly halfway between two hundredths: k/100 + 1/200 is a binary
// fraction only when it is a multiple of 1/8, so these are the ties.
TEST(NumberFormat, TiesGoToEven)
{
    for (int eighths = -8000; eighths <= 8000; ++eighths) {
        const float value = static_cast<float>(eighths) / 8.0f;
        ASSERT_EQ(fixed2(value), glibc_fixed2(value)) << value;
    }
}

} // namespace
