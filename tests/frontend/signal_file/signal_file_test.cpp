// The signal-file component: each stage of the threaded pass on data in
// memory, the pass's hand-over to the sequential reader, and the rules that
// must not depend on the thread count (read errors, appended lines).
// Whole reports, threaded against sequential, are compared byte for byte by
// test_parallel_pass.py.
#include "classifier_context.h"
#include "signal_file/block_cutter.h"
#include "signal_file/block_lines.h"
#include "signal_file/block_output.h"
#include "signal_file/line_feeds.h"
#include "signal_file/sequential_pass.h"
#include "signal_file/signal_file.h"
#include "signal_file/threaded_pass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <random>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

struct Record {
    std::int64_t line;
    bool last;
    std::vector<float> floats; // probabilities or values
    std::uint16_t class_id;
    std::uint8_t findings;
    // Floats compared by their bits: a NaN probability equals itself.
    bool operator==(const Record& o) const
    {
        return line == o.line && last == o.last && class_id == o.class_id && findings == o.findings &&
               floats.size() == o.floats.size() &&
               std::memcmp(floats.data(), o.floats.data(), floats.size() * sizeof(float)) == 0;
    }
};

bool collect(void* sink, const SignalRecord& r) noexcept
{
    const float* p = r.values != nullptr ? r.values : r.probabilities;
    const int n = r.values != nullptr ? INPUT_LENGTH : CLASS_COUNT;
    static_cast<std::vector<Record>*>(sink)->push_back({r.line, r.last, std::vector<float>(p, p + n), r.class_id, r.findings});
    return true;
}

const std::vector<float>& knowledge()
{
    static const std::vector<float> floats = [] {
        std::ifstream in(OMBREL_TEST_KNOWLEDGE, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<float> k(bytes.size() / sizeof(float));
        std::memcpy(k.data(), bytes.data(), k.size() * sizeof(float));
        return k;
    }();
    return floats;
}

std::string signal_line(int values, int seed = 0, const char* end = "\n")
{
    std::string text;
    for (int k = 0; k < values; ++k) {
        if (k != 0) {
            text.push_back(',');
        }
        text.append(std::to_string((k * 7 + seed * 13) % 23 - 11)).append(".25");
    }
    return text.append(end);
}

std::string aligned(int lines)
{
    std::string text;
    for (int k = 0; k < lines; ++k) {
        text += signal_line(64, k);
    }
    return text;
}

std::FILE* memory_file(const std::string& text)
{
    std::FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    return file;
}

TEST(BlockCutter, BlocksEndAfterLineFeedsAndStopAtTheLineLimit)
{
    const std::string text = signal_line(64) + signal_line(64, 1) + "1,2\n" + "tail without line feed";
    std::FILE* file = memory_file(text);
    const BlockShape shape = block_shape(10, CLASS_COUNT);
    Block block{};
    ASSERT_TRUE(block_allocate(&block, shape));
    BlockCutter cutter{file, text.size(), 10, 3};
    std::int64_t lines = 0;
    std::string joined;
    while (cut_block(&cutter, shape, &block)) {
        ASSERT_EQ(block.data[block.size - 1], '\n');
        EXPECT_EQ(block.offset, static_cast<std::int64_t>(joined.size()));
        EXPECT_EQ(block.first_line, lines);
        lines += block.lines;
        joined.append(block.data, block.size);
    }
    EXPECT_EQ(joined, text.substr(0, text.rfind('\n') + 1));
    EXPECT_FALSE(cutter.failed);
    block_free(&block);
    std::fclose(file);
}

TEST(BlockCutter, ALineLongerThanTheBufferIsOversized)
{
    const std::string text = std::string(200000, ' ') + "\n";
    std::FILE* file = memory_file(text);
    const BlockShape shape = block_shape(1000, CLASS_COUNT);
    Block block{};
    ASSERT_TRUE(block_allocate(&block, shape));
    BlockCutter cutter{file, text.size(), 1000, 1};
    ASSERT_TRUE(cut_block(&cutter, shape, &block));
    EXPECT_TRUE(block.oversized);
    EXPECT_FALSE(cut_block(&cutter, shape, &block));
    block_free(&block);
    std::fclose(file);
}

TEST(BlockLines, KeepsTheLeadingLinesThatAreOneSignalEach)
{
    const std::string first = signal_line(64, 0, ";\t \n");
    const std::string text = first + signal_line(64, 1) + signal_line(65) + signal_line(64);
    std::vector<char> data(text.begin(), text.end());
    std::vector<float> results(4 * INPUT_LENGTH);
    std::uint16_t ids[4];
    std::uint8_t findings[4];
    Block block{data.data(), results.data(), ids, findings, 0, 0, 4, 4, data.size(), false, 0, 0, false};
    const std::atomic<bool> go_on{false};
    read_block_lines(&block, 1, nullptr, go_on);
    EXPECT_EQ(block.accepted, 2);
    EXPECT_EQ(block.accepted_end, first.size() + signal_line(64, 1).size());
    EXPECT_EQ(results[INPUT_LENGTH + 1], 9.25f); // line 2, value 2: (7 + 13) % 23 - 11 = 9
}

TEST(BlockOutput, HandsOverTheWindowInOrderAndMarksItsEnd)
{
    std::vector<float> results(4 * CLASS_COUNT);
    for (std::size_t k = 0; k < results.size(); ++k) {
        results[k] = static_cast<float>(k);
    }
    std::uint16_t ids[4] = {1, 2, 3, 4};
    std::uint8_t findings[4] = {0, SIGNAL_NON_FINITE, 0, 0};
    // Lines 11 to 14, window 12 to 14.
    Block block{nullptr, results.data(), ids, findings, 0, 10, 4, 4, 0, false, 4, 0, true};
    std::vector<Record> records;
    EXPECT_TRUE(hand_over_block(block, 12, 14, true, nullptr, {collect, &records}));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0], (Record{12, false, {4, 5, 6, 7}, 2, SIGNAL_NON_FINITE}));
    EXPECT_EQ(records[2].line, 14);
    EXPECT_TRUE(records[2].last);

    // The end not known yet: the latest record waits for the count.
    std::vector<Record> held_back;
    HeldRecord held{};
    EXPECT_TRUE(hand_over_block(block, 12, -1, true, &held, {collect, &held_back}));
    ASSERT_EQ(held_back.size(), 2u);
    EXPECT_TRUE(release_held(&held, 14, {collect, &held_back}));
    EXPECT_TRUE(held_back == records);
}

