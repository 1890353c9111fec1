// Long number texts against the C library's strtof (strtod, then a narrowing,
// for the atof word), through every path that turns a text into a float:
// the scan with its decimal fast path, the fast path on its own (in place
// and on its copy at a buffer's end, with each way of reading the digits
// that the processor has), the lexer and converter alone, the signal line,
// and the atof word.
//
// Decimals of 16 to 20 significant digits near a float rounding midpoint,
// in every binade from the least subnormal to the largest float: printf's exact
// rounding of the midpoint (a double) to D digits, its last digit moved by
// up to 3, written with or without a point and an exponent. Hex texts of 17
// to 28 digits: a float's 24 bits, a rounding bit, then zeros or a late
// nonzero digit. DIFFERENTIAL_CASES texts in all (ctest's exhaustive label
// runs 12 million).
#include "c_library_reference.h"
#include "decimal_scan.h"
#include "number_array_word.h"
#include "signal_line.h"
#include "signal_stream.h"
#include "value_scanner.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#ifndef DIFFERENTIAL_CASES
#define DIFFERENTIAL_CASES 400000
#endif

namespace {

using Random = std::mt19937_64;

int uniform(Random& random, int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(random);
}

// The midpoint above a random float whose leading bit is 2^exponent, or that
// float itself; exponent -150 gives half the least subnormal.
double midpoint(Random& random, int exponent, bool on_float)
{
    if (exponent < -149) {
        return 0x1p-150;
    }
    // The float's last place: 2^-149 for the subnormals, else 23 bits below its leading bit.
    const int last = exponent < -126 ? -149 : exponent - 23;
    const int width = exponent - last; // bits below the leading one
    const std::uint64_t below = width == 0 ? 0 : random() & ((std::uint64_t{1} << width) - 1);
    const std::uint64_t mantissa = std::uint64_t{1} << width | below;
    return std::ldexp(static_cast<double>(2 * mantissa + !on_float), last - 1);
}

// D significant digits of x (D from 16 to 20), the last one moved by up to
// 3, written in one of the forms a program prints.
std::string decimal_text(Random& random, double x)
{
    const int digits = uniform(random, 16, 20);
    char printed[64];
    std::snprintf(printed, sizeof printed, "%.*e", digits - 1, x);
    std::string mantissa(printed, 1);
    mantissa.append(printed + 2, static_cast<std::size_t>(digits - 1));
    int exponent = std::atoi(std::strchr(printed, 'e') + 1);
    // Move the last digit, carrying; a carry past the first digit or a
    // borrow to zero leaves the text as printed.
    const int step = uniform(random, -3, 3);
    std::string moved = mantissa;
    int carry = step;
    for (std::size_t i = moved.size(); carry != 0 && i-- > 0;) {
        int d = moved[i] - '0' + carry;
        carry = d < 0 ? -1 : d > 9 ? 1 : 0;
        moved[i] = static_cast<char>('0' + (d + 10) % 10);
    }
    if (carry == 0 && moved[0] != '0') mantissa = moved;

    std::string text = uniform(random, 0, 3) == 0 ? "-" : uniform(random, 0, 8) == 0 ? "+" : "";
    const int form = uniform(random, 0, 2);
    if (form == 0 || exponent < -25 || exponent > 25) {
        // d.ddd e+X, or all digits then e+X
        const bool point = uniform(random, 0, 1) == 0;
        text += point ? mantissa.substr(0, 1) + "." + mantissa.substr(1) : mantissa;
        const int written = point ? exponent : exponent - (digits - 1);
        char tail[16];
        std::snprintf(tail, sizeof tail, uniform(random, 0, 1) ? "e%+03d" : "E%d", written);
        return text + tail;
    }
    if (exponent < 0) {
        return text + "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + mantissa;
    }
    if (exponent + 1 >= digits) {
        return text + mantissa + std::string(static_cast<std::size_t>(exponent + 1 - digits), '0');
    }
    const auto whole = static_cast<std::size_t>(exponent + 1);
    return text + mantissa.substr(0, whole) + "." + mantissa.substr(whole);
}

// "0x" + 24 bits of a float (a leading 1 and 23 bits), a rounding bit, zeros
// up to 18 to 29 hex digits and a nonzero last digit or not, with a 'p'
// exponent that puts the leading bit at 2^exponent. *exact receives the same
// value with any nonzero tail as one bit below the rounding bit: a double,
// whose narrowing rounds as the text must.
std::string hex_text(Random& random, int exponent, double* exact)
{
    const std::uint64_t bits = (std::uint64_t{1} << 24) | (random() & 0xFFFFFFu); // 24 bits and the rounding bit
    std::string digits = "1";
    static const char HEX[] = "0123456789abcdef";
    for (int shift = 20; shift >= 0; shift -= 4) digits += HEX[(bits >> shift) & 0xFu];
    digits.append(static_cast<std::size_t>(uniform(random, 11, 22)), '0');
    const bool tail = uniform(random, 0, 2) == 0;
    if (tail) digits.back() = HEX[uniform(random, 1, 15)];
    *exact = std::ldexp(static_cast<double>(bits << 1 | tail), exponent - 25);
    char end[16];
    std::snprintf(end, sizeof end, "p%d", exponent - 4 * (static_cast<int>(digits.size()) - 1));
    const bool negative = uniform(random, 0, 3) == 0;
    *exact = negative ? -*exact : *exact;
    return (negative ? "-0x" : "0x") + digits + end;
}

// The decimal path with each way of reading the digits that this processor has.
using FastScan = const char* (*)(const char*, const char*, float*);

const char* scan_baseline(const char* p, const char* limit, float* value)
{
    return scan_decimal(p, limit, value);
}

#if defined(OMBREL_DIGIT_WORDS_AVX2)
[[gnu::target(OMBREL_AVX2_TARGET), gnu::flatten]] const char* scan_avx2(const char* p, const char* limit, float* value)
{
    return scan_decimal<Avx2Digits>(p, limit, value);
}
#endif

std::vector<FastScan> fast_scans()
{
    std::vector<FastScan> scans{scan_baseline};
#if defined(OMBREL_DIGIT_WORDS_AVX2)
    if (avx2_present()) scans.push_back(scan_avx2);
#endif
    return scans;
}

// The text and a space, then as many more spaces as the decimal path reads
// in place (the text at the buffer's end goes through a copy).
std::string padded(const std::string& text)
{
    return text + std::string(DECIMAL_SCAN_SPAN + 1, ' ');
}

struct Checker {
    const std::vector<FastScan> fast = fast_scans();

