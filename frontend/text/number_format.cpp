#include "number_format.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace {

char* write_unsigned(std::uint64_t n, char* out) noexcept
{
    char digits[20];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n != 0);
    while (count != 0) {
        *out++ = digits[--count];
    }
    return out;
}

// Exactly 19 digits, zeros in front.
char* write_chunk19(std::uint64_t n, char* out) noexcept
{
    for (int i = 18; i >= 0; --i) {
        out[i] = static_cast<char>('0' + n % 10);
        n /= 10;
    }
    return out + 19;
}

// All the digits of n, an integer below 2^128.
char* write_integer(unsigned __int128 n, char* out) noexcept
{
    constexpr std::uint64_t CHUNK = 10000000000000000000u; // 10^19
    std::uint64_t chunks[2];
    int chunk_count = 0;
    while (n > UINT64_MAX) {
        chunks[chunk_count++] = static_cast<std::uint64_t>(n % CHUNK);
        n /= CHUNK;
    }
    out = write_unsigned(static_cast<std::uint64_t>(n), out);
    while (chunk_count != 0) {
        out = write_chunk19(chunks[--chunk_count], out);
    }
    return out;
}

} // namespace

std::size_t format_fixed2(float value, char* out) noexcept
{
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
    const bool negative = (bits >> 31) != 0;
    const std::uint32_t biased = (bits >> 23) & 0xFFu;
    const std::uint32_t fraction = bits & 0x7FFFFFu;
    char* p = out;

    if (biased == 0xFFu && fraction != 0) {
        std::memcpy(p, "nan", 4);
        return 3;
    }
    if (negative) {
        *p++ = '-';
    }
    if (biased == 0xFFu) {
        std::memcpy(p, "inf", 4);
        return static_cast<std::size_t>(p - out) + 3;
    }

    // value = m * 2^e exactly, m < 2^24.
    const std::uint32_t m = biased == 0 ? fraction : (fraction | 0x800000u);
    const int e = biased == 0 ? -149 : static_cast<int>(biased) - 150;

    if (e >= 0) {
        // An integer below 2^128: all its digits, no rounding.
        p = write_integer(static_cast<unsigned __int128>(m) << e, p);
        std::memcpy(p, ".00", 4);
        return static_cast<std::size_t>(p - out) + 3;
    }

    // Hundredths: round(100 * m / 2^k), ties to even. 100 * m < 2^31, so
    // for k >= 32 the quotient is below one half and rounds to 0.
    const unsigned k = static_cast<unsigned>(-e);
    std::uint64_t hundredths = 0;
    if (k < 32) {
        const std::uint64_t scaled = 100u * static_cast<std::uint64_t>(m);
        hundredths = scaled >> k;
        const std::uint64_t rest = scaled & ((std::uint64_t{1} << k) - 1);
        const std::uint64_t half = std::uint64_t{1} << (k - 1);
        if (rest > half || (rest == half && (hundredths & 1u) != 0)) {
            ++hundredths;
        }
    }
    p = write_unsigned(hundredths / 100, p);
    const unsigned cents = static_cast<unsigned>(hundredths % 100);
    p[0] = '.';
    p[1] = static_cast<char>('0' + cents / 10);
    p[2] = static_cast<char>('0' + cents % 10);
    p[3] = '\0';
    return static_cast<std::size_t>(p - out) + 3;
}
