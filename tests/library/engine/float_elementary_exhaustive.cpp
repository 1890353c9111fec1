// Every one of the 2^32 floats, in one sweep, through
// - the library's float_tanh and float_exp (the inputs in turn through the
//   array forms' widest path, their two-lane path and the one-value forms,
//   so each code path sees every binade), and every float through the
//   tanh array form's widest path (eight at a time with AVX2) and the
//   AVX-512 lanes of the batch entry where the processor has them;
// - the single-precision tanh_single and exp_single, counting the arguments
//   their float evaluation leaves to the double-double fallback;
// - where the build found the device C library's source (OMBREL_NEWLIB), its
//   double-precision tanh (over its expm1) and exp, rounded to float;
// each compared bit for bit, NaN payloads included, with glibc's
// double-precision tanh and exp rounded to float. One thread per core; prints
// the first mismatches and exits 1 if there is any.
#include "engine/float_elementary.h"
#include "engine/elementary_constants.h"
#include "engine/float_single.h"
#include "engine/signal_lanes.h"
#include "engine/signal_lanes_avx512.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

#ifdef OMBREL_NEWLIB
extern "C" double ombrel_newlib_tanh(double);
extern "C" double ombrel_newlib_exp(double);
#endif

namespace {

constexpr std::uint64_t ALL_FLOATS = std::uint64_t{1} << 32;
constexpr std::uint32_t CHUNK = 1024;

std::atomic<std::uint64_t> mismatches{0};
std::atomic<std::uint64_t> tanh_fallbacks{0};
std::atomic<std::uint64_t> exp_fallbacks{0};
std::atomic<std::uint64_t> exp_outside{0};

void check(const char* name, float x, float got, float expected)
{
    const std::uint32_t got_bits = std::bit_cast<std::uint32_t>(got);
    const std::uint32_t expected_bits = std::bit_cast<std::uint32_t>(expected);
    if (got_bits != expected_bits && mismatches.fetch_add(1) < 100) {
        std::printf("%s(%a) [0x%08" PRIx32 "]: 0x%08" PRIx32 ", glibc 0x%08" PRIx32 "\n", name,
                    static_cast<double>(x), std::bit_cast<std::uint32_t>(x), got_bits, expected_bits);
    }
}

void check_range(std::uint64_t begin, std::uint64_t end)
{
    float input[CHUNK];
    float output[CHUNK];
    float exp_output[CHUNK];
    float array_tanh[CHUNK];
#if OMBREL_SIGNAL_LANES_AVX512
    const bool wide_lanes = signal_lanes_path_available(SignalLanesPath::AVX512);
    float wide_tanh[CHUNK];
    float wide_exp[CHUNK];
#endif
    std::uint64_t tanh_fell = 0;
    std::uint64_t exp_fell = 0;
    std::uint64_t exp_fell_outside = 0;
    for (std::uint64_t base = begin; base < end; base += CHUNK) {
        for (std::uint32_t i = 0; i < CHUNK; ++i) {
            input[i] = std::bit_cast<float>(static_cast<std::uint32_t>(base + i));
        }
        switch (base / CHUNK % 3) {
        case 0:
            float_tanh_array(input, output, static_cast<int>(CHUNK));
            float_exp_array(input, exp_output, static_cast<int>(CHUNK));
            break;
        case 1:
            for (std::uint32_t i = 0; i < CHUNK; i += 2) {
                float_tanh_array(input + i, output + i, 2);
                float_exp_array(input + i, exp_output + i, 2);
            }
            break;
        default:
            for (std::uint32_t i = 0; i < CHUNK; ++i) {
                output[i] = float_tanh(input[i]);
                exp_output[i] = float_exp(input[i]);
            }
        }
        float_tanh_array(input, array_tanh, static_cast<int>(CHUNK));
#if OMBREL_SIGNAL_LANES_AVX512
        if (wide_lanes) {
            elementary_avx512(input, wide_tanh, wide_exp, CHUNK);
        }
#endif
        for (std::uint32_t i = 0; i < CHUNK; ++i) {
            const float x = input[i];
            const double wide = static_cast<double>(x);
            const float tanh_expected = static_cast<float>(std::tanh(wide));
            const float exp_expected = static_cast<float>(std::exp(wide));
            check("float_tanh", x, output[i], tanh_expected);
            check("float_exp", x, exp_output[i], exp_expected);
            check("float_tanh_array", x, array_tanh[i], tanh_expected);
#if OMBREL_SIGNAL_LANES_AVX512
            if (wide_lanes) {
                check("AVX-512 tanh", x, wide_tanh[i], tanh_expected);
                check("AVX-512 exp", x, wide_exp[i], exp_expected);
            }
#endif

            float single;
            if (!tanh_single_fast(x, &single)) {
                ++tanh_fell;
                single = tanh_nearest(x);
            }
            check("tanh_single", x, single, tanh_expected);
            if (!exp_single_fast(x, &single)) {
                ++exp_fell;
                exp_fell_outside += x < EXP_LOWEST_NORMAL || x > EXP_HIGHEST_COVERED ? 1 : 0;
                single = exp_nearest(x);
            }
            check("exp_single", x, single, exp_expected);
#ifdef OMBREL_NEWLIB
            check("newlib tanh", x, static_cast<float>(ombrel_newlib_tanh(wide)), tanh_expected);
            check("newlib exp", x, static_cast<float>(ombrel_newlib_exp(wide)), exp_expected);
#endif
        }
    }
    tanh_fallbacks += tanh_fell;
    exp_fallbacks += exp_fell;
    exp_outside += exp_fell_outside;
}

} // namespace

int main()
{
    const std::uint64_t threads = std::clamp(std::thread::hardware_concurrency(), 1u, 64u);
    const std::uint64_t chunks = ALL_FLOATS / CHUNK;
    std::vector<std::thread> workers;
    for (std::uint64_t t = 0; t < threads; ++t) {
        workers.emplace_back(check_range, chunks * t / threads * CHUNK,
                             chunks * (t + 1) / threads * CHUNK);
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    const std::uint64_t count = mismatches.load();
#ifdef OMBREL_NEWLIB
    const char* compared = "library, single-precision and newlib tanh and exp";
#else
    const char* compared = "library and single-precision tanh and exp (newlib source not found)";
#endif
    const char* wide = signal_lanes_path_available(SignalLanesPath::AVX512) ? ", AVX-512 lanes" : "";
    std::printf("%" PRIu64 " mismatches over all 2^32 floats: %s%s\n", count, compared, wide);
    std::printf("single-precision fallbacks: tanh %" PRIu64 ", exp %" PRIu64 " (%" PRIu64
                " of them x < -87 or x > 88.5: a subnormal e^x or one near overflow)\n",
                tanh_fallbacks.load(), exp_fallbacks.load(), exp_outside.load());
    return count == 0 ? 0 : 1;
}
