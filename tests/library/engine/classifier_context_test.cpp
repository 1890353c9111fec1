// Re-entrant classification: the same bits as classifier_run, from any
// number of contexts and threads, and the same refusals.
#include "classifier.h"
#include "classifier_context.h"
#include "support/float_bits.h"
#include "support/knowledge_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <thread>
#include <vector>

namespace {

std::int32_t size_of(const std::vector<float>& image)
{
    return static_cast<std::int32_t>(image.size());
}

// Random signals with the special values among them.
std::vector<float> special_signals(int count, std::uint32_t seed)
{
    const float specials[] = {std::nanf(""), std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(), -0.0f, 0x1p-149f, -0x1.8p-130f, 3e38f};
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> value(-40.0f, 40.0f);
    std::vector<float> signals(static_cast<std::size_t>(count) * INPUT_LENGTH);
    for (float& v : signals) {
        v = generator() % 97 == 0 ? specials[generator() % 7] : value(generator);
    }
    return signals;
}

TEST(ClassifierContext, EqualsClassifierRunAndTracesTheSameRun)
{
    const std::vector<float> signals = special_signals(40, 17);
    for (int units : {0, 1, 5, 23}) {
        std::vector<float> image = knowledge_image(random_network(units, static_cast<std::uint32_t>(units) + 3));
        ASSERT_EQ(classifier_init(image.data()), STATUS_OK);
        ClassifierContext context;
        ASSERT_EQ(classifier_context_init(&context, image.data(), size_of(image)), STATUS_OK);
        for (std::size_t s = 0; s < signals.size(); s += INPUT_LENGTH) {
            const float* input = signals.data() + s;
            float expected[CLASS_COUNT];
            float got[CLASS_COUNT];
            std::uint16_t expected_id = 0;
            std::uint16_t got_id = 0;
            classifier_run(input, expected, &expected_id);
            ASSERT_EQ(classifier_context_run(&context, input, got, &got_id), STATUS_OK);
            ASSERT_EQ(std::memcmp(expected, got, sizeof got), 0) << units << " units, signal " << s / 64;
            ASSERT_EQ(expected_id, got_id);

            ClassifierTrace trace;
            ASSERT_EQ(classifier_context_trace(&context, input, &trace), STATUS_OK);
            ASSERT_EQ(std::memcmp(trace.probabilities, got, sizeof got), 0);
            ASSERT_EQ(trace.class_id, got_id);
            ASSERT_EQ(trace.unit_count, units);
            ASSERT_EQ(std::memcmp(trace.hidden, context.hidden, sizeof(float) * static_cast<std::size_t>(units)), 0);
            ASSERT_EQ(std::memcmp(trace.standardised, context.standardised, sizeof trace.standardised), 0);
        }
    }
}

TEST(ClassifierContext, ThreadsGiveTheSequentialBits)
{
    constexpr int threads = 8;
    constexpr int signals_per_thread = 300;
    std::vector<std::vector<float>> images;
    for (int t = 0; t < threads; ++t) {
        images.push_back(knowledge_image(random_network(t * 3 % 24, static_cast<std::uint32_t>(t))));
    }
    const std::vector<float> signals = special_signals(threads * signals_per_thread, 5);
    std::vector<float> sequential(signals.size() / INPUT_LENGTH * CLASS_COUNT);
    std::vector<float> parallel(sequential.size());

    auto classify = [&](int t, std::vector<float>& out) {
        ClassifierContext context;
        classifier_context_init(&context, images[static_cast<std::size_t>(t)].data(),
                                size_of(images[static_cast<std::size_t>(t)]));
        for (int s = t * signals_per_thread; s < (t + 1) * signals_per_thread; ++s) {
            std::uint16_t id = 0;
            classifier_context_run(&context, signals.data() + s * INPUT_LENGTH,
                                   out.data() + s * CLASS_COUNT, &id);
        }
    };
    for (int t = 0; t < threads; ++t) {
        classify(t, sequential);
    }
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back(classify, t, std::ref(parallel));
    }
    for (std::thread& thread : pool) {
        thread.join();
    }
    EXPECT_EQ(std::memcmp(sequential.data(), parallel.data(), sequential.size() * sizeof(float)), 0);
}

TEST(ClassifierContext, RefusesWhatClassifierInitRefusesAndWhatIsTooShort)
{
    const std::vector<float> good = knowledge_image(random_network(3, 1));
    TestNetwork mismatch = plain_network(3);
    mismatch.configuration[18] = 21.0f;
    std::vector<float> unusable = good;
    unusable[128] = 24.0f;
    struct Case {
        const char* what;
        std::vector<float> floats;
        std::int32_t count;
    } cases[] = {
        {"configuration", knowledge_image(mismatch), size_of(good)},
        {"unit count", unusable, size_of(good)},
        {"cut before the unit count", good, 128},
        {"one float short", good, size_of(good) - 1},
        {"no floats", good, 0},
    };
    for (Case& c : cases) {
        // Exactly `count` floats: a read past them is reported by a sanitizer build.
        std::vector<float> exact(c.floats.begin(), c.floats.begin() + c.count);
        ClassifierContext context;
        EXPECT_EQ(classifier_context_init(&context, exact.data(), c.count), STATUS_KNOWLEDGE_MISMATCH) << c.what;
        float probabilities[CLASS_COUNT] = {7, 7, 7, 7};
        std::uint16_t id = 9;
        const float input[INPUT_LENGTH] = {};
        EXPECT_EQ(classifier_context_run(&context, input, probabilities, &id), STATUS_KNOWLEDGE_MISMATCH);
        EXPECT_EQ(probabilities[0], 7.0f);
        EXPECT_EQ(id, 9);
        // Were the self-test to fail, the status would read 129, which
        // classifies: with no knowledge attached the call must still refuse.
        if (std::strcmp(c.what, "unit count") == 0) {
            context.status = STATUS_SELF_TEST_WARNING;
            EXPECT_EQ(classifier_context_run(&context, input, probabilities, &id), STATUS_SELF_TEST_WARNING);
            EXPECT_EQ(id, 9);
        }
    }
    std::vector<float> longer = good;
    longer.push_back(1.0f); // floats past the knowledge are not read
    ClassifierContext context;
    EXPECT_EQ(classifier_context_init(&context, longer.data(), size_of(longer)), STATUS_OK);
}

} // namespace