ThreadedPassResult threaded_on(std::FILE* file, std::uint64_t size, std::int64_t begin, std::int64_t end,
                               std::size_t block_bytes, std::vector<Record>* records)
{
    const ThreadedPassSetup setup{file, size, knowledge().data(), static_cast<std::int32_t>(knowledge().size()),
                                  begin, end, 2, block_bytes, {collect, records}};
    const ThreadedPassResult result = threaded_pass(setup);
    std::fclose(file);
    return result;
}

ThreadedPassResult threaded(const std::string& text, std::int64_t begin, std::int64_t end, std::size_t block_bytes,
                            std::vector<Record>* records)
{
    return threaded_on(memory_file(text), text.size(), begin, end, block_bytes, records);
}

TEST(ThreadedPass, CompletesAWindowEndingInsideABlockAndAWholeFileItCounts)
{
    std::vector<Record> records;
    EXPECT_EQ(threaded(aligned(10), 2, 5, 1 << 16, &records).outcome, ThreadedOutcome::COMPLETE);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records.front().line, 2);
    EXPECT_TRUE(records.back().last);
    EXPECT_EQ(records.back().line, 5);
    for (std::size_t block : {1u, 1u << 16}) {
        std::vector<Record> whole;
        const ThreadedPassResult result = threaded(aligned(10) + "1,2,3", 1, -1, block, &whole);
        EXPECT_EQ(result.outcome, ThreadedOutcome::COMPLETE);
        EXPECT_EQ(result.end, 10);
        ASSERT_EQ(whole.size(), 10u);
        EXPECT_TRUE(whole.back().last);
    }
}

TEST(ThreadedPass, HandsOverAtTheFirstLineThatIsNotOneSignal)
{
    const std::string first = signal_line(64, 0, ";  \n");
    const std::string second = signal_line(64, 1);
    for (std::size_t block : {1u, 300u, 1u << 16}) {
        // Line 3 holds 65 values: signals 1 and 2 are taken, and the
        // sequential reader goes on at the start of line 3.
        std::vector<Record> records;
        ThreadedPassResult result = threaded(first + second + signal_line(65) + second, 1, 4, block, &records);
        EXPECT_EQ(result.outcome, ThreadedOutcome::RESUME);
        EXPECT_EQ(result.next_signal, 3);
        EXPECT_EQ(result.resume_offset, static_cast<std::int64_t>(first.size() + second.size()));
        ASSERT_EQ(records.size(), 2u);
        EXPECT_FALSE(records[1].last);
        // A blank line 2: line 1 is taken.
        result = threaded(first + "\n" + second, 1, 3, block, &records);
        EXPECT_EQ(result.next_signal, 2);
        EXPECT_EQ(result.resume_offset, static_cast<std::int64_t>(first.size()));
    }
}

