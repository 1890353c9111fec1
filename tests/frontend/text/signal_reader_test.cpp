// The signal reader against the C library's own "%f" scan, fgetc and feof on
// the same bytes.
#include "c_library_reference.h"
#include "signal_line.h"
#include "signal_stream.h"
#include "test_stream.h"
#include "value_scanner.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// text must outlive the stream.
std::FILE* open_text(const std::string& text)
{
    if (!text.empty()) {
        return fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    }
    return std::tmpfile(); // fmemopen refuses a size of zero
}

// A stream over text with the static buffer (capacity 0) or a small one.
struct Reader {
    std::FILE* file;
    std::vector<char> storage;
    SignalStream stream;

    Reader(const std::string& text, std::size_t capacity) : file(open_text(text)), storage(capacity)
    {
        if (capacity == 0) {
            test_stream_init(&stream, file);
        } else {
            signal_stream_init_buffer(&stream, file, storage.data(), capacity);
        }
    }
    ~Reader() { std::fclose(file); }
};

// Scans values with separators from text both ways until a scan fails,
// comparing each result, value, separator character and end-of-file flag.
void compare_scans(const std::string& text, std::size_t capacity)
{
    Reader mine(text, capacity);
    std::FILE* reference = open_text(text);
    for (int step = 0;; ++step) {
        float expected = 0.0f;
        float got = 0.0f;
        const bool expected_ok = std::fscanf(reference, "%f", &expected) == 1;
        const bool got_ok = scan_value(&mine.stream, &got);
        ASSERT_EQ(got_ok, expected_ok) << "scan " << step << " of \"" << text << '"';
        ASSERT_EQ(signal_stream_at_eof(&mine.stream), std::feof(reference) != 0)
            << "scan " << step << " of \"" << text << '"';
        if (!expected_ok) {
            break;
        }
        ASSERT_TRUE(same_value(got, expected)) << got << " vs " << expected << " at scan " << step
                                               << " of \"" << text << '"';
        ASSERT_EQ(signal_stream_get(&mine.stream), std::fgetc(reference))
            << "separator after scan " << step << " of \"" << text << '"';
        ASSERT_EQ(signal_stream_at_eof(&mine.stream), std::feof(reference) != 0);
    }
    std::fclose(reference);
}

void compare_lines(const std::string& text, std::size_t capacity)
{
    Reader mine(text, capacity);
    std::FILE* reference = open_text(text);
    for (int line = 0;; ++line) {
        float expected[SIGNAL_LINE_VALUES];
        float got[SIGNAL_LINE_VALUES];
        const bool expected_ok = reference_line(reference, expected);
        ASSERT_EQ(read_signal_line(&mine.stream, got), expected_ok) << "line " << line;
        ASSERT_EQ(signal_stream_at_eof(&mine.stream), std::feof(reference) != 0) << "line " << line;
        if (!expected_ok) {
            break;
        }
        for (int slot = 0; slot < SIGNAL_LINE_VALUES; ++slot) {
            ASSERT_TRUE(same_value(got[slot], expected[slot])) << "line " << line << " slot " << slot;
        }
    }
    std::fclose(reference);
}

// Texts that the scan takes apart in every way it can.
struct TextMaker {
    std::mt19937 random;

    unsigned below(unsigned n) { return static_cast<unsigned>(random() % n); }
    bool chance(unsigned one_in) { return below(one_in) == 0; }
    std::string pick(const std::string& set) { return std::string(1, set[below(static_cast<unsigned>(set.size()))]); }

    std::string digits(const std::string& set, unsigned most)
    {
        std::string out;
        for (unsigned n = below(most + 1); n > 0; --n) out += pick(set);
        return out;
    }

    std::string mixed_case(const std::string& word)
    {
        std::string out;
        for (const char c : word) out += chance(2) ? static_cast<char>(c - 32) : c;
        return out;
    }

    std::string token()
    {
        std::string out;
        if (chance(3)) out += pick("+-");
        switch (below(8)) {
        case 0: { // words, whole or cut short, and what may follow them
            const std::string word = chance(2) ? "infinity" : "nan";
            out += mixed_case(chance(2) ? word : word.substr(0, below(static_cast<unsigned>(word.size())) + 1));
            if (chance(3)) out += pick("(i1x,");
            return out;
        }
        case 1: // hexadecimal
            out += chance(2) ? "0x" : "0X";
            out += digits("0123456789abcdefABCDEF", 12);
            if (chance(2)) out += std::string(".") + digits("0123456789abcdef", 6);
            if (chance(2)) out += pick("pP") + digits("+-", 1) + digits("0123456789", 4);
            return out;
        case 2: // scales that underflow, overflow or land among subnormals
            out += digits("123456789", 9) + "." + digits("0123456789", 9);
            return out + pick("eE") + digits("+-", 1) + std::to_string(below(60)) +
                   (chance(4) ? "" : "0");
        case 3: // long runs of digits, some past the kept ones
            out += digits("1", 1) + std::string(below(1200), '0') + digits("0123456789", 3);
            return out + (chance(2) ? "e-" + std::to_string(below(1300)) : "");
        case 4: // junk, C1 and NUL bytes, a byte-order mark, lone signs and points
            out += pick(std::string("abxyz.,;+-e\x80\xff\xef\xbb\xbf", 17) + '\0');
            return out;
        default: // ordinary decimals, with dangling exponents and extra points
            out += digits("0123456789", 8);
            if (chance(2)) out += std::string(".") + digits("0123456789", 8);
            if (chance(3)) out += pick("eE") + digits("+-", 1) + digits("0123456789", 3);
            if (chance(6)) out += pick(".eE+-");
            return out;
        }
    }

