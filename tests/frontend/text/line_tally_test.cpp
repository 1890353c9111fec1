// The line tally against hand-counted files, and the tallied reader against
// the plain one on the same bytes.
#include "line_tally.h"
#include "signal_line.h"
#include "signal_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string values_line(int count, const char* end = "\n", const char* separator = ",")
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += std::to_string(i % 7 - 3) + ".5";
        text += i + 1 < count ? separator : end;
    }
    return text;
}

struct TallyRun {
    LineTally tally;
    int signals;     // signals read before the first failure, at most `wanted`
    bool failed;
    bool at_eof;
};

// Reads `wanted` signals both ways (a small buffer, so that texts cross
// refills), checks that the two readers agree, and finishes the tally.
TallyRun read_both(const std::string& text, int wanted)
{
    std::FILE* plain_file = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    std::FILE* tallied_file = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    std::vector<char> plain_storage(64);
    std::vector<char> tallied_storage(64);
    SignalStream plain;
    SignalStream tallied;
    signal_stream_init_buffer(&plain, plain_file, plain_storage.data(), plain_storage.size());
    signal_stream_init_buffer(&tallied, tallied_file, tallied_storage.data(), tallied_storage.size());
    TallyRun run{};
    line_tally_start(&run.tally, 1);
    for (; run.signals < wanted; ++run.signals) {
        float expected[SIGNAL_LINE_VALUES];
        float got[SIGNAL_LINE_VALUES];
        const bool expected_ok = read_signal_line(&plain, expected);
        const bool got_ok = read_signal_line_tallied(&tallied, got, &run.tally);
        EXPECT_EQ(got_ok, expected_ok);
        EXPECT_EQ(signal_stream_at_eof(&tallied), signal_stream_at_eof(&plain));
        if (!got_ok) {
            run.failed = true;
            break;
        }
        EXPECT_EQ(0, std::memcmp(got, expected, sizeof got));
        EXPECT_EQ(signal_stream_offset(&tallied), signal_stream_offset(&plain));
    }
    run.at_eof = signal_stream_at_eof(&tallied);
    if (!run.failed) {
        line_tally_finish(&tallied, &run.tally);
    }
    std::fclose(plain_file);
    std::fclose(tallied_file);
    return run;
}

TEST(LineTally, AlignedFilesInEveryLayout)
{
    const std::string plain = values_line(64) + values_line(64) + values_line(64);
    const std::string crlf = values_line(64, "\r\n") + values_line(64, "\r\n");
    const std::string trailing = values_line(64, ",\n") + values_line(64, " \t\n", " ");
    for (const std::string& text : {plain, crlf, trailing}) {
        const TallyRun run = read_both(text, static_cast<int>(std::count(text.begin(), text.end(), '\n')));
        EXPECT_FALSE(run.failed);
        EXPECT_EQ(run.tally.off_line, 0) << text;
    }
}

// The raw EMG files' shape: 64 values and a label column on every line.
TEST(LineTally, LabelColumnIsLineOneWith65)
{
    std::string text;
    for (int line = 0; line < 3; ++line) {
        text += values_line(64, ",") + "2\n";
    }
    const TallyRun run = read_both(text, 3);
    EXPECT_FALSE(run.failed);
    EXPECT_EQ(run.tally.off_line, 1);
    EXPECT_EQ(run.tally.off_values, 65);
}

TEST(LineTally, ShortLineNamesItsOwnCount)
{
    const TallyRun run = read_both(values_line(64) + values_line(63) + values_line(64) + values_line(65), 4);
    EXPECT_FALSE(run.failed);
    EXPECT_EQ(run.tally.off_line, 2);
    EXPECT_EQ(run.tally.off_values, 63);
}

TEST(LineTally, EmptyLineHoldsNoValue)
{
    const TallyRun run = read_both(values_line(64) + "\n" + values_line(64), 3);
    EXPECT_TRUE(run.failed);
    EXPECT_TRUE(run.at_eof);
    EXPECT_EQ(run.tally.off_line, 2);
    EXPECT_EQ(run.tally.off_values, 0);
}

// The last signal's line is closed by reading the rest of that line only.
TEST(LineTally, FinishCountsValuesLeftOnTheLastLine)
{
    TallyRun run = read_both(values_line(64) + values_line(66) + values_line(64), 2);
    EXPECT_EQ(run.tally.off_line, 2);
    EXPECT_EQ(run.tally.off_values, 66);
    // A text label after the values converts to nothing and is not a value.
    run = read_both(values_line(64) + values_line(64, ",Rock\n") + "junk", 2);
    EXPECT_EQ(run.tally.off_line, 0);
}

} // namespace
