#include "engine/float_elementary.h"

#if OMBREL_OWN_ELEMENTARY && OMBREL_SINGLE_ELEMENTARY

#include "engine/float_single.h"

float float_exp(float x) noexcept
{
    return exp_single(x);
}

#else

#include <cmath>
#include <limits>

#if OMBREL_OWN_ELEMENTARY

#include "engine/exp_accurate.h"
#include "engine/exp_lanes.h"

namespace {

// Over [-87, 88.5] e^x is a normal float (e^-87 > 2^-126, e^88.5 < 2^128)
// and exp_lanes is within 2^-50 of it: under 4 ulps of a double, plus glibc's
// own ulp or so. A result farther than 2^8 ulps from a float midpoint rounds
// to glibc's float; the others (about one in a million) and the rest of
// [-104.5, 89] take exp_between.
constexpr float LOWEST_COVERED = -87.0f;
constexpr float HIGHEST_COVERED = 88.5f;
constexpr std::int64_t EXP_WINDOW = std::int64_t{1} << 8;

// Beyond 89, e^x > 2^128 rounds to infinity; below -104.5, e^x < 2^-150 (half
// the least subnormal) rounds to +0.
constexpr float OVERFLOW_LIMIT = 89.0f;
constexpr float UNDERFLOW_LIMIT = -104.5f;

float exp_between(float x) noexcept
{
    return exp_nearest(x);
}

} // namespace

float float_exp(float x) noexcept
{
    if (x >= LOWEST_COVERED && x <= HIGHEST_COVERED) {
        const Double1 e = exp_lanes<Double1, Int1>(Double1{static_cast<double>(x)});
        if (ulps_from_float_midpoint<Double1, Int1>(e)[0] > EXP_WINDOW) {
            return static_cast<float>(e[0]);
        }
    } else if (x > OVERFLOW_LIMIT) {
        return std::numeric_limits<float>::infinity();
    } else if (x < UNDERFLOW_LIMIT) {
        return 0.0f;
    }
    return exp_between(x);
}

#else

float float_exp(float x) noexcept
{
    return static_cast<float>(std::exp(static_cast<double>(x)));
}

#endif

#endif