    std::string separator()
    {
        std::string out = pick(",; \t\n\r\v\f,,,");
        while (chance(5)) out += pick(" \t\n\r\v\f");
        return out;
    }

    std::string text(unsigned tokens)
    {
        std::string out = chance(5) ? separator() : "";
        for (unsigned i = 0; i < tokens; ++i) out += token() + separator();
        // Cut anywhere, often inside the last token.
        if (chance(2)) out.resize(out.size() - below(static_cast<unsigned>(out.size()) + 1));
        return out;
    }
};

TEST(SignalReader, ScansLikeCLibraryOnRandomTexts)
{
    TextMaker maker{std::mt19937(1)};
    for (int i = 0; i < 100000; ++i) {
        const std::string text = maker.text(1 + maker.below(6));
        // The small buffers put the refill point inside tokens.
        for (const std::size_t capacity : {std::size_t{0}, std::size_t{16}, std::size_t{37}}) {
            compare_scans(text, capacity);
            if (HasFatalFailure()) return;
        }
    }
}

TEST(SignalReader, EdgeTexts)
{
    const std::string texts[] = {
        "1.5e,", "1e+;", ".", "-", "+", "0x,", "0xp3", "0x.p1", "-0x.", ".e5", "-.5", "1.e2", "00x1",
        "+inf", "-nan", "INFINITY", "infinit", "infinitx", "infin,", "inf,", "infx", "nan(1)", "na,",
        "in", "0x1p", "0x1p+", "0X1P-2,", "0x", "1e", "", " \t\n\v\f\r", "1..2", "1.2.3", "--1",
        "0x1.fffffep127", "0x1.ffffffp127", "0x1p-150", "0x1.8p-149", "1e39", "1e-50",
        "1.4e-45", "7.006492321624086e-46", "1e5e", "5.", "-0", "1e-99999999999999999999999999",
        "1e99999999999999999999999999", "\xef\xbb\xbf" "1,2", std::string("1,\0,2", 5), "\x85" "1",
    };
    for (const std::string& text : texts) {
        compare_scans(text, 0);
        compare_scans(text, 16);
    }
}

TEST(SignalReader, LinesLikeCLibrary)
{
    TextMaker maker{std::mt19937(2)};
    for (int i = 0; i < 300; ++i) {
        std::string text;
        const int lines = 1 + static_cast<int>(maker.below(4));
        for (int line = 0; line < lines; ++line) {
            for (int slot = 0; slot < SIGNAL_LINE_VALUES; ++slot) {
                text += (maker.chance(200) ? maker.token() : maker.digits("0123456789", 3) + "." +
                                                                 maker.digits("0123456789", 7));
                text += slot == 63 ? (maker.chance(2) ? "\r\n" : "\n") : maker.separator();
            }
        }
        if (maker.chance(3)) text.resize(text.size() - maker.below(40));
        compare_lines(text, 0);
        compare_lines(text, 64);
    }
}

// Lines of the plain shape that the whole-line reader takes, with the
// characters around each value that must send it back to the general scan:
// long digit runs, exponents, second points, "0x", white space, line feeds
// inside the signal, and values cut by the end of the text.
TEST(SignalReader, PlainLinesAndTheirNearMissesLikeCLibrary)
{
    TextMaker maker{std::mt19937(8)};
    const char* const odd_tails[] = {"e5", "E-1", ".", "x1", "..", "e"};
    const char* const odd_words[] = {"0x1", "0x", "1e5", ".5", "-.5", "1.", "nan", "00x2"};
    for (int i = 0; i < 400; ++i) {
        std::string text;
        for (int line = 0; line < 3; ++line) {
            for (int slot = 0; slot < SIGNAL_LINE_VALUES; ++slot) {
                text += maker.pick("-+-  ").substr(0, maker.chance(3) ? 1 : 0);
                if (maker.chance(300)) {
                    text += odd_words[maker.below(8)];
                    text += maker.pick(",;\n");
                    continue;
                }
                // Mostly whole lines of the plain shape, so that a near miss is
                // often the only thing that sends a line to the general scan.
                text += maker.pick("123456789");
                text += maker.digits("0123456789", maker.chance(50) ? 12 : 2);
                if (!maker.chance(20)) {
                    text += '.';
                    text += maker.pick("0123456789");
                    text += maker.digits("0123456789", maker.chance(50) ? 12 : 7);
                }
                if (maker.chance(200)) text += odd_tails[maker.below(6)];
                text += slot == 63 ? (maker.chance(3) ? "\r\n" : "\n") : (maker.chance(1000) ? "\n" : maker.pick(",,;\t "));
            }
        }
        if (maker.chance(2)) text.resize(text.size() - maker.below(30));
        compare_lines(text, 0);
        compare_lines(text, 64);
    }
}

