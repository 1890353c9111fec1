// The batch entry against classifier_run, signal by signal: every count
// from 0 to 33 (two blocks of the widest vectors and one more) starting at
// every lane position, on every instruction set the processor has, special
// values, signed zeros in the knowledge and tied scores, and the status gate.
#include "classifier.h"
#include "classifier_context.h"
#include "engine/signal_lanes.h"
#include "support/float_bits.h"
#include "support/knowledge_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

constexpr float INF = std::numeric_limits<float>::infinity();

// Signals of mixed magnitudes (saturated and unsaturated units), a few
// values special; the first four carry one special kind each.
std::vector<float> awkward_signals(int count, std::uint32_t seed)
{
    const float specials[] = {std::nanf(""), INF, -INF, -0.0f, 0x1p-149f, -0x1.8p-130f, 3e38f, -1e30f};
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<float> signals(static_cast<std::size_t>(count) * INPUT_LENGTH);
    for (std::size_t i = 0; i < signals.size(); ++i) {
        const float scale = std::ldexp(1.0f, static_cast<int>(i / INPUT_LENGTH % 13) - 3);
        signals[i] = generator() % 61 == 0 ? specials[generator() % 8] : scale * value(generator);
    }
    signals[5] = std::nanf("");
    signals[INPUT_LENGTH + 9] = INF;
    for (int i = 0; i < INPUT_LENGTH; ++i) {
        signals[static_cast<std::size_t>(2 * INPUT_LENGTH + i)] = i % 2 ? 3e38f : -3e38f;
        signals[static_cast<std::size_t>(3 * INPUT_LENGTH + i)] = 0x1p-140f * static_cast<float>(i);
    }
    return signals;
}

// Random weights with signed zeros among them, output 3 a copy of output 1
// (their scores always tie), and output 4's bias -inf when `infinite`.
TestNetwork awkward_network(int units, std::uint32_t seed, bool infinite)
{
    TestNetwork n = random_network(units, seed);
    for (std::size_t i = 0; i < n.hidden_weights.size(); i += 7) {
        n.hidden_weights[i] = -0.0f;
    }
    for (float& b : n.hidden_biases) {
        b = seed % 2 ? -0.0f : b;
    }
    for (int j = 0; j < units; ++j) {
        n.output_weights[static_cast<std::size_t>(4 * j + 2)] = n.output_weights[static_cast<std::size_t>(4 * j)];
    }
    n.output_biases[2] = n.output_biases[0];
    n.output_biases[3] = infinite ? -INF : -0.0f;
    return n;
}

// The batch entry itself (no path), or signal_lanes on `path`.
struct Path {
    bool entry;
    SignalLanesPath path;
};

void run_batch(const ClassifierContext& context, Path path, const float* signals, int count, float* probabilities,
               std::uint16_t* ids)
{
    const auto n = static_cast<std::size_t>(count);
    if (path.entry) {
        ASSERT_EQ(classifier_context_run_batch(&context, signals, n, probabilities, ids), STATUS_OK);
        return;
    }
    const NetworkView network{context.hidden_weights, context.hidden_biases, INPUT_LENGTH, context.unit_count,
                              context.output_weights, context.output_biases, context.unit_count};
    signal_lanes_through(path.path, network, context.means, context.scales, signals, n, probabilities, ids);
}

void expect_batch_equals_runs(const ClassifierContext& context, Path path, const float* signals, int count,
                              const char* what)
{
    constexpr float SENTINEL = 12345.0f;
    std::vector<float> probabilities(static_cast<std::size_t>(count + 1) * CLASS_COUNT, SENTINEL);
    std::vector<std::uint16_t> ids(static_cast<std::size_t>(count + 1), 77);
    run_batch(context, path, signals, count, probabilities.data(), ids.data());
    for (int s = 0; s < count; ++s) {
        float expected[CLASS_COUNT];
        std::uint16_t expected_id = 0;
        classifier_run(signals + s * INPUT_LENGTH, expected, &expected_id);
        for (int k = 0; k < CLASS_COUNT; ++k) {
            ASSERT_TRUE(same_float(expected[k], probabilities[static_cast<std::size_t>(s * CLASS_COUNT + k)]))
                << what << ", count " << count << ", signal " << s << ", class " << k + 1;
        }
        ASSERT_EQ(ids[static_cast<std::size_t>(s)], expected_id) << what << ", count " << count << ", signal " << s;
    }
    for (int k = 0; k < CLASS_COUNT; ++k) {
        ASSERT_EQ(probabilities[static_cast<std::size_t>(count * CLASS_COUNT + k)], SENTINEL) << what;
    }
    ASSERT_EQ(ids[static_cast<std::size_t>(count)], 77) << what;
}

