// Decimal texts with their correctly rounded float32 bits (tests/data/float32-vectors),
// read the way the program reads a signal file.
#include "signal_line.h"
#include "signal_stream.h"
#include "test_stream.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Vector {
    std::uint32_t bits;
    std::string text;
};

std::vector<Vector> load_vectors(const char* name)
{
    std::vector<Vector> vectors;
    std::ifstream in(std::string(OMBREL_TEST_DATA_DIR) + "/float32-vectors/" + name);
    std::string line;
    while (std::getline(in, line)) {
        vectors.push_back({static_cast<std::uint32_t>(std::stoul(line.substr(0, 8), nullptr, 16)),
                           line.substr(9)});
    }
    return vectors;
}

// All texts, then all negated, as signal lines with varied separators; read
// with the static buffer and with a small one that sends long texts along
// the exact path.
void check_vectors(const char* name)
{
    const std::vector<Vector> vectors = load_vectors(name);
    ASSERT_GT(vectors.size(), 10000u) << name;
    std::string text;
    std::vector<std::uint32_t> expected;
    const char separators[] = ",; \t\n";
    for (const char* sign : {"", "-"}) {
        for (const Vector& v : vectors) {
            text += sign + v.text + separators[expected.size() % 5];
            expected.push_back(v.bits | (*sign != '\0' ? 0x80000000u : 0u));
        }
    }
    while (expected.size() % SIGNAL_LINE_VALUES != 0) {
        text += "0\n";
        expected.push_back(0);
    }

    for (const std::size_t capacity : {std::size_t{0}, std::size_t{64}}) {
        std::FILE* file = std::tmpfile();
        std::fwrite(text.data(), 1, text.size(), file);
        std::rewind(file);
        SignalStream stream;
        std::vector<char> storage(capacity);
        if (capacity == 0) {
            test_stream_init(&stream, file);
        } else {
            signal_stream_init_buffer(&stream, file, storage.data(), capacity);
        }
        for (std::size_t first = 0; first < expected.size(); first += SIGNAL_LINE_VALUES) {
            float values[SIGNAL_LINE_VALUES];
            ASSERT_TRUE(read_signal_line(&stream, values)) << "value " << first;
            for (std::size_t i = 0; i < SIGNAL_LINE_VALUES; ++i) {
                const std::size_t at = first + i;
                ASSERT_EQ(std::bit_cast<std::uint32_t>(values[i]), expected[at])
                    << (at < vectors.size() ? "" : "-") << vectors[at % vectors.size()].text;
            }
        }
        float values[SIGNAL_LINE_VALUES];
        EXPECT_FALSE(read_signal_line(&stream, values));
        EXPECT_TRUE(signal_stream_at_eof(&stream));
        std::fclose(file);
    }
}

TEST(Float32Vectors, Public) { check_vectors("public.txt"); }
TEST(Float32Vectors, Holdout) { check_vectors("holdout.txt"); }

} // namespace
