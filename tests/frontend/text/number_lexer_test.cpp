// The lexer over a value split across spans: whatever bytes each refill
// brings, the record and the bytes taken are those of one span.
#include "number_converter.h"
#include "number_lexer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>

namespace {

struct Outcome {
    std::size_t taken;
    bool ran_out;
    NumberForm form;
    bool broken_infinity;
    std::uint32_t float_bits;
    std::uint64_t double_bits;

    bool operator==(const Outcome&) const = default;
};

// The text in up to three spans, [0, first), [first, second) and the rest,
// as a stream hands them out: a span that the lexer takes whole is followed
// by the next, and the last is final.
Outcome lex_in_spans(const std::string& text, std::size_t first, std::size_t second)
{
    NumberRecord r;
    number_lexer_start(&r);
    const std::size_t cuts[] = {first, second, text.size()};
    Outcome out{};
    std::size_t at = 0;
    for (int span = 0; span < 3; ++span) {
        const LexStep step = number_lex(&r, text.data() + at, text.data() + cuts[span], span == 2);
        at += step.taken;
        out.ran_out = step.ran_out;
        if (!step.ran_out) {
            break;
        }
        EXPECT_EQ(at, cuts[span]) << "a span that ran out was not taken whole";
    }
    out.taken = at;
    out.form = r.form;
    out.broken_infinity = r.broken_infinity;
    if (r.form != NumberForm::NONE) {
        out.float_bits = std::bit_cast<std::uint32_t>(number_to_float(&r));
        out.double_bits = std::bit_cast<std::uint64_t>(number_to_double(&r));
    }
    return out;
}

TEST(NumberLexer, EverySplitOverTwoRefillsLexesAsOneSpan)
{
    const std::string digits_800(800, '3');
    const std::string texts[] = {
        "-1.5e+10,", "0x1.8p-3 ", "+.25E-2", "1e", "1e+,", "0x,", "0x.p1", "00x1", "-.5.", "12345678901234567890123e-3;",
        "infinity,", "INFx", "infinit,", "nan(", "-NaN", "na", "+", "\n",
        "0.00000000000000000000000000000000000000000000140129846432481707092372958328991613128026194187651577175706828388979108268586060148663818836212158203125,",
        "9." + digits_800 + "1e-50,", // digits past those kept: sticky
        "0x1.fffffep127 ", "0x1.ffffffffffffffffffp-150,",
    };
    for (const std::string& text : texts) {
        const Outcome whole = lex_in_spans(text, text.size(), text.size());
        for (std::size_t first = 0; first <= text.size(); ++first) {
            // Long texts: every first cut, the second near it and at the end.
            for (std::size_t second = first; second <= text.size(); ++second) {
                if (text.size() > 40 && second > first + 3 && second + 3 < text.size()) {
                    continue;
                }
                ASSERT_EQ(lex_in_spans(text, first, second), whole)
                    << '"' << text << "\" split at " << first << " and " << second;
            }
        }
    }
}

} // namespace