// A stream over `text` whose reads fail from byte `fail_at` on, as a disk
// that cannot give the bytes there.
struct FailingText {
    const std::string* text;
    std::size_t position;
    std::size_t fail_at;
};

ssize_t failing_read(void* cookie, char* into, std::size_t size)
{
    auto* f = static_cast<FailingText*>(cookie);
    if (f->position >= f->fail_at) {
        errno = EIO;
        return -1;
    }
    const std::size_t n = std::min({size, f->fail_at - f->position, f->text->size() - f->position});
    std::memcpy(into, f->text->data() + f->position, n);
    f->position += n;
    return static_cast<ssize_t>(n);
}

int failing_seek(void* cookie, off64_t* offset, int whence)
{
    auto* f = static_cast<FailingText*>(cookie);
    f->position = static_cast<std::size_t>(whence == SEEK_SET ? *offset : static_cast<off64_t>(f->position) + *offset);
    *offset = static_cast<off64_t>(f->position);
    return 0;
}

struct FileRun {
    SignalFileOutcome outcome;
    std::vector<Record> records;
};

struct TextFile {
    std::string path;
    explicit TextFile(const std::string& text) : path(::testing::TempDir() + "signal_file_test_XXXXXX")
    {
        const int fd = mkstemp(path.data()); // a name of its own: tests run in parallel processes
        EXPECT_GE(fd, 0);
        close(fd);
        std::ofstream(path, std::ios::binary) << text;
    }
    ~TextFile() { std::remove(path.c_str()); }
};

// Opens and settles the file; `between` runs before the read.
template <typename Between>
FileRun read_file(const TextFile& file, int threads, std::size_t block_bytes, Between between,
                  const std::vector<SignalWindowStep>& steps = {})
{
    FileRun run{};
    SignalFile f;
    EXPECT_EQ(signal_file_open(&f, file.path.c_str()).status, SignalFileStatus::COMPLETE);
    EXPECT_EQ(signal_file_settle(&f, steps.data(), static_cast<int>(steps.size())).status,
              SignalFileStatus::COMPLETE);
    between(&f);
    const SignalReadSettings settings{knowledge().data(), static_cast<std::int32_t>(knowledge().size()), threads,
                                      block_bytes};
    run.outcome = signal_file_read(&f, settings, {collect, &run.records});
    signal_file_close(&f);
    return run;
}

void expect_same(const FileRun& one, const FileRun& other, const std::string& what)
{
    EXPECT_EQ(one.outcome.status, other.outcome.status) << what;
    EXPECT_EQ(one.outcome.failing_line, other.outcome.failing_line) << what;
    EXPECT_EQ(one.outcome.misaligned_line, other.outcome.misaligned_line) << what;
    EXPECT_EQ(one.outcome.misaligned_count, other.outcome.misaligned_count) << what;
    EXPECT_TRUE(one.records == other.records) << what << ": " << one.records.size() << " records against "
                                               << other.records.size();
}

TEST(SignalFile, AReadErrorGivesTheSameOutcomeAndRecordsOnEveryThreadCount)
{
    const std::string text = aligned(12) + signal_line(65, 3) + aligned(6);
    const TextFile file(text);
    // Places spread over the file, and each line feed with the bytes around
    // it: a read may end right after a line feed and the next one fail.
    std::vector<std::size_t> places;
    for (std::size_t at = 0; at <= text.size(); at += 29) {
        places.push_back(at);
    }
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
        places.insert(places.end(), {at, at + 1, at + 2});
    }
    int unreadable = 0;
    for (const std::size_t fail_at : places) {
        FailingText failing{&text, 0, fail_at};
        const auto fail = [&failing](SignalFile* f) {
            std::fclose(f->file);
            f->file = fopencookie(&failing, "rb", {failing_read, nullptr, failing_seek, nullptr});
        };
        failing.position = 0;
        // A window: its lines are counted on a stream of their own, before the read.
        const std::vector<SignalWindowStep> window{{false, 1}, {true, 19}};
        const FileRun one = read_file(file, 1, 1 << 16, fail, window);
        // Line 13 holds 65 values: the last value of the file is never read.
        unreadable += one.outcome.status == SignalFileStatus::READ_ERROR;
        for (std::size_t block : {1u, 200u, 1u << 16}) {
            failing.position = 0;
            expect_same(one, read_file(file, 2, block, fail, window), "failing at " + std::to_string(fail_at));
        }
    }
    EXPECT_GE(unreadable, static_cast<int>(places.size()) - 4);
}