// The entry and every path this build and processor have.
std::vector<Path> paths_to_test()
{
    std::vector<Path> paths{{true, SignalLanesPath::PORTABLE}};
    for (SignalLanesPath path : {SignalLanesPath::PORTABLE, SignalLanesPath::AVX2, SignalLanesPath::AVX512}) {
        if (signal_lanes_path_available(path)) {
            paths.push_back({false, path});
        }
    }
    return paths;
}

TEST(ClassifierBatch, EveryCountAtEveryLaneEqualsOneSignalAtATime)
{
    constexpr int WIDEST = 16;
    const std::vector<float> signals = awkward_signals(2 * WIDEST + 1 + WIDEST, 3);
    const std::vector<Path> paths = paths_to_test();
    for (int units : {0, 1, 7, 8, 9, 12, 16, 23}) {
        for (int kind = 0; kind < 3; ++kind) {
            const auto seed = static_cast<std::uint32_t>(units * 3 + kind);
            const TestNetwork network = kind == 0 ? random_network(units, seed) : awkward_network(units, seed, kind == 2);
            std::vector<float> image = knowledge_image(network);
            ASSERT_EQ(classifier_init(image.data()), STATUS_OK);
            ClassifierContext context;
            ASSERT_EQ(classifier_context_init(&context, image.data(), static_cast<std::int32_t>(image.size())),
                      STATUS_OK);
            for (const Path path : paths) {
                const std::string what = std::to_string(units) + " units, network " + std::to_string(kind) +
                                         (path.entry ? ", entry" : ", path " + std::to_string(int(path.path)));
                for (int first = 0; first < WIDEST; ++first) {
                    for (int count = 0; count <= 2 * WIDEST + 1; ++count) {
                        expect_batch_equals_runs(context, path, signals.data() + first * INPUT_LENGTH, count,
                                                 (what + ", first signal " + std::to_string(first)).c_str());
                    }
                }
            }
        }
    }
}

TEST(ClassifierBatch, RefusesAsTheContextDoesAndWritesNothing)
{
    TestNetwork mismatch = random_network(5, 1);
    mismatch.configuration[0] = 3.0f;
    std::vector<float> image = knowledge_image(mismatch);
    ClassifierContext context;
    ASSERT_EQ(classifier_context_init(&context, image.data(), static_cast<std::int32_t>(image.size())),
              STATUS_KNOWLEDGE_MISMATCH);
    const std::vector<float> signals = awkward_signals(9, 1);
    float probabilities[9 * CLASS_COUNT];
    std::uint16_t ids[9];
    std::fill(std::begin(probabilities), std::end(probabilities), 5.0f);
    std::fill(std::begin(ids), std::end(ids), 9);
    EXPECT_EQ(classifier_context_run_batch(&context, signals.data(), 9, probabilities, ids), STATUS_KNOWLEDGE_MISMATCH);
    // A failed self-test over no attached knowledge classifies nothing either.
    image[128] = 30.0f;
    ASSERT_EQ(classifier_context_init(&context, image.data(), static_cast<std::int32_t>(image.size())),
              STATUS_KNOWLEDGE_MISMATCH);
    context.status = STATUS_SELF_TEST_WARNING;
    EXPECT_EQ(classifier_context_run_batch(&context, signals.data(), 9, probabilities, ids), STATUS_SELF_TEST_WARNING);
    for (int s = 0; s < 9; ++s) {
        EXPECT_EQ(ids[s], 9);
        EXPECT_EQ(probabilities[s * CLASS_COUNT + 3], 5.0f);
    }
}

} // namespace
