// Standardisation, the two layers and the whole call, against hand-checked
// values and against plain scalar loops in the documented order.
#include "classifier.h"
#include "classifier_context.h"
#include "engine/engine.h"
#include "support/float_bits.h"
#include "support/knowledge_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

void attach(const std::vector<float>& image)
{
    ASSERT_EQ(classifier_init(image.data()), STATUS_OK);
}

// The network's views into a knowledge image, as the kernels take them.
struct ImageViews {
    const float* means;
    const float* scales;
    const float* hidden_weights;
    const float* hidden_biases;
    const float* output_weights;
    const float* output_biases;
    int units;
};

ImageViews views_of(const std::vector<float>& image, int units)
{
    const float* base = image.data();
    return {base, base + 64, base + 129, base + 129 + 64 * units, base + 129 + 65 * units,
            base + 129 + 69 * units, units};
}

void hidden_of(const ImageViews& v, const float* features, float* hidden)
{
    hidden_layer(features, INPUT_LENGTH, v.hidden_weights, v.hidden_biases, v.units, hidden);
}

void scores_of(const ImageViews& v, const float* hidden, float* scores)
{
    output_layer(hidden, v.units, v.output_weights, v.output_biases, scores);
}

// The documented computation written as plain scalar loops.
void reference_run(const TestNetwork& n, const float* input, float* probabilities, std::uint16_t* class_id)
{
    float features[INPUT_LENGTH];
    for (int i = 0; i < INPUT_LENGTH; ++i) {
        const float d = input[i] - n.means[static_cast<std::size_t>(i)];
        features[i] = d * n.scales[static_cast<std::size_t>(i)];
    }
    float hidden[HIDDEN_CAPACITY];
    for (int j = 0; j < n.units; ++j) {
        float h = n.hidden_biases[static_cast<std::size_t>(j)];
        for (int i = 0; i < INPUT_LENGTH; ++i) {
            const float product = n.hidden_weights[static_cast<std::size_t>(i * n.units + j)] * features[i];
            h = h + product;
        }
        hidden[j] = static_cast<float>(std::tanh(static_cast<double>(h)));
    }
    for (int k = 0; k < CLASS_COUNT; ++k) {
        float s = n.output_biases[static_cast<std::size_t>(k)];
        for (int j = 0; j < n.units; ++j) {
            const float product = hidden[j] * n.output_weights[static_cast<std::size_t>(j * 4 + k)];
            s = s + product;
        }
        probabilities[k] = s;
    }
    *class_id = static_cast<std::uint16_t>(softmax_decision(probabilities, CLASS_COUNT, SOFTMAX_FACTOR) + 1);
}

TEST(Standardise, SubtractsThenScales)
{
    TestNetwork n = plain_network(0);
    for (int i = 0; i < INPUT_LENGTH; ++i) {
        n.means[static_cast<std::size_t>(i)] = static_cast<float>(i);
        n.scales[static_cast<std::size_t>(i)] = i % 2 == 0 ? 2.0f : -0.5f;
    }
    n.scales[5] = 0.0f;
    float input[INPUT_LENGTH];
    for (int i = 0; i < INPUT_LENGTH; ++i) {
        input[i] = static_cast<float>(i); // equal to the means
    }
    input[2] = 10.0f;                                      // (10 - 2) * 2 = 16
    input[3] = -1.0f;                                      // (-1 - 3) * -0.5 = 2
    input[5] = std::numeric_limits<float>::infinity();     // inf * 0 = NaN
    input[7] = std::nanf("");
    float features[INPUT_LENGTH];
    standardise_signal(input, n.means.data(), n.scales.data(), features, INPUT_LENGTH);

    EXPECT_TRUE(same_float(0.0f, features[0]));
    EXPECT_TRUE(same_float(-0.0f, features[1])) << "zero difference times a negative scale";
    EXPECT_TRUE(same_float(16.0f, features[2]));
    EXPECT_TRUE(same_float(2.0f, features[3]));
    EXPECT_TRUE(std::isnan(features[5]));
    EXPECT_TRUE(std::isnan(features[7]));
}

TEST(FeatureWindow, CopiesSixtyFourValuesAtTheOffsetOrRefusesShortCounts)
{
    float source[INPUT_LENGTH];
    for (int i = 0; i < INPUT_LENGTH; ++i) {
        source[i] = static_cast<float>(i) - 0.5f;
    }
    source[9] = -0.0f;
    float destination[INPUT_LENGTH + 3] = {};
    EXPECT_TRUE(feature_window(source, destination, 3, 1000, 7));
    EXPECT_EQ(destination[2], 0.0f);
    EXPECT_EQ(std::memcmp(destination + 3, source, sizeof source), 0);

    float untouched[INPUT_LENGTH] = {};
    EXPECT_FALSE(feature_window(source, untouched, 0, 63, 0));
    EXPECT_EQ(untouched[0], 0.0f);
}