TEST(SignalFile, AValueThatDoesNotConvertIsAScanFailureOnItsLine)
{
    std::string bad = signal_line(64, 2);
    bad.replace(bad.find(','), 1, ",x");
    const TextFile file(aligned(2) + bad + aligned(3));
    const auto nothing = [](SignalFile*) {};
    const FileRun one = read_file(file, 1, 1 << 16, nothing);
    EXPECT_EQ(one.outcome.status, SignalFileStatus::SCAN_FAILURE);
    EXPECT_EQ(one.outcome.failing_line, 3);
    EXPECT_EQ(one.records.size(), 2u);
    expect_same(one, read_file(file, 2, 100, nothing), "scan failure");
}

// Files of aligned lines with, at random places, a NaN or an infinity, the
// column numbers as line 1, lines of 63 or 65 values and a tail without a
// line feed: the findings of each record are those of its values read
// without a knowledge, the lines off are counted, and every thread count and
// block size agrees.
TEST(SignalFile, FindingsAndCountsAgreeWithTheValuesOnEveryThreadCount)
{
    std::mt19937 random(20261207);
    std::string numbers;
    for (int k = 0; k < 64; ++k) {
        numbers += std::to_string(k) + (k == 63 ? "\n" : ",");
    }
    for (int round = 0; round < 40; ++round) {
        std::string text = random() % 3 == 0 ? numbers : "";
        std::int64_t off = 0;
        for (int line = 0; line < 30; ++line) {
            std::string row = signal_line(64, line);
            const unsigned pick = random() % 16;
            if (pick == 0 || pick == 1) { // the second value's text replaced
                const std::size_t start = row.find(',') + 1;
                row.replace(start, row.find(',', start) - start, pick == 0 ? "nan" : "-INF");
            }
            if (pick == 2 || pick == 3) {
                row = signal_line(pick == 2 ? 63 : 65, line);
                ++off;
            }
            text += row;
        }
        const bool tail = random() % 2 == 0;
        text += tail ? "1,2 \r" : " \t";
        const TextFile file(text);
        const auto nothing = [](SignalFile*) {};
        FileRun values{};
        SignalFile f;
        ASSERT_EQ(signal_file_open(&f, file.path.c_str()).status, SignalFileStatus::COMPLETE);
        ASSERT_EQ(signal_file_settle(&f, nullptr, 0).status, SignalFileStatus::COMPLETE);
        values.outcome = signal_file_read(&f, {nullptr, 0, 1, 1 << 16}, {collect, &values.records});
        EXPECT_EQ(f.unterminated_tail, tail);
        signal_file_close(&f);
        EXPECT_EQ(values.outcome.misaligned_count, off);
        for (const Record& r : values.records) {
            bool finite = true, numbered = r.line == 1;
            for (int k = 0; k < INPUT_LENGTH; ++k) {
                finite = finite && std::isfinite(r.floats[static_cast<std::size_t>(k)]);
                numbered = numbered && r.floats[static_cast<std::size_t>(k)] == static_cast<float>(k);
            }
            EXPECT_EQ(r.findings, (finite ? 0 : SIGNAL_NON_FINITE) | (numbered ? SIGNAL_COLUMN_NUMBERS : 0)) << r.line;
        }
        const FileRun one = read_file(file, 1, 1 << 16, nothing);
        for (const std::size_t block : {std::size_t{1}, std::size_t{700}, std::size_t{1} << 16}) {
            expect_same(one, read_file(file, 3, block, nothing), "findings, block " + std::to_string(block));
        }
    }
}

TEST(SignalFile, LinesAppendedAfterTheOpenAreNeverRead)
{
    const std::string text = aligned(20);
    const TextFile file(text);
    const auto append = [&file](SignalFile*) { std::ofstream(file.path, std::ios::app) << aligned(5) << "1,2"; };
    const FileRun one = read_file(file, 1, 1 << 16, append);
    EXPECT_EQ(one.outcome.status, SignalFileStatus::COMPLETE);
    ASSERT_EQ(one.records.size(), 20u);
    EXPECT_TRUE(one.records.back().last);
    for (std::size_t block : {1u, 1u << 16}) {
        std::ofstream(file.path, std::ios::binary) << text;
        expect_same(one, read_file(file, 2, block, append), "appended");
    }
}