// A file several times the buffer, so tokens of every length sit across the
// refill points of the static buffer.
TEST(SignalReader, StraddlesBufferRefills)
{
    TextMaker maker{std::mt19937(3)};
    std::string text;
    while (text.size() < 3 * TEST_STREAM_BUFFER_SIZE + 12345) {
        text += maker.digits("-", 1) + maker.digits("0123456789", 30) + "." +
                maker.digits("0123456789", 30) + (maker.chance(3) ? "e-7" : "") + maker.separator();
    }
    compare_scans(text, 0);
    compare_lines(text, 0);
}

// Tokens longer than the whole buffer: their value rests on their first
// digits, their scale, and whether a nonzero digit comes far down.
TEST(SignalReader, TokensLongerThanBuffer)
{
    const std::string zeros(TEST_STREAM_BUFFER_SIZE + TEST_STREAM_BUFFER_SIZE / 2, '0');
    const std::string exponent = std::to_string(zeros.size());
    // 2^-150, halfway between 0 and the smallest subnormal.
    const std::string half_tiny = "7.00649232162408535461864791644958065640130970938257885878534141944"
                                  "895541342930300743319094181060791015625";
    const std::string texts[] = {
        "1" + zeros + "e-" + exponent + ",2,",
        "-0." + zeros + "1e" + exponent + "\n",
        "0x" + zeros + "1p-4;" + "1" + zeros + "e,",
        "0x1." + zeros + "1p0,",
        half_tiny + zeros + "1e-46,", // just above the tie: the smallest subnormal
        half_tiny + zeros + "e-46,",  // the tie itself: to even, zero
        "." + zeros,
    };
    for (const std::string& text : texts) {
        compare_scans(text, 0);
    }
}

// Reading a directory fails with an error: that is not the end of the file.
TEST(SignalReader, ReadErrorIsNotEndOfFile)
{
    for (const bool reference : {false, true}) {
        std::FILE* directory = std::fopen(".", "rb");
        ASSERT_NE(directory, nullptr);
        float values[SIGNAL_LINE_VALUES];
        SignalStream stream;
        test_stream_init(&stream, directory);
        EXPECT_FALSE(reference ? reference_line(directory, values) : read_signal_line(&stream, values));
        EXPECT_FALSE(reference ? std::feof(directory) != 0 : signal_stream_at_eof(&stream));
        std::fclose(directory);
    }
}

} // namespace

// Short plain decimals (at most 15 digits, no exponent) take a shortcut
// through one double division; texts on, just beside and far from float
// midpoints must still read as the C library reads them.
TEST(SignalReader, ShortDecimalsNearFloatMidpoints)
{
    std::mt19937 generator(99);
    // Floats from about 1e-6 to 1e15, where such texts are short.
    std::uniform_int_distribution<std::uint32_t> bits(0x358637bdu, 0x58635fa9u);
    std::vector<std::string> texts = {
        // Midpoints written exactly with few digits.
        "16777217,16777217.0,33554434,33554435,-8388608.5,8388609.5,0.500000014901161,",
    };
    for (int i = 0; i < 20000; ++i) {
        const float f = std::bit_cast<float>(bits(generator));
        const double midpoint = (static_cast<double>(f) + static_cast<double>(std::nextafter(f, INFINITY))) / 2.0;
        std::string text;
        for (int decimals = 0; decimals <= 14; decimals += 2) {
            char word[400];
            std::snprintf(word, sizeof word, "%.*f,", decimals, midpoint);
            if (std::strlen(word) <= 17) {
                text += word;
                text += '-';
                text += word;
            }
        }
        texts.push_back(text);
    }
    for (const std::string& text : texts) {
        compare_scans(text, 0);
        compare_scans(text, 24);
    }
}

// Long decimals (more digits than a double holds exactly, as "%.17g" and
// "%.18e" write them) on, just beside and far from float midpoints, at every
// scale from the least normal float to overflow: the converter's double
// estimate must leave each text whose float it cannot decide to the exact path.
TEST(SignalReader, LongDecimalsNearFloatMidpointsLikeCLibrary)
{
    std::mt19937 generator(100);
    std::uniform_int_distribution<std::uint32_t> bits(0x00800000u, 0x7f7fffffu);
    std::string text;
    for (int i = 0; i < 20000; ++i) {
        const float f = std::bit_cast<float>(bits(generator));
        const double midpoint = (static_cast<double>(f) + static_cast<double>(std::nextafter(f, INFINITY))) / 2.0;
        for (const double d : {midpoint, std::nextafter(midpoint, 0.0), std::nextafter(midpoint, INFINITY),
                               static_cast<double>(f)}) {
            char word[64];
            std::snprintf(word, sizeof word, i % 2 ? "%.*e," : "%.*g,", 16 + i % 5, d);
            text += word;
        }
    }
    text += "3.4028235677973366e38,3.40282356779733661637539395458142568448e38,1.1754942807573643e-38,";
    compare_scans(text, 0);
}
