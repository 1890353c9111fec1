// ns per call of the library's float tanh and exp against the C library's
// double-precision functions rounded to float, on arguments like the
// engine's: pre-activations in [-3, 3] and soft-max exponents in [-20, 0].
// Also the single-precision forms built for the device, run here.
#include "engine/float_elementary.h"
#include "engine/float_single.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

constexpr int count = 24;

struct Arguments {
    float values[count];
    Arguments(float low, float high)
    {
        std::mt19937 generator(5);
        std::uniform_real_distribution<float> any(low, high);
        for (float& v : values) v = any(generator);
    }
};

void own_tanh_array(benchmark::State& state)
{
    Arguments a(-3.0f, 3.0f);
    float out[count];
    for (auto _ : state) {
        benchmark::DoNotOptimize(a.values);
        float_tanh_array(a.values, out, count);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(own_tanh_array);

void own_tanh(benchmark::State& state)
{
    Arguments a(-3.0f, 3.0f);
    float out[count];
    for (auto _ : state) {
        benchmark::DoNotOptimize(a.values);
        for (int i = 0; i < count; ++i) out[i] = float_tanh(a.values[i]);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(own_tanh);

void single_tanh(benchmark::State& state)
{
    Arguments a(-3.0f, 3.0f);
    float out[count];
    for (auto _ : state) {
        benchmark::DoNotOptimize(a.values);
        for (int i = 0; i < count; ++i) out[i] = tanh_single(a.values[i]);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(single_tanh);

void libc_tanh(benchmark::State& state)
{
    Arguments a(-3.0f, 3.0f);
    float out[count];
    for (auto _ : state) {
        benchmark::DoNotOptimize(a.values);
        for (int i = 0; i < count; ++i) out[i] = static_cast<float>(std::tanh(static_cast<double>(a.values[i])));
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(libc_tanh);

void own_exp(benchmark::State& state)
{
    Arguments a(-20.0f, 0.0f);
    float out[count];
    for (auto _ : state) {
        benchmark::DoNotOptimize(a.values);
        for (int i = 0; i < count; ++i) out[i] = float_exp(a.values[i]);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(own_exp);

void single_exp(benchmark::State& state)
{
    Arguments a(-20.0f, 0.0f);
    float out[count];
    for (auto _ : state) {
        benchmark::DoNotOptimize(a.values);
        for (int i = 0; i < count; ++i) out[i] = exp_single(a.values[i]);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(single_exp);

void libc_exp(benchmark::State& state)
{
    Arguments a(-20.0f, 0.0f);
    float out[count];
    for (auto _ : state) {
        benchmark::DoNotOptimize(a.values);
        for (int i = 0; i < count; ++i) out[i] = static_cast<float>(std::exp(static_cast<double>(a.values[i])));
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(libc_exp);

} // namespace

BENCHMARK_MAIN();