// Takes records until it has `before_stop`, then sets the stop flag as
// another thread would and goes on taking them.
struct StoppingSink {
    std::atomic<bool>* stop;
    std::size_t before_stop;
    std::size_t taken = 0;
};

bool take_then_stop(void* sink, const SignalRecord&) noexcept
{
    auto* s = static_cast<StoppingSink*>(sink);
    if (++s->taken == s->before_stop) {
        s->stop->store(true);
    }
    return true;
}

TEST(SignalFile, AStopFlagEndsTheCountAndTheReadEarly)
{
    const TextFile file(aligned(12000));
    std::atomic<bool> stop{true};
    SignalFile f;
    ASSERT_EQ(signal_file_open(&f, file.path.c_str()).status, SignalFileStatus::COMPLETE);
    f.stop = &stop;
    const SignalWindowStep end{true, 11000};
    EXPECT_EQ(signal_file_settle(&f, &end, 1).status, SignalFileStatus::SINK_STOPPED);
    signal_file_close(&f);
    // Set before the read: nothing is handed over.
    StoppingSink none{&stop, 0};
    ASSERT_EQ(signal_file_open(&f, file.path.c_str()).status, SignalFileStatus::COMPLETE);
    f.stop = &stop;
    ASSERT_EQ(signal_file_settle(&f, nullptr, 0).status, SignalFileStatus::COMPLETE);
    const SignalReadSettings one_thread{knowledge().data(), static_cast<std::int32_t>(knowledge().size()), 1, 1 << 16};
    EXPECT_EQ(signal_file_read(&f, one_thread, {take_then_stop, &none}).status, SignalFileStatus::SINK_STOPPED);
    EXPECT_EQ(none.taken, 0u);
    signal_file_close(&f);
    // Set during the read: one thread looks every 4,096 lines, threads
    // between blocks (of about 250 lines here, two per worker in flight).
    for (const auto& [threads, bound] : {std::pair{1, 100u + 4096u}, std::pair{2, 100u + 2000u}}) {
        stop = false;
        StoppingSink sink{&stop, 100};
        ASSERT_EQ(signal_file_open(&f, file.path.c_str()).status, SignalFileStatus::COMPLETE);
        f.stop = &stop;
        ASSERT_EQ(signal_file_settle(&f, nullptr, 0).status, SignalFileStatus::COMPLETE);
        const SignalReadSettings settings{nullptr, 0, threads, 1 << 16};
        EXPECT_EQ(signal_file_read(&f, settings, {take_then_stop, &sink}).status, SignalFileStatus::SINK_STOPPED);
        EXPECT_GE(sink.taken, 100u);
        EXPECT_LE(sink.taken, bound) << threads << " threads";
        signal_file_close(&f);
    }
}

// Signal lines, runs of blank lines up to 700 long (more than one 8-bit lane
// count of line feeds), now and then a line of 65 values, and a last line
// with or without its line feed.
std::size_t below(std::mt19937& random, std::size_t n)
{
    return static_cast<std::size_t>(random()) % n;
}

std::string generated_text(std::mt19937& random)
{
    std::string text;
    const int lines = 2 + static_cast<int>(below(random, 30));
    for (int k = 0; k < lines; ++k) {
        const std::size_t kind = below(random, 8);
        if (kind == 0) {
            text.append(below(random, 2) != 0 ? 256 + below(random, 445) : below(random, 4), '\n');
        }
        text += signal_line(kind == 1 ? 65 : 64, k);
    }
    if (below(random, 2) != 0) {
        text.pop_back();
    }
    return text;
}

