// The quick companion of the exhaustive test: the array form over every
// length a knowledge allows (all its paths, its padded last group, nothing
// written past `count`, in place), on arguments from every range the functions split,
// against glibc called directly; the single-precision forms on the same
// arguments and on some that their float evaluation leaves to the fallback;
// the double-lane tanh and exp at every lane width, each argument kind in
// every lane position.
#pragma GCC diagnostic ignored "-Wpsabi"

#include "classifier.h"
#include "engine/exp_lanes.h"
#include "engine/float_elementary.h"
#include "engine/float_single.h"
#include "support/float_bits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

namespace {

float glibc_tanh(float x)
{
    return static_cast<float>(std::tanh(static_cast<double>(x)));
}

TEST(FloatElementary, TanhArrayOfEveryLengthMatchesGlibc)
{
    std::mt19937 generator(3);
    std::uniform_int_distribution<std::uint32_t> any_bits;
    std::uniform_real_distribution<float> moderate(-10.0f, 10.0f);
    const float edge_arguments[] = {0.0f, -0.0f, 0x1p-13f, -0x1.fffffep-14f, 9.1f, -0x1.233332p+3f,
                              std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::denorm_min()};
    for (int round = 0; round < 50; ++round) {
        for (int count = 0; count <= HIDDEN_CAPACITY; ++count) {
            float input[HIDDEN_CAPACITY];
            float output[HIDDEN_CAPACITY + 1];
            for (int i = 0; i < count; ++i) {
                const std::uint32_t bits = any_bits(generator);
                std::memcpy(&input[i], &bits, sizeof bits);
                if (bits % 3 == 0) input[i] = moderate(generator);
                if (bits % 7 == 0) input[i] = edge_arguments[bits / 7 % std::size(edge_arguments)];
            }
            output[count] = 12345.0f;
            float_tanh_array(input, output, count);
            // In place too (the fallback lanes then read a copy of the input).
            float in_place[HIDDEN_CAPACITY];
            std::memcpy(in_place, input, sizeof in_place);
            float_tanh_array(in_place, in_place, count);
            for (int i = 0; i < count; ++i) {
                ASSERT_TRUE(same_float(glibc_tanh(input[i]), output[i])) << "tanh(" << hex_float(input[i]) << ")";
                ASSERT_TRUE(same_float(output[i], in_place[i])) << "in place, tanh(" << hex_float(input[i]) << ")";
                ASSERT_TRUE(same_float(glibc_tanh(input[i]), float_tanh(input[i])));
                ASSERT_TRUE(same_float(glibc_tanh(input[i]), tanh_single(input[i])));
            }
            ASSERT_EQ(output[count], 12345.0f) << "written past " << count;
        }
    }
}

TEST(FloatElementary, ExpAtItsThresholdsMatchesGlibc)
{
    const float arguments[] = {-104.5f, -0x1.9fffffp+6f, -103.9f, -103.2f, -87.5f, -87.0f, -0x1.5bfffep+6f,
                               -1e-8f, 0.0f, 0x1p-24f, 0x1p-25f, 1.0f, 88.5f, 88.7f, 88.72283f, 88.722839f,
                               89.0f, 0x1.640002p+6f, std::numeric_limits<float>::infinity(),
                               -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()};
    for (float x : arguments) {
        EXPECT_TRUE(same_float(static_cast<float>(std::exp(static_cast<double>(x))), float_exp(x)))
            << "exp(" << hex_float(x) << ")";
        EXPECT_TRUE(same_float(static_cast<float>(std::exp(static_cast<double>(x))), exp_single(x)))
            << "exp_single(" << hex_float(x) << ")";
    }
    // The array form in place, its fallback lanes among the others.
    float in_place[std::size(arguments)];
    std::memcpy(in_place, arguments, sizeof in_place);
    float_exp_array(in_place, in_place, static_cast<int>(std::size(arguments)));
    for (std::size_t i = 0; i < std::size(arguments); ++i) {
        EXPECT_TRUE(same_float(float_exp(arguments[i]), in_place[i])) << "in place, exp(" << hex_float(arguments[i]) << ")";
    }
}

TEST(FloatElementary, SinglePrecisionFallbacksMatchGlibc)
{
    float unused;
    for (float x : {0x1.8c0fbep-9f, -0x1.8c0fc2p-9f}) {
        EXPECT_FALSE(tanh_single_fast(x, &unused)) << hex_float(x);
        EXPECT_TRUE(same_float(glibc_tanh(x), tanh_single(x))) << "tanh_single(" << hex_float(x) << ")";
    }
    for (float x : {0x1.012e3cp+0f, -0x1.019b8ep+0f, -95.0f}) {
        EXPECT_FALSE(exp_single_fast(x, &unused)) << hex_float(x);
        EXPECT_TRUE(same_float(static_cast<float>(std::exp(static_cast<double>(x))), exp_single(x)))
            << "exp_single(" << hex_float(x) << ")";
    }
}

// Lanes of saturated, tiny, NaN, subnormal-result, near-midpoint and plain
// arguments mixed in every order: a lane's result never depends on its
// neighbours, nor a fallback on which lane needs it.
template <typename D, typename I>
void check_lanes(std::mt19937& generator)
{
    constexpr int lanes = static_cast<int>(sizeof(D) / sizeof(double));
    const float kinds[] = {0.5f, -20.0f, 0x1p-20f, std::numeric_limits<float>::quiet_NaN(), -95.0f, 89.5f,
                           0x1.8c0fbep-9f, 0x1.012e3cp+0f, -std::numeric_limits<float>::infinity()};
    std::uniform_int_distribution<std::size_t> kind(0, std::size(kinds));
    std::uniform_real_distribution<float> moderate(-12.0f, 12.0f);
    for (int round = 0; round < 2000; ++round) {
        float input[lanes];
        float tanh_output[lanes];
        float exp_output[lanes];
        for (float& x : input) {
            const std::size_t k = kind(generator);
            x = k < std::size(kinds) ? kinds[k] : moderate(generator);
        }
        tanh_lanes<D, I>(input, tanh_output);
        exp_float_lanes<D, I>(input, exp_output);
        for (int i = 0; i < lanes; ++i) {
            ASSERT_TRUE(same_float(glibc_tanh(input[i]), tanh_output[i]))
                << lanes << " lanes: tanh(" << hex_float(input[i]) << ") in lane " << i;
            ASSERT_TRUE(same_float(static_cast<float>(std::exp(static_cast<double>(input[i]))), exp_output[i]))
                << lanes << " lanes: exp(" << hex_float(input[i]) << ") in lane " << i;
        }
    }
}

TEST(FloatElementary, DoubleLanesAtEveryWidthMatchGlibc)
{
    std::mt19937 generator(11);
    check_lanes<Double1, Int1>(generator);
    check_lanes<Double2, Int2>(generator);
    check_lanes<Double4, Int4>(generator);
}

} // namespace
