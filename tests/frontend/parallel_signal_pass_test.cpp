// Where the threaded pass hands over to the sequential reader: the contract
// that the reader's line tally relies on. (Whole reports are compared with
// the sequential pass's by run_parallel_pass_tests.py.)
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

TEST(ParallelSignalPass, HandsOverAtTheFirstLineThatIsNotOneSignal)
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

} // namespace