// A whole file's lines as the threaded pass counts them while it reads, on
// generated texts with blocks of many sizes: every line feed, the one a
// block held back included; a read failing from any byte on (also while the
// pass counts the rest) is a file that cannot be read, never one that ran
// out; a file shorter than its size at the open ran out.
TEST(ThreadedPass, CountsAWholeFileOfGeneratedTextsAsItIs)
{
    std::mt19937 random(20261207);
    for (int round = 0; round < 60; ++round) {
        const std::string text = generated_text(random);
        const auto lines = std::count(text.begin(), text.end(), '\n');
        ASSERT_EQ(count_line_feeds_in(text.data(), text.size()), lines);
        for (const std::size_t block : {1 + below(random, 64), 64 + below(random, 2000), std::size_t{1} << 16}) {
            std::vector<Record> records;
            const ThreadedPassResult whole = threaded_on(memory_file(text), text.size(), 1, -1, block, &records);
            ASSERT_NE(whole.outcome, ThreadedOutcome::SINK_STOPPED);
            EXPECT_EQ(whole.end, lines) << "round " << round << ", block " << block;
            const std::size_t fail_at = below(random, text.size());
            FailingText failing{&text, 0, fail_at};
            std::FILE* failing_file = fopencookie(&failing, "rb", {failing_read, nullptr, failing_seek, nullptr});
            EXPECT_EQ(threaded_on(failing_file, text.size(), 1, -1, block, &records).outcome,
                      ThreadedOutcome::COUNT_UNREADABLE) << "round " << round << ", failing at " << fail_at;
            EXPECT_EQ(threaded_on(memory_file(text), text.size() + 7, 1, -1, block, &records).outcome,
                      ThreadedOutcome::COUNT_SHRANK) << "round " << round;
        }
    }
}

// Whole files and windows of generated texts, read on two threads with
// blocks of many sizes, give the outcome and records of the sequential
// pass (one thread); windows also with reads failing from a byte on.
TEST(SignalFile, GeneratedTextsGiveTheSequentialPassOnTwoThreads)
{
    std::mt19937 random(20261208);
    for (int round = 0; round < 30; ++round) {
        const std::string text = generated_text(random);
        const TextFile file(text);
        const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
        const std::size_t begin = 1 + below(random, std::min<std::size_t>(3, lines));
        const std::vector<SignalWindowStep> window{
            {false, static_cast<std::int64_t>(begin)},
            {true, static_cast<std::int64_t>(begin + below(random, lines - begin + 1))}};
        // A whole file is checked by its path against the stream read: it is read intact.
        const std::size_t fail_at = below(random, text.size());
        FailingText failing{&text, 0, fail_at};
        const auto fail = [&failing](SignalFile* f) {
            std::fclose(f->file);
            f->file = fopencookie(&failing, "rb", {failing_read, nullptr, failing_seek, nullptr});
        };
        const auto intact = [](SignalFile*) {};
        const std::string what = "round " + std::to_string(round) + ", failing at " + std::to_string(fail_at);
        const FileRun whole = read_file(file, 1, 1 << 16, intact);
        const FileRun windowed = read_file(file, 1, 1 << 16, fail, window);
        for (const std::size_t block : {1 + below(random, 64), 64 + below(random, 2000), std::size_t{1} << 16}) {
            expect_same(whole, read_file(file, 2, block, intact), what + ", whole, block " + std::to_string(block));
            failing.position = 0;
            expect_same(windowed, read_file(file, 2, block, fail, window), what + ", block " + std::to_string(block));
            failing.position = 0;
        }
    }
}

// Lines of 64 values that read exactly (eighths), ended by `end`; the
// sixth value of line `bad` (0: none) does not convert; then `tail`, which
// holds no line feed. The values of each line are kept for the reference.
struct EighthsFile {
    std::string text;
    std::vector<std::vector<float>> values;
};

EighthsFile eighths(std::mt19937& random, int lines, int bad, const char* end, const std::string& tail)
{
    EighthsFile file;
    for (int line = 1; line <= lines; ++line) {
        std::vector<float> values;
        for (int k = 0; k < INPUT_LENGTH; ++k) {
            const int n = static_cast<int>(below(random, 4001)) - 2000;
            values.push_back(static_cast<float>(n) / 8.0f);
            char text[32];
            std::snprintf(text, sizeof text, "%.3f", n / 8.0);
            file.text.append(k == 0 ? "" : ",").append(line == bad && k == 5 ? "x" : text);
        }
        file.text += end;
        file.values.push_back(values);
    }
    file.text += tail;
    return file;
}

