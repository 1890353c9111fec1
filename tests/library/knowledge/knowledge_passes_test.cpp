// The sizing and load passes over real streams.
#include "classifier.h"
#include "state/library_state.h"
#include "support/float_bits.h"
#include "support/knowledge_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

std::int32_t size_of(const std::vector<unsigned char>& bytes)
{
    std::FILE* file = temporary_file(bytes);
    // A count left by an earlier knowledge: every outcome must replace it.
    library_state.quirks.output_units = 17;
    std::int32_t count = knowledge_size(file);
    long position = std::ftell(file);
    std::fclose(file);
    if (count > 0) {
        EXPECT_EQ(position, 129 * 4) << "the stream stops just after the unit count";
    }
    return count;
}

std::vector<unsigned char> header_with_count(float stored)
{
    TestNetwork n = plain_network(0);
    n.stored_unit_count = stored;
    return image_bytes(knowledge_image(n));
}

TEST(KnowledgeSize, CountsFloatsFromTheTruncatedUnitCount)
{
    struct Case {
        float stored;
        std::int32_t floats;
    } cases[] = {
        {0.0f, 152}, {-0.0f, 152}, {-0.5f, 152}, {1.0f, 221},
        {10.0f, 842}, {10.7f, 842}, {23.0f, 1739}, {23.9f, 1739},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(size_of(header_with_count(c.stored)), c.floats) << "stored " << c.stored;
        EXPECT_EQ(library_state.quirks.output_units, (c.floats - 152) / 69);
    }
}

TEST(KnowledgeSize, RefusesUnusableUnitCounts)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float unusable[] = {std::nanf(""), -std::nanf(""), inf, -inf, -1.0f, -5.0f, 24.0f,
                              1000.0f, 1e10f, -1e9f, 2.2e9f, -2.2e9f};
    for (float stored : unusable) {
        EXPECT_EQ(size_of(header_with_count(stored)), 0) << "stored " << stored;
        EXPECT_EQ(library_state.quirks.output_units, 0);
    }
}

TEST(KnowledgeSize, RefusesAFileThatEndsBeforeTheUnitCount)
{
    for (std::size_t length : {0u, 3u, 100u, 512u, 515u}) {
        std::vector<unsigned char> bytes(length, 0);
        EXPECT_EQ(size_of(bytes), 0) << length << " bytes";
        EXPECT_EQ(library_state.quirks.output_units, 0);
    }
    EXPECT_EQ(size_of(std::vector<unsigned char>(516, 0)), 152) << "516 zero bytes hold a count of 0";
}

TEST(KnowledgeLoad, FillsTheBufferAndLeavesAShortTailAtZero)
{
    TestNetwork n = random_network(3, 7);
    std::vector<float> image = knowledge_image(n);
    std::vector<unsigned char> bytes = image_bytes(image);
    const auto count = static_cast<std::int32_t>(image.size());

    // Whole file, then the same file cut 4 bytes short, then 2 bytes short.
    for (std::size_t cut : {0u, 4u, 2u}) {
        std::vector<unsigned char> part(bytes.begin(), bytes.end() - static_cast<long>(cut));
        std::vector<float> buffer(image.size(), 0.0f);
        std::FILE* file = temporary_file(part);
        knowledge_load(file, buffer.data(), count);
        std::fclose(file);
        for (std::size_t i = 0; i + 1 < image.size(); ++i) {
            ASSERT_TRUE(same_float(image[i], buffer[i])) << "float " << i << ", cut " << cut;
        }
        EXPECT_TRUE(same_float(cut == 0 ? 22.0f : 0.0f, buffer.back())) << "cut " << cut;
    }
}

TEST(KnowledgeLoad, ReadsNothingForACountOfZeroOrLess)
{
    std::FILE* file = temporary_file(std::vector<unsigned char>(16, 0xff));
    float sentinel = 5.0f;
    knowledge_load(file, &sentinel, 0);
    knowledge_load(file, &sentinel, -3);
    EXPECT_EQ(std::ftell(file), 0);
    EXPECT_EQ(sentinel, 5.0f);
    std::fclose(file);
}

} // namespace