    std::string line;
    float line_expected[SIGNAL_LINE_VALUES];
    int in_line = 0;

    // Empty when every path agrees with the C library on text.
    // Empty when every path agrees with `expected` (strtof's, unless given)
    // and the C library's end of the text.
    std::string check(const std::string& text, const double* exact = nullptr)
    {
        char* end = nullptr;
        const float library = std::strtof(text.c_str(), &end);
        const float expected = exact != nullptr ? static_cast<float>(*exact) : library;
        const auto taken = end - text.c_str();
        const std::string spaced = text + " ";
        for (auto scan : {scan_value, scan_value_general}) {
            SignalStream s;
            signal_stream_init_memory(&s, spaced.data(), spaced.size());
            float got = 0.0f;
            if (!scan(&s, &got) || !same_value(got, expected) || signal_stream_offset(&s) != taken) {
                return scan == scan_value ? "scan" : "lexer and converter";
            }
        }
        for (const std::string& buffer : {spaced, padded(text)}) {
            for (FastScan scan : fast) {
                float value = 0.0f;
                const char* fast_end = scan(buffer.data(), buffer.data() + buffer.size(), &value);
                if (fast_end != nullptr && (!same_value(value, expected) || fast_end - buffer.data() != taken)) {
                    return "decimal fast path";
                }
            }
        }
        if (!same_value(array_word_value(text.c_str()), static_cast<float>(std::strtod(text.c_str(), nullptr)))) {
            return "atof word";
        }
        return add_to_line(text, expected);
    }