TEST(Layers, WholeNumberNetworkByHand)
{
    // Two units. Unit 0 sums 1*f0 + 2*f1 + bias -3; unit 1 is 0*... + bias 0.
    TestNetwork n = plain_network(2);
    n.hidden_weights[0 * 2 + 0] = 1.0f;
    n.hidden_weights[1 * 2 + 0] = 2.0f;
    n.hidden_biases = {-3.0f, 0.0f};
    // Output k = bias k + h0 * V[0][k] + h1 * V[1][k].
    n.output_weights = {1, 0, -1, 0, /* unit 1 */ 5, 5, 5, 5};
    n.output_biases = {0, 0, 0, 1};
    std::vector<float> image = knowledge_image(n);
    const ImageViews v = views_of(image, 2);

    float features[INPUT_LENGTH] = {};
    features[0] = 2.0f;
    features[1] = 0.5f; // pre-activation 2 + 1 - 3 = 0
    float hidden[HIDDEN_CAPACITY] = {};
    hidden_of(v, features, hidden);
    EXPECT_TRUE(same_float(0.0f, hidden[0]));
    EXPECT_TRUE(same_float(0.0f, hidden[1]));
    float scores[4] = {9, 9, 9, 9};
    scores_of(v, hidden, scores);
    EXPECT_TRUE(same_float(0.0f, scores[0]));
    EXPECT_TRUE(same_float(1.0f, scores[3]));

    features[1] = 10.0f; // 2 + 20 - 3 = 19: saturated
    hidden_of(v, features, hidden);
    EXPECT_TRUE(same_float(1.0f, hidden[0]));
    scores_of(v, hidden, scores);
    const float expected[4] = {1.0f, 0.0f, -1.0f, 1.0f};
    for (int k = 0; k < 4; ++k) {
        EXPECT_TRUE(same_float(expected[k], scores[k])) << "score " << k;
    }

    features[0] = -20.0f; // -20 + 20 - 3 = -3
    hidden_of(v, features, hidden);
    EXPECT_TRUE(same_float(-0x1.fd77d2p-1f, hidden[0])); // tanh(-3) = -0.99505475...
}

TEST(Layers, PreActivationsOfNinePointZeroTwoSaturate)
{
    TestNetwork n = plain_network(2);
    n.hidden_biases = {9.02f, -9.02f};
    std::vector<float> image = knowledge_image(n);
    float features[INPUT_LENGTH] = {};
    float hidden[HIDDEN_CAPACITY] = {};
    hidden_of(views_of(image, 2), features, hidden);
    EXPECT_TRUE(same_float(1.0f, hidden[0]));
    EXPECT_TRUE(same_float(-1.0f, hidden[1]));
}

TEST(ClassifierRun, NoHiddenUnitsGiveTheSoftmaxOfTheOutputBiases)
{
    TestNetwork n = plain_network(0);
    n.output_biases = {1, 2, 3, 4};
    std::vector<float> image = knowledge_image(n);
    attach(image);
    const float expected[4] = {0x1.463f3ap-22f, 0x1.7a46b2p-15f, 0x1.b69a5p-8f, 0x1.fc8cdap-1f};
    std::mt19937 generator(3);
    std::uniform_real_distribution<float> any(-1e6f, 1e6f);
    for (int trial = 0; trial < 3; ++trial) {
        float input[INPUT_LENGTH];
        for (float& v : input) v = any(generator);
        float probabilities[4];
        std::uint16_t class_id = 0;
        EXPECT_EQ(classifier_run(input, probabilities, &class_id), STATUS_OK);
        EXPECT_EQ(class_id, 4);
        for (int k = 0; k < 4; ++k) {
            EXPECT_TRUE(same_float(expected[k], probabilities[k]));
        }
    }
}

