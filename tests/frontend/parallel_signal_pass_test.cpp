// The threaded pass on its own: where it hands over to the sequential reader,
// and the records it gives before that. (Its reports are compared with the
// sequential pass's by run_parallel_pass_tests.py.)
#include "parallel_signal_pass.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Record {
    std::int32_t line;
    bool last;
};

bool collect(void* sink, std::int32_t line, const float*, std::uint16_t, bool last) noexcept
{
    static_cast<std::vector<Record>*>(sink)->push_back({line, last});
    return true;
}

bool refuse(void*, std::int32_t, const float*, std::uint16_t, bool) noexcept
{
    return false;
}

std::vector<float> knowledge_floats()
{
    std::ifstream in(OMBREL_TEST_KNOWLEDGE, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> floats(bytes.size() / sizeof(float));
    std::memcpy(floats.data(), bytes.data(), floats.size() * sizeof(float));
    return floats;
}

std::string signal_line(int values, const char* end = "\n")
{
    std::string text;
    for (int k = 0; k < values; ++k) {
        if (k != 0) {
            text.push_back(',');
        }
        text.push_back(static_cast<char>('0' + k % 7));
        text.append(".25");
    }
    return text + end;
}

struct PassRun {
    ParallelPassResult result;
    std::vector<Record> records;
};

PassRun run_pass(const std::string& text, std::int32_t begin, std::int32_t end, bool whole_file,
             std::size_t block_bytes, SignalRecordSink sink = collect)
{
    static const std::vector<float> knowledge = knowledge_floats();
    std::FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    PassRun run{};
    ParallelPassSetup setup{file, knowledge.data(), static_cast<std::int32_t>(knowledge.size()), begin, end,
                            whole_file, 2, block_bytes, sink, &run.records};
    run.result = parallel_signal_pass(setup);
    std::fclose(file);
    return run;
}

TEST(ParallelSignalPass, WholeFileCountsItsLinesAndClosesOnTheLast)
{
    for (std::size_t block : {1u, 200u, 1u << 16}) {
        const PassRun run = run_pass(signal_line(64) + signal_line(64, "\r\n") + signal_line(64) + "1,2", 1, 0, true, block);
        EXPECT_EQ(run.result.outcome, ParallelOutcome::COMPLETE);
        EXPECT_EQ(run.result.end, 3);
        ASSERT_EQ(run.records.size(), 3u);
        EXPECT_EQ(run.records[2].line, 3);
        EXPECT_TRUE(run.records[2].last);
        EXPECT_FALSE(run.records[1].last);
    }
}

TEST(ParallelSignalPass, HandsOverAfterTheLastSignalThatIsOneLine)
{
    const std::string first = signal_line(64, ";  \n");
    const std::string second = signal_line(64);
    for (std::size_t block : {1u, 300u, 1u << 16}) {
        // Line 3 holds 65 values: signals 1 and 2 are taken, and the
        // sequential reader goes on at the start of line 3.
        PassRun run = run_pass(first + second + signal_line(65) + second, 1, 0, true, block);
        EXPECT_EQ(run.result.outcome, ParallelOutcome::RESUME);
        EXPECT_EQ(run.result.end, 4);
        EXPECT_EQ(run.result.next_signal, 3);
        EXPECT_EQ(run.result.resume_offset, static_cast<std::int64_t>(first.size() + second.size()));
        ASSERT_EQ(run.records.size(), 2u);
        EXPECT_FALSE(run.records[1].last);

        // A blank line 2 in a window: line 1 is taken.
        run = run_pass(first + "\n" + second, 1, 3, false, block);
        EXPECT_EQ(run.result.outcome, ParallelOutcome::RESUME);
        EXPECT_EQ(run.result.next_signal, 2);
        EXPECT_EQ(run.result.resume_offset, static_cast<std::int64_t>(first.size()));
    }
}

TEST(ParallelSignalPass, WindowReadsEarlierLinesAndStopsAtItsEnd)
{
    std::string text;
    for (int k = 0; k < 6; ++k) {
        text += signal_line(64);
    }
    const PassRun run = run_pass(text + "x\n", 2, 4, false, 150);
    EXPECT_EQ(run.result.outcome, ParallelOutcome::COMPLETE);
    ASSERT_EQ(run.records.size(), 3u);
    EXPECT_EQ(run.records[0].line, 2);
    EXPECT_EQ(run.records[2].line, 4);
    EXPECT_TRUE(run.records[2].last);

    // A file shorter than the window (it shrank after its count).
    const PassRun short_file = run_pass(text, 1, 9, false, 150);
    EXPECT_EQ(short_file.result.outcome, ParallelOutcome::RESUME);
    EXPECT_EQ(short_file.result.next_signal, 7);
}

TEST(ParallelSignalPass, StopsWhenARecordCannotBeWritten)
{
    const PassRun run = run_pass(signal_line(64) + signal_line(64), 1, 0, true, 1, refuse);
    EXPECT_EQ(run.result.outcome, ParallelOutcome::OUTPUT_FAILED);
}

} // namespace
