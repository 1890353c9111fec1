// Ten million signals through the batch entry, and through each of its
// instruction-set paths the processor has, against classifier_run, compared
// bit for bit (NaN as NaN): signals of magnitudes from 2^-4 to 2^8
// (units from unsaturated to saturated, so the tanh and exp near float
// midpoints, a few in thousands, are met thousands of times), a value in
// 500 special. Prints the first mismatches and exits 1 if there is any.
#include "classifier.h"
#include "classifier_context.h"
#include "engine/signal_lanes.h"
#include "support/knowledge_builder.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

constexpr std::size_t SIGNALS = 10'000'000;
constexpr std::size_t CHUNK = 65'536;

bool same(float a, float b)
{
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

void fill(std::vector<float>& signals, std::mt19937& generator)
{
    const float specials[] = {std::nanf(""), std::numeric_limits<float>::infinity(), -0.0f, 0x1p-140f, 2e38f};
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (std::size_t s = 0; s < signals.size(); s += INPUT_LENGTH) {
        const float scale = std::ldexp(1.0f, static_cast<int>(generator() % 13) - 4);
        for (std::size_t i = s; i < s + INPUT_LENGTH; ++i) {
            signals[i] = generator() % 500 == 0 ? specials[generator() % 5] : scale * value(generator);
        }
    }
}

// Results of one way of classifying a chunk.
struct Results {
    std::vector<float> probabilities = std::vector<float>(CHUNK * CLASS_COUNT);
    std::vector<std::uint16_t> ids = std::vector<std::uint16_t>(CHUNK);
};

// Compares `got` with classifier_run's `expected`; prints the first mismatches.
std::size_t mismatches_of(const char* way, std::size_t first, std::size_t count, const Results& got,
                          const Results& expected, std::size_t earlier)
{
    std::size_t mismatches = 0;
    for (std::size_t s = 0; s < count; ++s) {
        bool equal = got.ids[s] == expected.ids[s];
        for (std::size_t k = s * CLASS_COUNT; k < (s + 1) * CLASS_COUNT; ++k) {
            equal = equal && same(got.probabilities[k], expected.probabilities[k]);
        }
        if (!equal && earlier + ++mismatches <= 10) {
            std::printf("%s, signal %zu: class %u against %u, first probability %a against %a\n", way, first + s,
                        static_cast<unsigned>(got.ids[s]), static_cast<unsigned>(expected.ids[s]),
                        static_cast<double>(got.probabilities[s * CLASS_COUNT]),
                        static_cast<double>(expected.probabilities[s * CLASS_COUNT]));
        }
    }
    return mismatches;
}

} // namespace

int main()
{
    std::vector<float> image = knowledge_image(random_network(HIDDEN_CAPACITY, 2026));
    ClassifierContext context;
    if (classifier_init(image.data()) != STATUS_OK ||
        classifier_context_init(&context, image.data(), static_cast<std::int32_t>(image.size())) != STATUS_OK) {
        std::puts("knowledge refused");
        return 1;
    }
    const NetworkView network{context.hidden_weights, context.hidden_biases, INPUT_LENGTH, context.unit_count,
                              context.output_weights, context.output_biases, context.unit_count};
    const SignalLanesPath paths[] = {SignalLanesPath::PORTABLE, SignalLanesPath::AVX2, SignalLanesPath::AVX512};
    const char* const path_names[] = {"portable", "AVX2", "AVX-512"};
    std::mt19937 generator(31);
    std::vector<float> signals(CHUNK * INPUT_LENGTH);
    Results expected, got;
    std::size_t mismatches = 0;
    for (std::size_t first = 0; first < SIGNALS; first += CHUNK) {
        const std::size_t count = SIGNALS - first < CHUNK ? SIGNALS - first : CHUNK;
        fill(signals, generator);
        for (std::size_t s = 0; s < count; ++s) {
            classifier_run(signals.data() + s * INPUT_LENGTH, expected.probabilities.data() + s * CLASS_COUNT,
                           &expected.ids[s]);
        }
        classifier_context_run_batch(&context, signals.data(), count, got.probabilities.data(), got.ids.data());
        mismatches += mismatches_of("entry", first, count, got, expected, mismatches);
        for (int p = 0; p < 3; ++p) {
            if (signal_lanes_path_available(paths[p])) {
                signal_lanes_through(paths[p], network, context.means, context.scales, signals.data(), count,
                                     got.probabilities.data(), got.ids.data());
                mismatches += mismatches_of(path_names[p], first, count, got, expected, mismatches);
            }
        }
    }
    std::printf("%zu signals through the entry and every path the processor has, %zu mismatches\n", SIGNALS,
                mismatches);
    return mismatches == 0 ? 0 : 1;
}
