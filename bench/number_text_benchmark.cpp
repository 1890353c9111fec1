// The number text's fast paths against its general path, in one run, on the
// benchmark file's kind of line (64 values of six decimals, comma-separated),
// on numpy's "%.18e" lines, and, through the line reader, on the shortest
// texts of doubles (as Python and pandas write them) and on "%g".
// Each reads the same bytes from memory and must give the same values; the
// ratios to `general` tell whether each fast path earns its place.
#include "signal_line.h"
#include "signal_stream.h"
#include "value_scanner.h"

#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr int LINES = 2000;

// LINES lines of values, each of them written by `write` from the next state
// of one generator and followed by its separator.
template <typename Write>
std::string generated_lines(Write write)
{
    std::string out;
    std::uint64_t state = 20261207;
    char word[40];
    for (int line = 0; line < LINES; ++line) {
        for (int slot = 0; slot < SIGNAL_LINE_VALUES; ++slot) {
            state = state * 6364136223846793005u + 1442695040888963407u;
            char* const end = write(word, sizeof word - 1, state);
            *end = slot + 1 < SIGNAL_LINE_VALUES ? ',' : '\n';
            out.append(word, end + 1);
        }
    }
    return out;
}

// Six decimals, as bench/make_signals.py writes them.
const std::string& lines()
{
    static const std::string text = generated_lines([](char* word, std::size_t size, std::uint64_t state) {
        const std::int64_t v = static_cast<std::int64_t>((state >> 33) % 199999999) - 99999999;
        const std::int64_t a = v < 0 ? -v : v;
        return word + std::snprintf(word, size, "%s%lld.%06lld", v < 0 ? "-" : "", static_cast<long long>(a / 1000000),
                                    static_cast<long long>(a % 1000000));
    });
    return text;
}

// Doubles in [-100, 100), each written by `write`.
template <typename Write>
std::string double_lines(Write write)
{
    return generated_lines([&](char* word, std::size_t size, std::uint64_t state) {
        return write(word, size, static_cast<double>(state >> 11) * 0x1p-53 * 200.0 - 100.0);
    });
}

char* print_to(char* word, std::size_t size, const char* format, double v)
{
    return word + std::snprintf(word, size, format, v);
}

// As numpy's savetxt(..., delimiter=',') writes them: "%.18e".
const std::string& long_lines()
{
    static const std::string text =
        double_lines([](char* word, std::size_t size, double v) { return print_to(word, size, "%.18e", v); });
    return text;
}

// As pandas' to_csv and Python's repr write them: the shortest text that
// reads back as the double (15 to 17 digits, no exponent in this range).
const std::string& shortest_lines()
{
    static const std::string text = double_lines(
        [](char* word, std::size_t size, double v) { return std::to_chars(word, word + size, v).ptr; });
    return text;
}

// "%g" of the float: up to six digits, of varying length (an exponent only
// below 10^-4, about one value in a million here).
const std::string& g_lines()
{
    static const std::string text = double_lines([](char* word, std::size_t size, double v) {
        return print_to(word, size, "%g", static_cast<double>(static_cast<float>(v)));
    });
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
BENCHMARK(plain_lines<shortest_lines>)->Name("shortest_lines");
BENCHMARK(plain_lines<g_lines>)->Name("g_lines");

} // namespace

BENCHMARK_MAIN();
