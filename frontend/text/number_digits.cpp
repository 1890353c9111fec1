#include "number_digits.h"

#include <charconv>
#include <limits>
#include <system_error>

void number_digits_start(NumberDigits* n, bool hex, bool negative) noexcept
{
    n->count = 0;
    n->point_shift = 0;
    n->exponent = 0;
    n->sticky = false;
    n->hex = hex;
    n->negative = negative;
    n->any_digit = false;
    n->in_fraction = false;
    n->exponent_negative = false;
}

void number_digits_add(NumberDigits* n, char c, unsigned digit) noexcept
{
    n->any_digit = true;
    if (n->count == 0 && digit == 0) {
        // A leading zero: only a zero after the point moves the value.
        if (n->in_fraction) {
            --n->point_shift;
        }
        return;
    }
    if (!n->in_fraction) {
        ++n->point_shift;
    }
    const std::size_t limit = n->hex ? NUMBER_HEX_DIGITS_KEPT : NUMBER_DECIMAL_DIGITS_KEPT;
    if (n->count < limit) {
        n->kept[n->count++] = c;
    } else if (digit != 0) {
        n->sticky = true;
    }
}

void number_digits_point(NumberDigits* n) noexcept
{
    n->in_fraction = true;
}

void number_digits_exponent_add(NumberDigits* n, unsigned digit) noexcept
{
    if (n->exponent < NUMBER_EXPONENT_LIMIT) {
        n->exponent = n->exponent * 10 + static_cast<std::int64_t>(digit);
    }
    if (n->exponent > NUMBER_EXPONENT_LIMIT) {
        n->exponent = NUMBER_EXPONENT_LIMIT;
    }
}

namespace {

// With at most 801 significant digits, 0.d...*10^s overflows every format
// for s above 400 and underflows for s below -400; the margin is generous.
// The same bound serves powers of two for hex digits (at most 33 of them).
constexpr std::int64_t SCALE_LIMIT = 100000;

template <typename T>
T convert(const NumberDigits* n) noexcept
{
    const T zero = n->negative ? -T(0) : T(0);
    if (n->count == 0) {
        return zero;
    }
    const T infinity = n->negative ? -std::numeric_limits<T>::infinity()
                                   : std::numeric_limits<T>::infinity();
    const std::int64_t exponent = n->exponent_negative ? -n->exponent : n->exponent;
    // Each hex digit is four binary places.
    const std::int64_t scale = (n->hex ? 4 * n->point_shift : n->point_shift) + exponent;
    if (scale > SCALE_LIMIT) {
        return infinity;
    }
    if (scale < -SCALE_LIMIT) {
        return zero;
    }

    // "0." digits [sticky 1] ("e"|"p") scale
    char text[NUMBER_DECIMAL_DIGITS_KEPT + 32];
    char* p = text;
    *p++ = '0';
    *p++ = '.';
    for (std::size_t i = 0; i < n->count; ++i) {
        *p++ = n->kept[i];
    }
    if (n->sticky) {
        // Every midpoint between adjacent results has fewer significant
        // digits than are kept, so none lies strictly between the kept
        // prefix and its successor in the last kept place: the whole text
        // and the prefix followed by a 1 both lie there and round alike.
        *p++ = '1';
    }
    *p++ = n->hex ? 'p' : 'e';
    p = std::to_chars(p, text + sizeof text, scale).ptr;

    T value = zero;
    const std::from_chars_result result = std::from_chars(
        text, p, value, n->hex ? std::chars_format::hex : std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // 0.d... lies in [base^-1, 1), so a positive scale can only overflow
        // and a negative or zero one only underflow.
        return scale > 0 ? infinity : zero;
    }
    return n->negative ? -value : value;
}

} // namespace

float number_digits_to_float(const NumberDigits* n) noexcept
{
    return convert<float>(n);
}

double number_digits_to_double(const NumberDigits* n) noexcept
{
    return convert<double>(n);
}
