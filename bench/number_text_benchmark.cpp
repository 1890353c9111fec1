// The number text's fast paths against its general path, in one run, on the
// benchmark file's kind of line (64 values of six decimals, comma-separated)
// and on numpy's "%.18e" lines.
// Each reads the same bytes from memory and must give the same values; the
// ratios to `general` tell whether each fast path earns its place.
#include "signal_line.h"
#include "signal_stream.h"
#include "value_scanner.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr int LINES = 2000;

// LINES lines from the same kind of generator as bench/make_signals.py.
const std::string& lines()
{
    static const std::string text = [] {
        std::string out;
        std::uint64_t state = 20261207;
        char word[32];
        for (int line = 0; line < LINES; ++line) {
            for (int slot = 0; slot < SIGNAL_LINE_VALUES; ++slot) {
                state = state * 6364136223846793005u + 1442695040888963407u;
                const std::int64_t v = static_cast<std::int64_t>((state >> 33) % 199999999) - 99999999;
                const std::int64_t a = v < 0 ? -v : v;
                std::snprintf(word, sizeof word, "%s%lld.%06lld%c", v < 0 ? "-" : "", static_cast<long long>(a / 1000000),
                              static_cast<long long>(a % 1000000), slot + 1 < SIGNAL_LINE_VALUES ? ',' : '\n');
                out += word;
            }
        }
        return out;
    }();
    return text;
}

// LINES lines as numpy's savetxt(..., delimiter=',') writes them: "%.18e"
// of doubles in [-100, 100), from the same generator.
const std::string& long_lines()
{
    static const std::string text = [] {
        std::string out;
        std::uint64_t state = 20261207;
        char word[40];
        for (int line = 0; line < LINES; ++line) {
            for (int slot = 0; slot < SIGNAL_LINE_VALUES; ++slot) {
                state = state * 6364136223846793005u + 1442695040888963407u;
                const double v = static_cast<double>(state >> 11) * 0x1p-53 * 200.0 - 100.0;
                std::snprintf(word, sizeof word, "%.18e%c", v, slot + 1 < SIGNAL_LINE_VALUES ? ',' : '\n');
                out += word;
            }
        }
        return out;
    }();
    return text;
}

// Every value of the text through `scan`, each followed by its separator.
template <bool (*scan)(SignalStream*, float*), const std::string& (*text_of)() = lines>
void per_value(benchmark::State& state)
{
    const std::string& text = text_of();
    float sum = 0.0f;
    for (auto _ : state) {
        SignalStream s;
        signal_stream_init_memory(&s, text.data(), text.size());
        float value;
        while (scan(&s, &value)) {
            sum += value;
            (void)signal_stream_get(&s);
        }
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * LINES * SIGNAL_LINE_VALUES);
}

// Whole lines: the line reader, the per-value path behind it.
template <const std::string& (*text_of)() = lines>
void plain_lines(benchmark::State& state)
{
    const std::string& text = text_of();
    float sum = 0.0f;
    for (auto _ : state) {
        SignalStream s;
        signal_stream_init_memory(&s, text.data(), text.size());
        float values[SIGNAL_LINE_VALUES];
        while (read_signal_line(&s, values)) {
            sum += values[0];
        }
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * LINES * SIGNAL_LINE_VALUES);
}

BENCHMARK(per_value<scan_value_general>)->Name("general");
BENCHMARK(per_value<scan_value>)->Name("short_decimal");
BENCHMARK(plain_lines)->Name("plain_lines");
BENCHMARK(per_value<scan_value_general, long_lines>)->Name("long_general");
BENCHMARK(per_value<scan_value, long_lines>)->Name("long_decimal");
BENCHMARK(plain_lines<long_lines>)->Name("long_lines");

} // namespace

BENCHMARK_MAIN();