// What the window's read must give, made here: lines begin to end (the
// line count when end is -1), each classified alone by
// classifier_context_run, up to the first line that does not convert.
FileRun reference_run(const EighthsFile& file, int bad, std::int64_t begin, std::int64_t end)
{
    ClassifierContext context;
    EXPECT_EQ(classifier_context_init(&context, knowledge().data(), static_cast<std::int32_t>(knowledge().size())),
              STATUS_OK);
    end = end < 0 ? static_cast<std::int64_t>(file.values.size()) : end;
    const bool fails = bad != 0 && bad <= end;
    FileRun run{};
    run.outcome = {fails ? SignalFileStatus::SCAN_FAILURE : SignalFileStatus::COMPLETE, fails ? bad : 0, 0, 0, 0};
    for (std::int64_t line = begin; line <= (fails ? bad - 1 : end); ++line) {
        float p[CLASS_COUNT];
        std::uint16_t id = 0;
        (void)classifier_context_run(&context, file.values[static_cast<std::size_t>(line - 1)].data(), p, &id);
        run.records.push_back({line, line == end, std::vector<float>(p, p + CLASS_COUNT), id, 0});
    }
    return run;
}

// One thread gathers the window's signals and classifies them together:
// files whose line count, bad line and window bounds fall on each side of
// the batch's size, with "\n" or "\r\n" line ends and a last line without a
// line feed (short, or a whole signal), against the reference.
TEST(SignalFile, OneThreadGivesEachSignalTheClassificationOfItsOwn)
{
    std::mt19937 random(20261209);
    for (const int lines : {1, 31, 32, 33, 64, 65, 97}) {
        for (const int bad : {0, 1, 31, 32, 33, 34, 64, 65, lines}) {
            if (bad > lines) {
                continue;
            }
            const std::string tail = below(random, 2) != 0 ? "1,2,3" : signal_line(64, 5, "");
            const EighthsFile text = eighths(random, lines, bad, below(random, 2) != 0 ? "\n" : "\r\n", tail);
            const TextFile file(text.text);
            const auto begin = static_cast<std::int64_t>(1 + below(random, static_cast<std::size_t>(lines)));
            const std::int64_t ends[] = {-1, -1, begin + static_cast<std::int64_t>(below(random, 40)), lines};
            for (const std::int64_t end : ends) {
                std::vector<SignalWindowStep> steps{{false, end == ends[0] ? 1 : begin}};
                if (end >= 0 && end <= lines) {
                    steps.push_back({true, end});
                } else if (end >= 0) {
                    continue;
                }
                const FileRun got = read_file(file, 1, 1 << 16, [](SignalFile*) {}, steps);
                const FileRun want = reference_run(text, bad, steps[0].line, end);
                const std::string what = std::to_string(lines) + " lines, bad " + std::to_string(bad) + ", window " +
                                         std::to_string(steps[0].line) + " to " + std::to_string(end);
                EXPECT_EQ(got.outcome.status, want.outcome.status) << what;
                EXPECT_EQ(got.outcome.failing_line, want.outcome.failing_line) << what;
                EXPECT_TRUE(got.records == want.records) << what << ": " << got.records.size() << " records against "
                                                         << want.records.size();
            }
        }
    }
}

// Aligned lines, then one padded with at least `padding` spaces so that its
// line end `end` starts at byte `at`, then `after`.
std::string line_end_at(std::size_t at, std::size_t padding, const char* end, const std::string& after)
{
    std::string text;
    int k = 0;
    while (text.size() + 2 * signal_line(64, k).size() + padding < at) {
        text += signal_line(64, k++);
    }
    text += signal_line(64, k, "");
    text.append(at - text.size(), ' ');
    return text + end + after;
}