TEST(ClassifierRun, EqualsPlainScalarLoopsForEveryUnitCount)
{
    std::mt19937 generator(5);
    std::uniform_real_distribution<float> signal(-30.0f, 30.0f);
    for (int units = 0; units <= HIDDEN_CAPACITY; ++units) {
        TestNetwork n = random_network(units, static_cast<std::uint32_t>(100 + units));
        std::vector<float> image = knowledge_image(n);
        attach(image);
        for (int trial = 0; trial < 50; ++trial) {
            float input[INPUT_LENGTH];
            for (float& v : input) v = signal(generator);
            float expected[4];
            std::uint16_t expected_id = 0;
            reference_run(n, input, expected, &expected_id);
            float probabilities[4] = {};
            std::uint16_t class_id = 0;
            ASSERT_EQ(classifier_run(input, probabilities, &class_id), STATUS_OK);
            ASSERT_EQ(class_id, expected_id) << units << " units, trial " << trial;
            for (int k = 0; k < 4; ++k) {
                ASSERT_TRUE(same_float(expected[k], probabilities[k])) << units << " units, value " << k;
            }
        }
    }
}

TEST(ClassifierRun, ResultsDependOnlyOnTheSignal)
{
    TestNetwork n = random_network(23, 9);
    std::vector<float> image = knowledge_image(n);
    attach(image);
    float first[INPUT_LENGTH];
    float other[INPUT_LENGTH];
    for (int i = 0; i < INPUT_LENGTH; ++i) {
        first[i] = static_cast<float>(i % 7) - 3.0f;
        other[i] = static_cast<float>(i) * 1.5f;
    }
    float a[4] = {};
    float b[4] = {std::nanf(""), 1e30f, -1.0f, 0.0f}; // stale contents must not matter
    std::uint16_t id_a = 0;
    std::uint16_t id_b = 0;
    classifier_run(first, a, &id_a);
    float scratch[4];
    std::uint16_t scratch_id = 0;
    classifier_run(other, scratch, &scratch_id);
    classifier_run(first, b, &id_b);
    EXPECT_EQ(std::memcmp(a, b, sizeof a), 0);
    EXPECT_EQ(id_a, id_b);
}

TEST(ClassifierRun, ANaNInTheSignalGivesNaNProbabilitiesAndClassOne)
{
    TestNetwork n = random_network(4, 1);
    std::vector<float> image = knowledge_image(n);
    attach(image);
    float input[INPUT_LENGTH] = {};
    input[30] = std::nanf("");
    float probabilities[4];
    std::uint16_t class_id = 0;
    EXPECT_EQ(classifier_run(input, probabilities, &class_id), STATUS_OK);
    EXPECT_EQ(class_id, 1);
    for (float p : probabilities) {
        EXPECT_TRUE(std::isnan(p));
    }
}

TEST(ClassifierRun, ClassifiesUnderTheSelfTestWarningAndReturnsIt)
{
    TestNetwork n = plain_network(0);
    n.output_biases = {0, 9, 0, 0};
    std::vector<float> image = knowledge_image(n);
    ClassifierContext context;
    ASSERT_EQ(classifier_context_init(&context, image.data(), static_cast<std::int32_t>(image.size())), STATUS_OK);
    // The self-test cannot fail on IEEE arithmetic; the caller's own context
    // takes the status directly.
    context.status = STATUS_SELF_TEST_WARNING;
    const float input[INPUT_LENGTH] = {};
    float probabilities[4];
    std::uint16_t class_id = 0;
    EXPECT_EQ(classifier_context_run(&context, input, probabilities, &class_id), STATUS_SELF_TEST_WARNING);
    EXPECT_EQ(class_id, 2);
}

} // namespace

namespace {

// The hidden layer skips tanh where its rounded result is certainly +-1;
// around that threshold and beyond, it must still equal tanh rounded to float.
TEST(Layers, ActivationsEqualRoundedTanhAroundSaturation)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float pre_activations[] = {9.0f, 9.0999994f, 9.1f, 9.1000004f, 12.0f, 30.0f, 1e30f, inf,
                                     -9.0999994f, -9.1f, -22.0f, -inf, 0.0f, -1e-30f, 1e-30f, 0.5f};
    constexpr int units = static_cast<int>(sizeof pre_activations / sizeof pre_activations[0]);
    static_assert(units <= HIDDEN_CAPACITY);
    TestNetwork n = plain_network(units);
    n.hidden_biases.assign(pre_activations, pre_activations + units);
    std::vector<float> image = knowledge_image(n);
    float features[INPUT_LENGTH] = {};
    float hidden[HIDDEN_CAPACITY] = {};
    hidden_of(views_of(image, units), features, hidden);
    for (int j = 0; j < units; ++j) {
        const float expected = static_cast<float>(std::tanh(static_cast<double>(pre_activations[j])));
        EXPECT_TRUE(same_float(expected, hidden[j])) << "tanh of " << hex_float(pre_activations[j]);
    }
}

} // namespace
