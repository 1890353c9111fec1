#include "engine/exp_accurate.h"

#include "engine/exp_lanes.h"

#include <cstdint>
#include <cstring>

namespace {

// 2^(j/64) - exp_table[j], the rounding remainders of the table entries.
constexpr double exp_table_remainder[64] = {
    0x0.0p+0, -0x1.19083535b085dp-56, 0x1.d73e2a475b465p-55, 0x1.186be4bb284ffp-57,
    0x1.8a62e4adc610bp-54, 0x1.03a1727c57b53p-59, -0x1.6c51039449b3ap-54,
    -0x1.32fbf9af1369ep-54, -0x1.19041b9d78a76p-55, 0x1.e5b4c7b4968e4p-55,
    0x1.e016e00a2643cp-54, 0x1.dc775814a8495p-55, 0x1.9b07eb6c70573p-54, 0x1.2bd339940e9d9p-55,
    0x1.612e8afad1255p-55, 0x1.0024754db41d5p-54, 0x1.6f46ad23182e4p-55, 0x1.32721843659a6p-54,
    -0x1.63aeabf42eae2p-54, -0x1.5e436d661f5e3p-56, 0x1.ada0911f09ebcp-55,
    -0x1.ef3691c309278p-58, 0x1.89b7a04ef80d0p-59, 0x1.3c1a3b69062f0p-56,
    0x1.d4397afec42e2p-56, -0x1.4b309d25957e3p-54, -0x1.07abe1db13cadp-55,
    0x1.9bb2c011d93adp-54, 0x1.6324c054647adp-54, 0x1.ba6f93080e65ep-54,
    -0x1.383c17e40b497p-54, -0x1.bb60987591c34p-54, -0x1.bdd3413b26456p-54,
    -0x1.bbe3a683c88abp-57, -0x1.16e4786887a99p-55, -0x1.0245957316dd3p-54,
    -0x1.41577ee04992fp-55, 0x1.05d02ba15797ep-56, -0x1.d4c1dd41532d8p-54,
    -0x1.fc6f89bd4f6bap-54, 0x1.6e9f156864b27p-54, 0x1.5cc13a2e3976cp-55,
    -0x1.75fc781b57ebcp-57, -0x1.d185b7c1b85d1p-54, 0x1.c7c46b071f2bep-56,
    -0x1.359495d1cd533p-54, -0x1.d2f6edb8d41e1p-54, 0x1.0fac90ef7fd31p-54,
    0x1.7a1cd345dcc81p-54, -0x1.2805e3084d708p-57, -0x1.5584f7e54ac3bp-56,
    0x1.23dd07a2d9e84p-55, 0x1.11065895048ddp-55, 0x1.2884dff483cadp-54, 0x1.503cbd1e949dbp-56,
    -0x1.cbc3743797a9cp-54, 0x1.2ed02d75b3707p-55, 0x1.c2300696db532p-54,
    -0x1.1a5cd4f184b5cp-54, 0x1.39e8980a9cc8fp-55, -0x1.e9c23179c2893p-54,
    0x1.dc7f486a4b6b0p-54, 0x1.9d3e12dd8a18bp-54, 0x1.74853f3a5931ep-55,
};

struct ScaledExp {
    DoubleDouble mantissa; // in [0.98, 2.03]
    int exponent;
};

// y = k ln2/64 + r as in exp_lanes, with ln2/64 = c1 + c2 + c3 (c1 and c2 of
// 40 bits, so k*c1 and k*c2 are exact for |k| < 2^13, and y - k*c1 is exact
// by Sterbenz's lemma since |r| < ln2/128 + 2^-40 <= |y|/2 for k != 0); r
// is then a double-double within 2^-120 of the true remainder.
// e^r - 1 = r + r^2/2 + r^3 (1/6 + ... + r^4/7!): the truncation is below
// (0.00542)^8/8! < 2^-75, r^2 is formed exactly, and the double evaluation of
// the cubic tail (< 2^-25) errs by less than 2^-77. The table entry as a
// double-double (remainders below 2^-106) times 1 + p adds about 2^-100.
ScaledExp exp_scaled(double y) noexcept
{
    constexpr double SHIFTER = 0x1.8p52;
    constexpr std::int64_t SHIFTER_BITS = 0x4338000000000000;
    const double shifted = y * 0x1.71547652b82fep+6 + SHIFTER;
    const double k = shifted - SHIFTER;
    std::int64_t n;
    std::memcpy(&n, &shifted, sizeof n);
    n = n - SHIFTER_BITS;

    const double s1 = y - k * 0x1.62e42fefa4000p-7;
    const DoubleDouble s2 = two_sum(s1, -(k * -0x1.8432a1b0e2000p-49));
    const DoubleDouble r = fast_two_sum(s2.hi, s2.lo - k * -0x1.8cff81a12a17ep-91);

    const DoubleDouble square = two_product(r.hi, r.hi);
    const double x = r.hi;
    const double tail =
        x * x * x *
        (0x1.5555555555555p-3 +
         x * (0x1.5555555555555p-5 + x * (0x1.1111111111111p-7 + x * (0x1.6c16c16c16c17p-10 + x * 0x1.a01a01a01a01ap-13))));
    const DoubleDouble head = two_sum(r.hi, square.hi * 0.5);
    const DoubleDouble p = fast_two_sum(head.hi, head.lo + (r.lo + (square.lo * 0.5 + (x * r.lo + tail))));

    const double t_hi = exp_table[n & 63];
    const double t_lo = exp_table_remainder[n & 63];
    const DoubleDouble product = two_product(t_hi, p.hi);
    const DoubleDouble sum = two_sum(t_hi, product.hi);
    const double low = sum.lo + (product.lo + (t_hi * p.lo + t_lo * (1.0 + p.hi)));
    return {fast_two_sum(sum.hi, low), static_cast<int>(n >> 6)};
}

// Multiplying both parts by 2^e is exact while they stay normal doubles.
DoubleDouble scale(DoubleDouble a, int e) noexcept
{
    const std::int64_t bits = static_cast<std::int64_t>(1023 + e) << 52;
    double power;
    std::memcpy(&power, &bits, sizeof power);
    return {a.hi * power, a.lo * power};
}

} // namespace

DoubleDouble exp_accurate(double y) noexcept
{
    const ScaledExp e = exp_scaled(y);
    return scale(e.mantissa, e.exponent);
}

DoubleDouble expm1_accurate(double y) noexcept
{
    return dd_add(exp_accurate(y), DoubleDouble{-1.0, 0.0});
}
