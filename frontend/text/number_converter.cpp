#include "number_converter.h"

#include "binary_rounding.h"
#include "decimal_product.h"
#include "exact_decimal.h"
#include "short_decimal.h"

#include <limits>

namespace {

// 0.d... * 10^scale lies in [10^(scale-1), 10^scale): beyond these bounds it
// overflows or underflows every format. The same bounds serve hex scales in
// powers of two.
constexpr std::int64_t DECIMAL_SCALE_LIMIT = 400;
constexpr std::int64_t BINARY_SCALE_LIMIT = 1200;

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

// A decimal 0.d... * 10^scale, |scale| <= DECIMAL_SCALE_LIMIT.
template <typename T>
T decimal_value(const NumberRecord* r, std::int64_t scale) noexcept
{
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
    // The first 19 significant digits w: the value lies in [w, w + 1) * 10^q,
    // and is w * 10^q when there are no more, so where w and w + 1 round
    // alike, so does the value.
    const std::int64_t held = r->significant < NUMBER_MANTISSA_DECIMAL_DIGITS ? r->significant
                                                                              : NUMBER_MANTISSA_DECIMAL_DIGITS;
    T value{};
    if (decimal_product_to<T>(r->mantissa, scale - held, r->negative, &value)) {
        T upper{};
        if (r->significant <= NUMBER_MANTISSA_DECIMAL_DIGITS ||
            (decimal_product_to<T>(r->mantissa + 1, scale - held, r->negative, &upper) && upper == value)) {
            return value;
        }
    }
    const std::int64_t exponent = scale - static_cast<std::int64_t>(r->kept);
    if constexpr (sizeof(T) == sizeof(float)) {
        return exact_decimal_to_float(r->digits, r->kept, r->sticky, exponent, r->negative);
    } else {
        return exact_decimal_to_double(r->digits, r->kept, r->sticky, exponent, r->negative);
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
    // Each hex digit is four binary places.
    const std::int64_t scale = r->hex ? 4 * r->point_shift + exponent : r->point_shift + exponent;
    const std::int64_t limit = r->hex ? BINARY_SCALE_LIMIT : DECIMAL_SCALE_LIMIT;
    if (scale > limit) {
        return infinity;
    }
    if (scale < -limit) {
        return zero;
    }
    if (!r->hex) {
        return decimal_value<T>(r, scale);
    }
    const std::int64_t held = r->significant < NUMBER_MANTISSA_HEX_DIGITS ? r->significant
                                                                          : NUMBER_MANTISSA_HEX_DIGITS;
    return round_binary<T>(r->mantissa, scale - 4 * held, r->sticky, r->negative);
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
