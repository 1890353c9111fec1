// Time of one classifier_run for several hidden-unit counts, against a floor
// measured in the same run: the maths library's N double-precision tanh and
// four exp, on arguments of a few units.
#include "classifier.h"
#include "classifier_context.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

std::vector<float> random_knowledge(int units)
{
    std::mt19937 generator(static_cast<std::uint32_t>(units) + 1);
    std::uniform_real_distribution<float> any(-1.0f, 1.0f);
    std::vector<float> knowledge(static_cast<std::size_t>(152 + 69 * units));
    for (float& v : knowledge) v = any(generator);
    knowledge[128] = static_cast<float>(units);
    std::memcpy(knowledge.data() + 133 + 69 * units, EXPECTED_CONFIGURATION, sizeof EXPECTED_CONFIGURATION);
    return knowledge;
}

// Signal values of +-amplitude; the knowledge's means and scales lie in
// [-1, 1]. At 100 nearly every unit saturates (|pre-activation| >= 9.1, where
// tanh is +-1 without a call); at 1 the pre-activations spread over about
// [-5, 5], as in a trained network, and every tanh is computed.
void classify_signals(benchmark::State& state, float amplitude)
{
    const int units = static_cast<int>(state.range(0));
    static std::vector<float> knowledge;
    knowledge = random_knowledge(units);
    if (classifier_init(knowledge.data()) != STATUS_OK) {
        state.SkipWithError("knowledge refused");
        return;
    }
    float input[INPUT_LENGTH];
    std::mt19937 generator(7);
    std::uniform_real_distribution<float> signal(-amplitude, amplitude);
    for (float& v : input) v = signal(generator);
    float probabilities[CLASS_COUNT];
    std::uint16_t class_id = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(input);
        classifier_run(input, probabilities, &class_id);
        benchmark::DoNotOptimize(probabilities);
        benchmark::DoNotOptimize(class_id);
    }
}
void classify(benchmark::State& state)
{
    classify_signals(state, 100.0f);
}
BENCHMARK(classify)->Arg(0)->Arg(10)->Arg(23);

void classify_unsaturated(benchmark::State& state)
{
    classify_signals(state, 1.0f);
}
BENCHMARK(classify_unsaturated)->Arg(0)->Arg(10)->Arg(23);

// The batch entry over BATCH different signals drawn as above, timed per
// signal (items): the same knowledge and amplitudes as `classify`.
constexpr int BATCH = 256;

void classify_batch_signals(benchmark::State& state, float amplitude)
{
    const int units = static_cast<int>(state.range(0));
    const std::vector<float> knowledge = random_knowledge(units);
    ClassifierContext context;
    if (classifier_context_init(&context, knowledge.data(), static_cast<std::int32_t>(knowledge.size())) != STATUS_OK) {
        state.SkipWithError("knowledge refused");
        return;
    }
    std::vector<float> signals(static_cast<std::size_t>(BATCH) * INPUT_LENGTH);
    std::mt19937 generator(7);
    std::uniform_real_distribution<float> signal(-amplitude, amplitude);
    for (float& v : signals) v = signal(generator);
    std::vector<float> probabilities(static_cast<std::size_t>(BATCH) * CLASS_COUNT);
    std::vector<std::uint16_t> class_ids(BATCH);
    for (auto _ : state) {
        benchmark::DoNotOptimize(signals.data());
        classifier_context_run_batch(&context, signals.data(), BATCH, probabilities.data(), class_ids.data());
        benchmark::DoNotOptimize(probabilities.data());
        benchmark::DoNotOptimize(class_ids.data());
    }
    state.SetItemsProcessed(state.iterations() * BATCH);
}
void classify_batch(benchmark::State& state)
{
    classify_batch_signals(state, 100.0f);
}
BENCHMARK(classify_batch)->Arg(0)->Arg(10)->Arg(23);

void classify_batch_unsaturated(benchmark::State& state)
{
    classify_batch_signals(state, 1.0f);
}
BENCHMARK(classify_batch_unsaturated)->Arg(0)->Arg(10)->Arg(23);

void floor_transcendentals(benchmark::State& state)
{
    const int units = static_cast<int>(state.range(0));
    float arguments[HIDDEN_CAPACITY + CLASS_COUNT];
    std::mt19937 generator(11);
    std::uniform_real_distribution<float> any(-3.0f, 3.0f);
    for (float& v : arguments) v = any(generator);
    for (auto _ : state) {
        benchmark::DoNotOptimize(arguments);
        float sum = 0.0f;
        for (int j = 0; j < units; ++j) {
            sum += static_cast<float>(std::tanh(static_cast<double>(arguments[j])));
        }
        for (int k = 0; k < CLASS_COUNT; ++k) {
            sum += static_cast<float>(std::exp(static_cast<double>(-arguments[units + k])));
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(floor_transcendentals)->Arg(0)->Arg(10)->Arg(23);

// The other floor: a classification's sums are chains of dependent float
// additions in a fixed order, 64 per hidden unit (the units run side by
// side) and then N for the output layer, so no implementation can finish
// before 64 + N additions have run one after the other.
void floor_addition_chain(benchmark::State& state)
{
    const int additions = 64 + static_cast<int>(state.range(0));
    float step = 1e-7f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(step);
        float sum = 0.0f;
        for (int i = 0; i < additions; ++i) {
            sum = sum + step;
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(floor_addition_chain)->Arg(0)->Arg(10)->Arg(23);

} // namespace

BENCHMARK_MAIN();
