// Every text of up to five characters over an alphabet that reaches each
// rule of the grammar (digits, point, signs, exponent letters of both bases,
// the hex marker, the letters of the words in both cases, white space and a
// separator), read by each path of the number text and by the C library:
// the lexer and converter alone, the scan with its short-decimal path, the
// short-decimal and plain-value fast paths wherever they take the text, and
// the atof word.
#include "c_library_reference.h"
#include "decimal_scan.h"
#include "number_array_word.h"
#include "number_chars.h"
#include "plain_signal.h"
#include "signal_stream.h"
#include "value_scanner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr char ALPHABET[] = "019.+-eExXpPnNaiIfF ,";
constexpr std::size_t LETTERS = sizeof ALPHABET - 1;
static_assert(LETTERS == 21);

struct Scan {
    bool ok;
    float value;
    long taken;
    bool at_eof;
};

Scan reference_scan(const std::string& text)
{
    std::FILE* file = text.empty() ? std::tmpfile() : fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    Scan scan{};
    scan.ok = std::fscanf(file, "%f", &scan.value) == 1;
    scan.taken = std::ftell(file);
    scan.at_eof = std::feof(file) != 0;
    std::fclose(file);
    return scan;
}

Scan our_scan(const std::string& text, bool (*scan_function)(SignalStream*, float*))
{
    SignalStream stream;
    signal_stream_init_memory(&stream, text.data(), text.size());
    Scan scan{};
    scan.ok = scan_function(&stream, &scan.value);
    scan.taken = static_cast<long>(signal_stream_offset(&stream));
    scan.at_eof = signal_stream_at_eof(&stream);
    return scan;
}

// Empty when alike, else what differs.
std::string difference(const Scan& got, const Scan& expected)
{
    if (got.ok != expected.ok) return "success";
    if (got.taken != expected.taken) return "characters taken";
    if (got.at_eof != expected.at_eof) return "end-of-file flag";
    if (got.ok && !same_value(got.value, expected.value)) return "value";
    return "";
}

// A fast path that took the text [start, end) must agree with the scan.
std::string fast_path_difference(const char* end, float value, const std::string& text, const Scan& expected)
{
    if (end == nullptr) return "";
    if (!expected.ok || end - text.data() != expected.taken || !same_value(value, expected.value)) {
        return "fast path";
    }
    return "";
}

std::string check(const std::string& text)
{
    const Scan expected = reference_scan(text);
    std::string wrong = difference(our_scan(text, scan_value_general), expected);
    if (wrong.empty()) wrong = difference(our_scan(text, scan_value), expected);

    const char* const limit = text.data() + text.size();
    const char* start = text.data();
    while (start != limit && is_number_space(static_cast<unsigned char>(*start))) ++start;
    if (wrong.empty() && start != limit) {
        float value = 0.0f;
        const char* end = scan_decimal(start, limit, &value);
        wrong = fast_path_difference(end, value, text, expected);
        if (wrong.empty()) {
            end = read_plain_value(start, limit, &value);
            wrong = fast_path_difference(end, value, text, expected);
        }
    }
    if (wrong.empty() && !same_value(array_word_value(text.c_str()),
                                     static_cast<float>(std::strtod(text.c_str(), nullptr)))) {
        wrong = "atof word";
    }
    return wrong;
}

TEST(ShortTexts, EveryTextLikeCLibrary)
{
    std::string text;
    std::size_t checked = 0;
    for (std::size_t length = 0; length <= 5; ++length) {
        std::size_t count = 1;
        for (std::size_t i = 0; i < length; ++i) count *= LETTERS;
        text.assign(length, ' ');
        for (std::size_t n = 0; n < count; ++n) {
            std::size_t rest = n;
            for (std::size_t i = 0; i < length; ++i, rest /= LETTERS) text[i] = ALPHABET[rest % LETTERS];
            const std::string wrong = check(text);
            ASSERT_EQ(wrong, "") << '"' << text << '"';
            ++checked;
        }
    }
    EXPECT_EQ(checked, 4288306u); // 1 + 21 + 21^2 + ... + 21^5
}

} // namespace
