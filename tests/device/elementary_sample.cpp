// The library's tanh and exp on the device against glibc on the desktop, over
// a sample of 2^17 float arguments: one bit pattern in each block of 2^16
// (every sign and binade, at varying offsets), then 2^16 consecutive floats
// from 0.003, where
// the float-only tanh leaves the most arguments to its double-double
// fallback. The device build prints, per 8192 arguments, a hash of the bits
// of float_tanh and float_exp; the desktop build (OMBREL_GLIBC_REFERENCE)
// the same hash of (float)tanh((double)x) and (float)exp((double)x). Both
// print how many arguments the float-only functions leave to the fallback.
#include "engine/float_elementary.h"
#include "engine/float_single.h"

#include <bit>
#include <cmath>
#include <cstdint>

extern "C" {
#include "emit_line.h"
}

namespace {

constexpr std::uint32_t SAMPLE = 1u << 17;
constexpr std::uint32_t BATCH = 8192;

float argument(std::uint32_t i)
{
    const std::uint32_t bits = i < SAMPLE / 2 ? (i << 16) + ((i * 0x9e37u) & 0xffffu)
                                              : std::bit_cast<std::uint32_t>(0.003f) + (i - SAMPLE / 2);
    return std::bit_cast<float>(bits);
}

// FNV-1a over the 32-bit words.
std::uint32_t mix(std::uint32_t hash, std::uint32_t word)
{
    for (int shift = 0; shift < 32; shift += 8) {
        hash = (hash ^ ((word >> shift) & 0xffu)) * 16777619u;
    }
    return hash;
}

char* put_hex(char* out, std::uint32_t value)
{
    for (int shift = 28; shift >= 0; shift -= 4) {
        *out++ = "0123456789abcdef"[(value >> shift) & 0xfu];
    }
    return out;
}

char* put_decimal(char* out, std::uint32_t value)
{
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10u);
        value /= 10u;
    } while (value != 0u);
    while (count > 0) {
        *out++ = digits[--count];
    }
    return out;
}

char* put_text(char* out, const char* text)
{
    while (*text != '\0') {
        *out++ = *text++;
    }
    return out;
}

} // namespace

extern "C" int main()
{
    char line[64];
    std::uint32_t tanh_fallbacks = 0;
    std::uint32_t exp_fallbacks = 0;
    std::uint32_t hash = 2166136261u;
    for (std::uint32_t i = 0; i < SAMPLE; ++i) {
        const float x = argument(i);
        float unused;
        tanh_fallbacks += tanh_single_fast(x, &unused) ? 0u : 1u;
        exp_fallbacks += exp_single_fast(x, &unused) ? 0u : 1u;
#ifdef OMBREL_GLIBC_REFERENCE
        const float t = static_cast<float>(std::tanh(static_cast<double>(x)));
        const float e = static_cast<float>(std::exp(static_cast<double>(x)));
#else
        const float t = float_tanh(x);
        const float e = float_exp(x);
#endif
        hash = mix(mix(hash, std::bit_cast<std::uint32_t>(t)), std::bit_cast<std::uint32_t>(e));
        if ((i + 1) % BATCH == 0) {
            char* out = put_text(line, "arguments to ");
            out = put_decimal(out, i + 1);
            out = put_text(out, ": hash ");
            out = put_hex(out, hash);
            *out = '\0';
            emit_line(line);
        }
    }
    char* out = put_text(line, "fallbacks: tanh ");
    out = put_decimal(out, tanh_fallbacks);
    out = put_text(out, ", exp ");
    out = put_decimal(out, exp_fallbacks);
    *out = '\0';
    emit_line(line);
    return 0;
}
