// Ten million signals through the batch entry and through classifier_run,
// compared bit for bit (NaN as NaN): signals of magnitudes from 2^-4 to 2^8
// (units from unsaturated to saturated, so the tanh and exp near float
// midpoints, a few in thousands, are met thousands of times), a value in
// 500 special. Prints the first mismatches and exits 1 if there is any.
#include "classifier.h"
#include "classifier_context.h"
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
    std::mt19937 generator(31);
    std::vector<float> signals(CHUNK * INPUT_LENGTH);
    std::vector<float> probabilities(CHUNK * CLASS_COUNT);
    std::vector<std::uint16_t> ids(CHUNK);
    std::size_t mismatches = 0;
    for (std::size_t first = 0; first < SIGNALS; first += CHUNK) {
        const std::size_t count = SIGNALS - first < CHUNK ? SIGNALS - first : CHUNK;
        fill(signals, generator);
        classifier_context_run_batch(&context, signals.data(), count, probabilities.data(), ids.data());
        for (std::size_t s = 0; s < count; ++s) {
            float expected[CLASS_COUNT];
            std::uint16_t id = 0;
            classifier_run(signals.data() + s * INPUT_LENGTH, expected, &id);
            bool equal = id == ids[s];
            for (int k = 0; k < CLASS_COUNT; ++k) {
                equal = equal && same(expected[k], probabilities[s * CLASS_COUNT + static_cast<std::size_t>(k)]);
            }
            if (!equal && ++mismatches <= 10) {
                std::printf("signal %zu: class %u against %u, first probability %a against %a\n", first + s,
                            static_cast<unsigned>(ids[s]), static_cast<unsigned>(id),
                            static_cast<double>(probabilities[s * CLASS_COUNT]), static_cast<double>(expected[0]));
            }
        }
    }
    std::printf("%zu signals, %zu mismatches\n", SIGNALS, mismatches);
    return mismatches == 0 ? 0 : 1;
}