// One thread counts a whole file's lines from its stream's reads. Line ends
// on each side of the first read's last byte (1 MiB), the lines around
// them short or longer than the reader's lookahead, the file ending there
// or not; a file of 128 values a line, whose signals outrun its lines, and
// a line longer than the buffer, so that the count must look past a full
// buffer and the read go on after it: every thread count agrees, and the
// line count is the file's.
TEST(SignalFile, OneThreadCountsAWholeFileAsItReadsIt)
{
    constexpr std::size_t READ = std::size_t{1} << 20;
    const auto nothing = [](SignalFile*) {};
    std::vector<std::string> texts;
    for (const std::size_t at : {READ - 2, READ - 1, READ, READ + 1}) {
        for (const char* end : {"\n", "\r\n"}) {
            for (const std::string& after : {std::string(), aligned(3), std::string("1,2")}) {
                texts.push_back(line_end_at(at, after.size() == 3 ? 6000 : 0, end, after));
            }
        }
    }
    std::string wide;
    for (int k = 0; k < 3000; ++k) {
        wide += signal_line(128, k);
    }
    texts.push_back(wide);
    std::string bad = wide;
    bad.replace(bad.find(',', 1000 * signal_line(128, 0).size()), 1, ",x"); // on line 1001, signal 2001 or so
    texts.push_back(bad);
    std::string gap = signal_line(64, 1);
    gap.insert(gap.find(',') + 1, READ + READ / 2, ' '); // white space before a value, longer than the buffer
    texts.push_back(aligned(2) + gap + aligned(2));
    for (const std::string& text : texts) {
        const TextFile file(text);
        SignalFile f;
        ASSERT_EQ(signal_file_open(&f, file.path.c_str()).status, SignalFileStatus::COMPLETE);
        ASSERT_EQ(signal_file_settle(&f, nullptr, 0).status, SignalFileStatus::COMPLETE);
        FileRun one{};
        one.outcome = signal_file_read(&f, {nullptr, 0, 1, 1 << 16}, {collect, &one.records});
        const auto lines = std::count(text.begin(), text.end(), '\n');
        const std::string what = std::to_string(text.size()) + " bytes, " + std::to_string(lines) + " lines";
        if (one.outcome.status == SignalFileStatus::COMPLETE) {
            EXPECT_EQ(f.line_count, lines) << what;
            ASSERT_EQ(one.records.size(), static_cast<std::size_t>(lines)) << what;
            EXPECT_TRUE(one.records.back().last) << what;
        }
        signal_file_close(&f);
        expect_same(read_file(file, 1, 1 << 16, nothing), read_file(file, 2, 1 << 16, nothing), what);
    }
}

FILE* failing_file(FailingText* failing)
{
    return fopencookie(failing, "rb", {failing_read, nullptr, failing_seek, nullptr});
}

// A whole file read on one thread whose reads fail from a byte on, or that
// ends before its size: the count fails whatever line the pass was on,
// after records that the intact file also gives, none of them the last; on
// files of aligned lines, the very records of the threaded pass.
TEST(SequentialPass, AWholeFileWhoseCountFailsHandsOverOnlyWhatTheIntactFileGives)
{
    std::mt19937 random(20261210);
    ClassifierContext context;
    (void)classifier_context_init(&context, knowledge().data(), static_cast<std::int32_t>(knowledge().size()));
    const auto pass = [&context](std::FILE* file, std::uint64_t size, std::vector<Record>* records) {
        const SequentialPassSetup setup{file, size, 1, 1, -1, {{collect, records}, &context}};
        std::int64_t end = -1;
        const SignalFileOutcome outcome = sequential_pass(setup, &end);
        std::fclose(file);
        return outcome;
    };
    for (int round = 0; round < 120; ++round) {
        const bool mixed = round % 2 == 0;
        const std::string text = (mixed ? generated_text(random) : "") + aligned(static_cast<int>(below(random, 70)));
        std::vector<Record> intact;
        (void)pass(memory_file(text), text.size(), &intact);
        FailingText failing{&text, 0, below(random, text.size())};
        std::vector<Record> records;
        const SignalFileOutcome failed = pass(failing_file(&failing), text.size(), &records);
        std::vector<Record> short_records;
        const SignalFileOutcome ran_out = pass(memory_file(text), text.size() + 7, &short_records);
        const std::string what = "round " + std::to_string(round) + ", failing at " + std::to_string(failing.fail_at);
        EXPECT_EQ(failed.status, SignalFileStatus::READ_ERROR) << what;
        EXPECT_EQ(ran_out.status, SignalFileStatus::RUN_OUT) << what;
        EXPECT_EQ(failed.failing_line + ran_out.failing_line, 0) << what;
        const auto same_not_last = [](const Record& got, const Record& whole) {
            return got.line == whole.line && got.floats == whole.floats && !got.last;
        };
        // Every line is read before the missing end is met.
        ASSERT_EQ(short_records.size(), intact.size()) << what;
        EXPECT_TRUE(std::equal(short_records.begin(), short_records.end(), intact.begin(), same_not_last)) << what;
        ASSERT_LE(records.size(), intact.size()) << what;
        EXPECT_TRUE(std::equal(records.begin(), records.end(), intact.begin(), same_not_last)) << what;
        for (const std::size_t block : {std::size_t{1}, std::size_t{300}, std::size_t{1} << 16}) {
            FailingText threaded_failing{&text, 0, failing.fail_at};
            std::vector<Record> threaded;
            (void)threaded_on(failing_file(&threaded_failing), text.size(), 1, -1, block, &threaded);
            EXPECT_TRUE(mixed || threaded == records) << what << ", block " << block;
        }
    }
}

} // namespace