    // Every 64 texts, one signal line of them.
    std::string add_to_line(const std::string& text, float expected)
    {
        line += text + (in_line + 1 < SIGNAL_LINE_VALUES ? "," : "\n");
        line_expected[in_line++] = expected;
        if (in_line < SIGNAL_LINE_VALUES) return "";
        SignalStream s;
        signal_stream_init_memory(&s, line.data(), line.size());
        float values[SIGNAL_LINE_VALUES];
        const bool read = read_signal_line(&s, values);
        in_line = 0;
        line.clear();
        for (int i = 0; i < SIGNAL_LINE_VALUES; ++i) {
            if (!read || !same_value(values[i], line_expected[i])) return "signal line";
        }
        return "";
    }
};

TEST(StrtofDifferential, LongTextsNearMidpointsInEveryBinade)
{
    Random random(20261207);
    Checker checker;
    const long cases = DIFFERENTIAL_CASES;
    long hex = 0;
    for (long n = 0; n < cases; ++n) {
        // Every binade, subnormal ones included, half the least subnormal and
        // the overflow threshold (128).
        const int exponent = uniform(random, -150, 128);
        std::string text;
        double exact = 0.0;
        if (n % 16 == 15) {
            text = hex_text(random, exponent, &exact);
            ++hex;
        } else {
            const int kind = uniform(random, 0, 7);
            const double x = exponent == 128 ? 0x1.ffffffp127 : midpoint(random, exponent, kind == 0);
            text = decimal_text(random, kind == 1 ? x * (1.0 + std::ldexp(uniform(random, -64, 64), -40)) : x);
        }
        const std::string wrong = checker.check(text, n % 16 == 15 ? &exact : nullptr);
        ASSERT_EQ(wrong, "") << text;
    }
    EXPECT_EQ(hex, cases / 16);
}

// Random digits, a quarter of them zeros (leading, trailing and inner runs).
std::string random_digits(Random& random, int count)
{
    std::string digits;
    for (int i = 0; i < count; ++i) {
        digits += static_cast<char>('0' + (uniform(random, 0, 3) == 0 ? 0 : uniform(random, 0, 9)));
    }
    return digits;
}

// Every shape that the decimal path reads, and the first ones past it: 0 to
// 20 digits before and after the point (21 in all), with and without the
// point, a sign, and each exponent form (none; 'e' or 'E'; no sign, '+' or
// '-'; 0 to 5 digits); eight texts of each. Each is also read where it runs
// to the end of the buffer: the decimal path may not take it as ended there,
// and must take every other text of its grammar whose float is normal.
// (The short texts test reads exponent letters without digits as C does.)
TEST(StrtofDifferential, EveryShapeOfTheDecimalPath)
{
    Random random(20261208);
    Checker checker;
    long checked = 0;
    for (int whole = 0; whole <= 20; ++whole) {
        for (int fraction = 0; whole + fraction <= 21; ++fraction) {
            for (int form = 0; form < 8 * 37; ++form) {
                const bool point = fraction > 0 || uniform(random, 0, 1) == 1;
                if (whole + fraction == 0) continue;
                std::string text = std::string("+-").substr(static_cast<std::size_t>(uniform(random, 0, 2)), 1);
                text += random_digits(random, whole) + (point ? "." : "") + random_digits(random, fraction);
                if (const int exponent = form % 37 - 1; exponent >= 0) {
                    text += "eE"[exponent % 2];
                    text += std::string("+-").substr(static_cast<std::size_t>(exponent / 2 % 3), 1);
                    text += random_digits(random, exponent / 6);
                }
                float value = 0.0f;
                ASSERT_EQ(scan_decimal(text.data(), text.data() + text.size(), &value), nullptr) << text;
                const std::string buffer = padded(text);
                if (form % 37 != 0 && (form % 37 - 1) / 6 == 0) {
                    // An exponent letter without digits: the scan takes it
                    // (as C's "%f" does, unlike strtof), the decimal path not.
                    for (FastScan scan : checker.fast) {
                        ASSERT_EQ(scan(buffer.data(), buffer.data() + buffer.size(), &value), nullptr) << text;
                    }
                    continue;
                }
                const std::string wrong = checker.check(text);
                ASSERT_EQ(wrong, "") << text;
                // Within its grammar, the decimal path decides every normal
                // float but at a midpoint (the double of such a text is one).
                const int exponent_digits = form % 37 == 0 ? 1 : (form % 37 - 1) / 6;
                const double near = std::strtod(text.c_str(), nullptr);
                const bool midpoint = (std::bit_cast<std::uint64_t>(near) & 0x1FFFFFFFu) == 0x10000000u;
                if (whole + fraction <= 19 && exponent_digits <= 4 && !midpoint &&
                    std::isnormal(static_cast<float>(near))) {
                    for (FastScan scan : checker.fast) {
                        ASSERT_NE(scan(buffer.data(), buffer.data() + buffer.size(), &value), nullptr) << text;
                    }
                }
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, 251L * 8 * 31); // 22 + 21 + ... + 2 digit counts less the empty one, 31 forms with digits
}

// Decimals whose value is a binary fraction, as numpy writes 0.5
// ("5.000000000000000000e-01"), and the same in fixed notation: for these
// the product lies just under an integer, where the window decides them by
// rounding that integer; float midpoints among them (m of 25 bits) are ties
// it must leave to the exact path.
TEST(StrtofDifferential, BinaryFractionsInEveryForm)
{
    Random random(20261209);
    Checker checker;
    for (int n = 0; n < 200000; ++n) {
        const auto m = static_cast<double>(random() >> uniform(random, 38, 63));
        const double x = std::ldexp(m, uniform(random, -60, 60));
        char text[96];
        if (n % 2 == 0) {
            std::snprintf(text, sizeof text, "%.18e", x);
        } else {
            std::snprintf(text, sizeof text, "%.*f", uniform(random, 0, 19), x);
        }
        const std::string wrong = checker.check(text);
        ASSERT_EQ(wrong, "") << text;
    }
}

} // namespace
