// Reloading a knowledge in one process, as an embedder or a harness does.
#include "classifier.h"
#include "knowledge_file.h"
#include "output_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

const std::string DATA = OMBREL_TEST_DATA;

struct Classification {
    LibraryStatus status;
    float probabilities[CLASS_COUNT];
    std::uint16_t class_id;
};

Classification classify()
{
    float input[INPUT_LENGTH];
    for (int i = 0; i < INPUT_LENGTH; ++i) {
        input[i] = static_cast<float>(i % 9) * 7.5f - 20.0f;
    }
    Classification run{};
    run.status = classifier_run(input, run.probabilities, &run.class_id);
    return run;
}

// A reload that fails leaves the knowledge before it attached and usable,
// with its own bits, even after a sizing pass that read another unit count;
// one that the library refuses leaves none. Neither ever says OK over
// another knowledge or freed memory (a sanitizer build checks the memory).
TEST(KnowledgeFile, AFailedReloadKeepsThePreviousKnowledgeOrNone)
{
    // The error blocks are not looked at here.
    std::FILE* sink = std::tmpfile();
    ASSERT_NE(sink, nullptr);
    const auto writer = std::make_unique<OutputWriter>();
    output_start(writer.get(), sink);
    const auto load_knowledge = [&](const std::string& name) {
        return load_knowledge_file((DATA + "/" + name).c_str(), writer.get());
    };
    ASSERT_EQ(load_knowledge("k23.bin"), 0);
    const Classification before = classify();
    ASSERT_EQ(before.status, STATUS_OK);

    for (const char* failing : {"refused_unit_count_24.bin", "refused_short_header.bin", "empty.bin",
                                "no such file.bin"}) {
        EXPECT_EQ(load_knowledge(failing), 1) << failing;
        const Classification after = classify();
        EXPECT_EQ(after.status, STATUS_OK) << failing;
        EXPECT_EQ(after.class_id, before.class_id) << failing;
        EXPECT_EQ(std::memcmp(after.probabilities, before.probabilities, sizeof before.probabilities), 0) << failing;
    }

    EXPECT_EQ(load_knowledge("refused_configuration_mismatch.bin"), 1);
    EXPECT_EQ(classify().status, STATUS_KNOWLEDGE_MISMATCH);

    ASSERT_EQ(load_knowledge("k3.bin"), 0);
    EXPECT_EQ(classify().status, STATUS_OK);
    knowledge_file_release();
    (void)output_finish(writer.get());
    std::fclose(sink);
}

} // namespace
