// Every one of the 2^32 floats through the library's float_tanh and float_exp,
// compared bit for bit with the C library's double-precision tanh and exp
// rounded to float (glibc on the machines that run it). The tanh inputs go
// in turn through the array form's widest path, its two-lane path (two at a
// time) and the one-value form, so each code path sees every binade.
// Two threads; prints the first mismatches and exits 1 if there is any.
#include "engine/float_elementary.h"

#include <atomic>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

constexpr std::uint64_t all_floats = std::uint64_t{1} << 32;
constexpr std::uint32_t chunk = 1024;

float from_bits(std::uint32_t bits)
{
    float x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

std::uint32_t to_bits(float x)
{
    std::uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

std::atomic<std::uint64_t> mismatches{0};

void report(const char* name, float x, float got, float expected)
{
    if (mismatches.fetch_add(1) < 100) {
        std::printf("%s(%a) [0x%08" PRIx32 "]: 0x%08" PRIx32 ", glibc 0x%08" PRIx32 "\n", name,
                    static_cast<double>(x), to_bits(x), to_bits(got), to_bits(expected));
    }
}

void check_range(std::uint64_t begin, std::uint64_t end)
{
    float input[chunk];
    float output[chunk];
    for (std::uint64_t base = begin; base < end; base += chunk) {
        for (std::uint32_t i = 0; i < chunk; ++i) {
            input[i] = from_bits(static_cast<std::uint32_t>(base + i));
        }
        switch (base / chunk % 3) {
        case 0:
            float_tanh_array(input, output, static_cast<int>(chunk));
            break;
        case 1:
            for (std::uint32_t i = 0; i < chunk; i += 2) {
                float_tanh_array(input + i, output + i, 2);
            }
            break;
        default:
            for (std::uint32_t i = 0; i < chunk; ++i) {
                output[i] = float_tanh(input[i]);
            }
        }
        for (std::uint32_t i = 0; i < chunk; ++i) {
            const float x = input[i];
            const float expected = static_cast<float>(std::tanh(static_cast<double>(x)));
            if (to_bits(output[i]) != to_bits(expected)) {
                report("tanh", x, output[i], expected);
            }
            const float expected_exp = static_cast<float>(std::exp(static_cast<double>(x)));
            const float got_exp = float_exp(x);
            if (to_bits(got_exp) != to_bits(expected_exp)) {
                report("exp", x, got_exp, expected_exp);
            }
        }
    }
}

} // namespace

int main()
{
    constexpr int threads = 2;
    constexpr std::uint64_t share = all_floats / threads;
    std::thread workers[threads];
    for (int t = 0; t < threads; ++t) {
        workers[t] = std::thread(check_range, share * static_cast<std::uint64_t>(t),
                                 share * static_cast<std::uint64_t>(t + 1));
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    const std::uint64_t count = mismatches.load();
    std::printf("%" PRIu64 " mismatches over all 2^32 floats\n", count);
    return count == 0 ? 0 : 1;
}
