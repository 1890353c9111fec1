// The soft-max decision on hand-checkable scores. Expected probabilities are
// exp(5 * (score - max)) in double, each step rounded to float, as hex floats.
#include "engine/engine.h"
#include "support/float_bits.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

#include <cmath>
#include <limits>

namespace {

struct SoftmaxCase {
    const char* name;
    float scores[4];
    float probabilities[4];
    std::int32_t winner;
};

TEST(SoftmaxDecision, FourScoresWithFactorFive)
{
    const SoftmaxCase cases[] = {
        {"ascending", {1, 2, 3, 4}, {0x1.463f3ap-22f, 0x1.7a46b2p-15f, 0x1.b69a5p-8f, 0x1.fc8cdap-1f}, 3},
        {"all equal", {2, 2, 2, 2}, {0.25f, 0.25f, 0.25f, 0.25f}, 0},
        {"tie for the highest", {3, 3, 1, 3}, {0x1.555404p-2f, 0x1.555404p-2f, 0x1.fbc83p-17f, 0x1.555404p-2f}, 0},
        // 1e-9 is the larger score, but both round to probability 0.5 and the first wins.
        {"equal after rounding", {0, 1e-9f, -10, -10}, {0.5f, 0.5f, 0x1.d257d6p-74f, 0x1.d257d6p-74f}, 0},
        {"far below the maximum", {0, 0, 0, -21}, {0x1.555556p-2f, 0x1.555556p-2f, 0x1.555556p-2f, 0.0f}, 0},
        {"negative infinity", {-std::numeric_limits<float>::infinity(), 1, 1, 1},
         {0.0f, 0x1.555556p-2f, 0x1.555556p-2f, 0x1.555556p-2f}, 1},
    };
    for (const SoftmaxCase& c : cases) {
        float values[4] = {c.scores[0], c.scores[1], c.scores[2], c.scores[3]};
        EXPECT_EQ(softmax_decision(values, 4, 5), c.winner) << c.name;
        for (int k = 0; k < 4; ++k) {
            EXPECT_TRUE(same_float(c.probabilities[k], values[k])) << c.name << ", value " << k;
        }
    }
}

// Scores that are not whole numbers: the differences (score - max) are
// rounded before the factor multiplies them, and differ in the last bits
// from score*5 - max*5, which these expectations would not match.
// Expectations: float32 steps of the same formula outside the library
// (numpy float32, exp in double rounded to float).
TEST(SoftmaxDecision, FractionalScoresSubtractTheMaximumBeforeTheFactor)
{
    const SoftmaxCase cases[] = {
        {"tenths", {0x1.99999ap-4f, 0x1.666666p-1f, -0x1.333334p-2f, 0x1.ccccccp-2f},
         {0x1.2faefp-5f, 0x1.7d3a44p-1f, 0x1.48caep-8f, 0x1.b4e4e8p-3f}, 1},
        {"maximum first", {0x1.333334p-2f, -0x1.b33334p+0f, 0x1.99999ap-3f, 0x1.99999ap-4f},
         {0x1.034fep-1f, 0x1.81c4f6p-16f, 0x1.3a8fb4p-2f, 0x1.7d950ap-3f}, 0},
        {"above one", {0x1.19999ap+0f, 0x1.4cccccp+0f, 0x1.ccccccp-1f, 0x1.4p+0f},
         {0x1.4a278p-3f, 0x1.c0b9ep-2f, 0x1.e5d3ecp-5f, 0x1.5d77e2p-2f}, 1},
    };
    for (const SoftmaxCase& c : cases) {
        float values[4] = {c.scores[0], c.scores[1], c.scores[2], c.scores[3]};
        EXPECT_EQ(softmax_decision(values, 4, 5), c.winner) << c.name;
        for (int k = 0; k < 4; ++k) {
            EXPECT_TRUE(same_float(c.probabilities[k], values[k])) << c.name << ", value " << k;
        }
    }
}

TEST(SoftmaxDecision, NaNOrPositiveInfinityMakesEveryProbabilityNaN)
{
    // Whatever NaN comes in (a negative one with a payload, or inf - inf's
    // own), the probabilities are the one quiet NaN 0x7fc00000.
    const float nan = -std::nanf("0x123");
    const float inf = std::numeric_limits<float>::infinity();
    const float inputs[][4] = {{nan, 1, 2, 3}, {1, 2, nan, 3}, {1, inf, 2, 3}};
    for (const auto& scores : inputs) {
        float values[4] = {scores[0], scores[1], scores[2], scores[3]};
        EXPECT_EQ(softmax_decision(values, 4, 5), 0);
        for (float v : values) {
            EXPECT_EQ(std::bit_cast<std::uint32_t>(v), 0x7fc00000u);
        }
    }
}

TEST(SoftmaxDecision, CountsZeroAndOne)
{
    float untouched[2] = {3.0f, -2.0f};
    EXPECT_EQ(softmax_decision(untouched, 0, 5), 0);
    EXPECT_EQ(untouched[0], 3.0f);
    EXPECT_EQ(untouched[1], -2.0f);

    float single = -123.5f;
    EXPECT_EQ(softmax_decision(&single, 1, 5), 0);
    EXPECT_EQ(single, 1.0f);
}

TEST(SoftmaxDecision, FactorScalesTheDifferences)
{
    // Factor 1 on (0, ln 3-ish): exp(-1) against 1, hand-checkable in double.
    float values[2] = {0.0f, 1.0f};
    EXPECT_EQ(softmax_decision(values, 2, 1), 1);
    const float e = static_cast<float>(std::exp(-1.0));
    const float r = 1.0f / (e + 1.0f);
    EXPECT_TRUE(same_float(e * r, values[0]));
    EXPECT_TRUE(same_float(r, values[1]));
}

} // namespace
