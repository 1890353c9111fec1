// The line-feed counter against a count byte by byte: buffers from empty to
// a few of its blocks long, at every alignment, from no line feed to
// nothing else (a byte counter that wraps shows only on long runs).
#include "line_feed_count.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

TEST(LineFeedCount, CountsAsAByteByByteCount)
{
    std::mt19937 random(20261212);
    std::vector<char> bytes(40000);
    for (int round = 0; round < 300; ++round) {
        const auto density = random() % 5 == 0 ? 256 : random() % 257; // in 256ths; 256: only line feeds
        for (char& b : bytes) {
            b = random() % 256 < density ? '\n' : static_cast<char>(random() % 256);
        }
        const std::size_t start = random() % 32;
        const std::size_t size = round < 40 ? static_cast<std::size_t>(round) : random() % (bytes.size() - start);
        const char* data = bytes.data() + start;
        EXPECT_EQ(count_line_feeds_in(data, size), std::count(data, data + size, '\n'))
            << "round " << round << ", " << size << " bytes from " << start;
    }
}

} // namespace
