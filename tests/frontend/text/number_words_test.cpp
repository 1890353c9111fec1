#include "number_array_word.h"
#include "number_line_word.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

namespace {

TEST(LineNumberWord, Cases)
{
    const struct {
        const char* word;
        std::int32_t value;
    } cases[] = {
        {"0", 0},
        {"12", 12},
        {"2x", 2},
        {"abc", 0},
        {"", 0},
        {" \t\n\v\f\r+7", 7},
        {"-15", -15},
        {"+-3", 0},
        {"- 3", 0},
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"99999999999999999999999999999999", INT32_MAX},
        {"-000000000000000000000000000000000000042", -42},
        {"4294967297", INT32_MAX}, // no wrap-around through the low 32 bits
        {"1e3", 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_line_number(c.word), c.value) << '"' << c.word << '"';
    }
}

std::uint32_t bits_of(float value)
{
    return std::bit_cast<std::uint32_t>(value);
}

// The C library's conversion, the reference for every array word.
float reference_array_value(const char* word)
{
    return static_cast<float>(std::strtod(word, nullptr));
}

void expect_like_reference(const std::string& word)
{
    const float mine = array_word_value(word.c_str());
    const float reference = reference_array_value(word.c_str());
    if (std::isnan(reference)) {
        EXPECT_TRUE(std::isnan(mine)) << word;
        EXPECT_EQ(std::signbit(mine), std::signbit(reference)) << word;
    } else {
        EXPECT_EQ(bits_of(mine), bits_of(reference)) << word;
    }
}

TEST(ArrayWord, Cases)
{
    EXPECT_EQ(array_word_value("2.5e1x"), 25.0f);
    EXPECT_EQ(array_word_value("abc"), 0.0f);
    EXPECT_EQ(array_word_value("1e"), 1.0f);
    EXPECT_EQ(bits_of(array_word_value("-0x")), bits_of(-0.0f));
    EXPECT_EQ(bits_of(array_word_value("-")), bits_of(0.0f));
    // 1 + 2^-24 + 10^-36: the nearest double is the float midpoint 1 + 2^-24,
    // which then rounds to even, 1; the direct float rounding gives 1 + 2^-23.
    EXPECT_EQ(array_word_value("1.000000059604644775390625000000000001"), 1.0f);
    const char* words[] = {
        "0", "-0", "  +1.5", "\t\n\v\f\r-2", ".5", "-.5", "5.", ".", "-.", "+", ".e5", "1e+", "1e-",
        "1E5", "1e+5x", "1e-5", "1.e2", "1..2", "00x1", "0x", "0X", "0xp3", "0x.p1", "0x.8", "0x1p",
        "0x1p+", "0x1.8p3", "0X1.8P-3", "0x1.fffffffffffff8p0", "0x1p-1075", "0x1p-1074", "0x1p1024",
        "0xABCDEFp-20", "inf", "-INF", "Infinity", "infin", "nan", "-NaN", "nan(123)", "nan(", "na",
        "i", "3.4028235e38", "3.4028236e38", "1e39", "-1e400", "1e-400", "1e-45", "7e-46", "1.4e-45",
        "2.4703282292062327e-324", "2.4703282292062328e-324", "1e99999999999999999999999",
        "1e-99999999999999999999999", "0.000000000000000000000000000000000000000000000000001e51",
        "\x80" "1", "\xEF\xBB\xBF" "1",
    };
    for (const char* word : words) {
        expect_like_reference(word);
    }
}

// Random words: decimal and hex digits at all scales, long digit runs whose
// dropped tail only matters as nonzero, and double-rounding candidates.
TEST(ArrayWord, MatchesCLibraryOnRandomWords)
{
    std::mt19937 random(7);
    const auto pick = [&](const char* set) {
        const std::string s = set;
        return s[random() % s.size()];
    };
    for (int i = 0; i < 60000; ++i) {
        std::string word;
        const bool hex = random() % 4 == 0;
        if (random() % 3 == 0) word += pick("+- ");
        if (hex) word += random() % 2 ? "0x" : "0X";
        const int digits = random() % 10 == 0 ? 900 + static_cast<int>(random() % 300)
                                              : static_cast<int>(random() % 25);
        for (int d = 0; d < digits; ++d) {
            if (d == 0 && random() % 3 == 0) word += '.';
            word += hex ? pick("0123456789abcdefABCDEF0000") : pick("0123456789000");
            if (random() % 30 == 0) word += '.';
        }
        if (random() % 2) {
            word += hex ? pick("pP") : pick("eE");
            if (random() % 2) word += pick("+-");
            word += std::to_string(random() % (hex ? 1200 : 360));
        }
        if (random() % 4 == 0) word += pick("x.e,5");
        expect_like_reference(word);
    }
}

} // namespace
