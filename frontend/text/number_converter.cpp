#include "number_converter.h"

#include "binary_rounding.h"
#include "exact_decimal.h"
#include "short_decimal.h"

#include <bit>
#include <limits>

namespace {

// 0.d... * 10^scale lies in [10^(scale-1), 10^scale): beyond these bounds it
// overflows or underflows every format. The same bounds serve hex scales in
// powers of two.
constexpr std::int64_t DECIMAL_SCALE_LIMIT = 400;
constexpr std::int64_t BINARY_SCALE_LIMIT = 1200;

// 10^-64 to 10^39, each the correctly rounded double of its literal: the
// decimal exponents of the first 19 digits that can give a normal float.
constexpr int ESTIMATE_LEAST_POWER = -64;
constexpr double POWERS_OF_TEN_FOR_ESTIMATE[] = {
    1e-64, 1e-63, 1e-62, 1e-61, 1e-60, 1e-59, 1e-58, 1e-57, 1e-56, 1e-55, 1e-54, 1e-53, 1e-52,
    1e-51, 1e-50, 1e-49, 1e-48, 1e-47, 1e-46, 1e-45, 1e-44, 1e-43, 1e-42, 1e-41, 1e-40, 1e-39,
    1e-38, 1e-37, 1e-36, 1e-35, 1e-34, 1e-33, 1e-32, 1e-31, 1e-30, 1e-29, 1e-28, 1e-27, 1e-26,
    1e-25, 1e-24, 1e-23, 1e-22, 1e-21, 1e-20, 1e-19, 1e-18, 1e-17, 1e-16, 1e-15, 1e-14, 1e-13,
    1e-12, 1e-11, 1e-10, 1e-9,  1e-8,  1e-7,  1e-6,  1e-5,  1e-4,  1e-3,  1e-2,  1e-1,  1e0,
    1e1,   1e2,   1e3,   1e4,   1e5,   1e6,   1e7,   1e8,   1e9,   1e10,  1e11,  1e12,  1e13,
    1e14,  1e15,  1e16,  1e17,  1e18,  1e19,  1e20,  1e21,  1e22,  1e23,  1e24,  1e25,  1e26,
    1e27,  1e28,  1e29,  1e30,  1e31,  1e32,  1e33,  1e34,  1e35,  1e36,  1e37,  1e38,  1e39,
};
constexpr int ESTIMATE_POWERS = static_cast<int>(sizeof POWERS_OF_TEN_FOR_ESTIMATE / sizeof(double));

// A float from a double estimate of any decimal, when the estimate decides
// it. w holds the first (at most 19) significant digits and the value lies
// in [w, w + 1) * 10^e (exactly w * 10^e when no digit was dropped). The
// estimate x = double(w) * double(10^e) carries three roundings of relative
// size at most 2^-53 each, and dropped digits add less than 1/w <= 10^-18:
// x is within 4 units of its own last place of the value. Rounding x to
// float then gives the value's float unless a float midpoint lies within
// those 4 units (the 29 bits below the float mantissa within 16 of 1
// followed by 28 zeros: the value may lie on it or either side), or x is
// below the least normal float, where midpoints are spaced otherwise. The
// overflow threshold, halfway between the largest float and 2^128, is such
// a midpoint. Refused (false) for the exact path.
bool estimate_float(std::uint64_t w, std::int64_t e, bool negative, float* value) noexcept
{
    if (e < ESTIMATE_LEAST_POWER || e >= ESTIMATE_LEAST_POWER + ESTIMATE_POWERS) {
        return false;
    }
    const double x = static_cast<double>(w) * POWERS_OF_TEN_FOR_ESTIMATE[e - ESTIMATE_LEAST_POWER];
    const std::uint64_t below_float = std::bit_cast<std::uint64_t>(x) & 0x1FFFFFFFu;
    if (x < 0x1.000001p-126 || below_float - (0x10000000u - 16u) < 32u) {
        return false;
    }
    const float rounded = static_cast<float>(x);
    *value = negative ? -rounded : rounded;
    return true;
}

template <typename T>
T signed_value(T magnitude, bool negative) noexcept
{
    return negative ? -magnitude : magnitude;
}

template <typename T>
T short_value(std::uint64_t mantissa, int exponent, bool negative, bool* done) noexcept
{
    if constexpr (sizeof(T) == sizeof(float)) {
        float value = 0.0f;
        *done = short_decimal_to_float(mantissa, exponent, negative, &value);
        return value;
    } else {
        *done = true;
        return signed_value(short_decimal_to_double(mantissa, exponent), negative);
    }
}

template <typename T>
T convert(const NumberRecord* r) noexcept
{
    const T infinity = signed_value(std::numeric_limits<T>::infinity(), r->negative);
    if (r->form == NumberForm::NAN_WORD) {
        return signed_value(std::numeric_limits<T>::quiet_NaN(), r->negative);
    }
    if (r->form == NumberForm::INFINITY_WORD) {
        return infinity;
    }
    const T zero = signed_value(T(0), r->negative);
    if (r->significant == 0) {
        return zero;
    }
    const std::int64_t exponent = r->exponent_negative ? -r->exponent : r->exponent;

    if (r->hex) {
        // Each hex digit is four binary places.
        const std::int64_t scale = 4 * r->point_shift + exponent;
        if (scale > BINARY_SCALE_LIMIT) {
            return infinity;
        }
        if (scale < -BINARY_SCALE_LIMIT) {
            return zero;
        }
        const std::int64_t held = r->significant < NUMBER_MANTISSA_HEX_DIGITS ? r->significant
                                                                              : NUMBER_MANTISSA_HEX_DIGITS;
        return round_binary<T>(r->mantissa, scale - 4 * held, r->sticky, r->negative);
    }

    const std::int64_t scale = r->point_shift + exponent;
    if (scale > DECIMAL_SCALE_LIMIT) {
        return infinity;
    }
    if (scale < -DECIMAL_SCALE_LIMIT) {
        return zero;
    }
    if (r->significant <= NUMBER_MANTISSA_DECIMAL_DIGITS && r->mantissa <= SHORT_DECIMAL_MANTISSA_LIMIT) {
        const std::int64_t e = scale - r->significant;
        if (e >= -SHORT_DECIMAL_EXPONENT_LIMIT && e <= SHORT_DECIMAL_EXPONENT_LIMIT) {
            bool done = false;
            const T value = short_value<T>(r->mantissa, static_cast<int>(e), r->negative, &done);
            if (done) {
                return value;
            }
        }
    }
    const std::int64_t kept = static_cast<std::int64_t>(r->kept);
    if constexpr (sizeof(T) == sizeof(float)) {
        const std::int64_t held = r->significant < NUMBER_MANTISSA_DECIMAL_DIGITS ? r->significant
                                                                                  : NUMBER_MANTISSA_DECIMAL_DIGITS;
        float value = 0.0f;
        if (estimate_float(r->mantissa, scale - held, r->negative, &value)) {
            return value;
        }
        return exact_decimal_to_float(r->digits, r->kept, r->sticky, scale - kept, r->negative);
    } else {
        return exact_decimal_to_double(r->digits, r->kept, r->sticky, scale - kept, r->negative);
    }
}

} // namespace

float number_to_float(const NumberRecord* r) noexcept
{
    return convert<float>(r);
}

double number_to_double(const NumberRecord* r) noexcept
{
    return convert<double>(r);
}
