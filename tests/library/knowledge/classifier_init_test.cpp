// Attaching a knowledge: the configuration check, the unit count, re-attaching.
#include "classifier.h"
#include "state/library_state.h"
#include "support/float_bits.h"
#include "support/knowledge_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

LibraryStatus init_with(const std::vector<float>& image)
{
    return classifier_init(image.data());
}

TEST(ClassifierInit, AcceptsTheExpectedConfigurationForEveryUsableUnitCount)
{
    for (int units = 0; units <= HIDDEN_CAPACITY; ++units) {
        std::vector<float> image = knowledge_image(random_network(units, 11));
        ASSERT_EQ(init_with(image), STATUS_OK) << units << " units";
        EXPECT_EQ(library_state.quirks.output_units, units);
        EXPECT_EQ(library_state.context.unit_count, units);
        EXPECT_EQ(library_state.quirks.hidden_weight_end, 65 * units);
        EXPECT_EQ(library_state.context.output_biases + CLASS_COUNT + CONFIGURATION_LENGTH,
                  image.data() + image.size());
    }
}

TEST(ClassifierInit, ComparesConfigurationValuesAsFloats)
{
    const float nan = std::nanf("");
    struct Case {
        int index;
        float value;
        LibraryStatus expected;
    } cases[] = {
        {3, -0.0f, STATUS_OK},          // -0.0 equals 0
        {18, 22.000002f, STATUS_KNOWLEDGE_MISMATCH},
        {18, nan, STATUS_KNOWLEDGE_MISMATCH},
        {15, 999999.94f, STATUS_KNOWLEDGE_MISMATCH},
        {0, 4.0000005f, STATUS_KNOWLEDGE_MISMATCH},
        {8, std::numeric_limits<float>::infinity(), STATUS_KNOWLEDGE_MISMATCH},
    };
    for (const Case& c : cases) {
        TestNetwork n = plain_network(2);
        n.configuration[static_cast<std::size_t>(c.index)] = c.value;
        EXPECT_EQ(init_with(knowledge_image(n)), c.expected) << "index " << c.index << " = " << c.value;
    }
}

TEST(ClassifierInit, StopsAtTheFirstDifferingValue)
{
    // The buffer ends right after configuration index 0: reading index 1
    // would run past it (a sanitizer build reports that).
    TestNetwork n = plain_network(1);
    n.configuration[0] = 5.0f;
    std::vector<float> image = knowledge_image(n);
    std::vector<float> cut(image.begin(), image.end() - (CONFIGURATION_LENGTH - 1));
    EXPECT_EQ(classifier_init(cut.data()), STATUS_KNOWLEDGE_MISMATCH);
}

TEST(ClassifierInit, RefusesAnUnusableUnitCountWithoutLookingPastIt)
{
    const float inf = std::numeric_limits<float>::infinity();
    for (float stored : {std::nanf(""), inf, -inf, -1.0f, -5.0f, 24.0f, 1000.0f, 1e10f, -1e9f, 2.2e9f}) {
        // Exactly the 129 floats up to the unit count.
        std::vector<float> header(129, 0.0f);
        header[128] = stored;
        EXPECT_EQ(classifier_init(header.data()), STATUS_KNOWLEDGE_MISMATCH) << "stored " << stored;
        EXPECT_EQ(library_state.context.hidden_weights, nullptr);
        EXPECT_EQ(library_state.quirks.output_units, 0);
    }
}

TEST(ClassifierInit, ATruncatedKnowledgeIsAMismatch)
{
    // What the loader leaves for a file 4 bytes short: the last float zero.
    std::vector<float> image = knowledge_image(plain_network(10));
    image.back() = 0.0f;
    EXPECT_EQ(init_with(image), STATUS_KNOWLEDGE_MISMATCH);
}

TEST(ClassifierInit, ASecondInitReplacesTheFirst)
{
    float probabilities[CLASS_COUNT] = {7.0f, 7.0f, 7.0f, 7.0f};
    std::uint16_t class_id = 9;
    const float input[INPUT_LENGTH] = {};

    TestNetwork bad = plain_network(1);
    bad.configuration[18] = 21.0f;
    std::vector<float> bad_image = knowledge_image(bad);
    ASSERT_EQ(classifier_init(bad_image.data()), STATUS_KNOWLEDGE_MISMATCH);
    EXPECT_EQ(classifier_run(input, probabilities, &class_id), STATUS_KNOWLEDGE_MISMATCH);
    EXPECT_EQ(probabilities[0], 7.0f);
    EXPECT_EQ(class_id, 9);

    // Output biases that make class 3 win with a probability of exactly 1.
    TestNetwork good = plain_network(0);
    good.output_biases = {0.0f, 0.0f, 100.0f, 0.0f};
    std::vector<float> good_image = knowledge_image(good);
    ASSERT_EQ(classifier_init(good_image.data()), STATUS_OK);
    EXPECT_EQ(classifier_run(input, probabilities, &class_id), STATUS_OK);
    EXPECT_EQ(class_id, 3);
    EXPECT_EQ(probabilities[2], 1.0f);
    EXPECT_EQ(probabilities[0], 0.0f);
}

} // namespace

namespace {

// The sizing pass writes the unit count that the output layer reads, so a
// knowledge_size between classifier_init and classifier_run changes the
// output layer's view: with N = 2 attached and a file of N = 1 sized, the
// output layer takes unit 0 alone and reads unit 1's weights as its biases,
// while the hidden layer still computes both units. Both activations are
// tanh(1) = 0x1.85efacp-1, so a unit too many would change the scores.
// Expected probabilities: float32 steps of the documented sums and soft-max,
// tanh and exp in double rounded to float, computed outside the library.
TEST(ClassifierInit, TheOutputLayerReadsTheCountOfTheLastSizingPass)
{
    TestNetwork n = plain_network(2);
    n.hidden_biases = {1.0f, 1.0f};
    n.output_weights = {0.25f, 0, 0, 0, /* unit 1 */ 0, 0.5f, 0, 0};
    n.output_biases = {2, 0, 0, 0};
    std::vector<float> image = knowledge_image(n);
    ASSERT_EQ(classifier_init(image.data()), STATUS_OK);
    const float input[INPUT_LENGTH] = {};
    const auto expect_run = [&](std::uint16_t expected_id, const float (&expected)[CLASS_COUNT]) {
        float probabilities[CLASS_COUNT];
        std::uint16_t class_id = 0;
        ASSERT_EQ(classifier_run(input, probabilities, &class_id), STATUS_OK);
        EXPECT_EQ(class_id, expected_id);
        for (int k = 0; k < CLASS_COUNT; ++k) {
            EXPECT_TRUE(same_float(expected[k], probabilities[k])) << "probability " << k;
        }
    };
    // scores 2 + h/4, h/2, 0, 0
    expect_run(1, {0x1.ffebfcp-1f, 0x1.ed47f6p-14f, 0x1.25f18ap-16f, 0x1.25f18ap-16f});

    std::FILE* file = temporary_file(image_bytes(knowledge_image(plain_network(1))));
    ASSERT_EQ(knowledge_size(file), 221);
    std::fclose(file);
    // scores h/4, 0.5, 0, 0
    expect_run(2, {0x1.3c5736p-3f, 0x1.73dd9ap-1f, 0x1.e864b8p-5f, 0x1.e864b8p-5f});
}

} // namespace
