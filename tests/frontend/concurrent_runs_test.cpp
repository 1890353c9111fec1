// The command keeps no state outside its run: two classifications of
// different files with different knowledges, at once in one process, each
// give the report they give alone.
#include "dispatch.h"
#include "output_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Report {
    int status;
    std::string bytes;
};

Report run(const std::vector<std::string>& words)
{
    std::vector<const char*> argv{"ombrel_emulator"};
    for (const std::string& word : words) {
        argv.push_back(word.c_str());
    }
    std::FILE* stream = std::tmpfile();
    const auto out = std::make_unique<OutputWriter>();
    output_start(out.get(), stream);
    Report report{emulator_main(static_cast<int>(argv.size()), argv.data(), out.get()), {}};
    EXPECT_TRUE(output_finish(out.get()));
    std::rewind(stream);
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) {
        report.bytes.append(chunk, got);
    }
    std::fclose(stream);
    return report;
}

TEST(ConcurrentRuns, TwoClassificationsAtOnceEachGiveTheirOwnReport)
{
    const std::string data = OMBREL_TEST_DATA;
    const std::vector<std::vector<std::string>> commands = {
        {"ombr_classification", "--knowledge_path", OMBREL_EMG_DIR "/knowledge.bin", "--file",
         OMBREL_EMG_DIR "/signals.csv"},
        {"ombr_classification", "--knowledge_path", data + "/k3.bin", "--file", data + "/nan_and_infinity.csv",
         "--begin", "2", "--end", "3"},
        {"ombr_classification", "--knowledge_path", data + "/k23.bin", "--array", "1.5", "-2"},
        {"ombr_classification", "--knowledge_path", data + "/refused_unit_count_24.bin", "--array", "1"},
    };
    std::vector<Report> alone;
    for (const auto& words : commands) {
        alone.push_back(run(words));
        ASSERT_FALSE(alone.back().bytes.empty());
    }
    ASSERT_NE(alone[0].bytes, alone[1].bytes);
    for (int round = 0; round < 3; ++round) {
        std::vector<Report> together(commands.size());
        std::vector<std::thread> threads;
        for (std::size_t k = 0; k < commands.size(); ++k) {
            threads.emplace_back([&, k] { together[k] = run(commands[k]); });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        for (std::size_t k = 0; k < commands.size(); ++k) {
            EXPECT_EQ(together[k].status, alone[k].status) << "command " << k;
            EXPECT_EQ(together[k].bytes, alone[k].bytes) << "command " << k;
        }
    }
}

} // namespace
