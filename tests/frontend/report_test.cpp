// Report records, written in place in the writer's buffer, against the C
// library's printf of the same format.
#include "report.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>

namespace {

std::string printed_fixed2(float value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(value));
    return std::isnan(value) ? "nan" : text; // the report never prints "-nan"
}

// Many buffer fills of records: line numbers and signal counts of any sign
// and length, class ids within and outside 1 to 4, probabilities of every
// bit pattern (NaN, infinities, huge, subnormal) or in [0, 1], array
// records, and last records followed by the closing line.
TEST(Report, RecordsWrittenInPlaceAreThoseOfPrintf)
{
    std::mt19937 random(20261211);
    std::FILE* stream = std::tmpfile();
    const auto out = std::make_unique<OutputWriter>();
    output_start(out.get(), stream);
    ReportTally tally{};
    tally.signal_count = INT32_MIN + 1000; // signal numbers cross zero
    std::string expected;
    for (int k = 0; k < 3000; ++k) {
        Classification result{};
        for (float& p : result.probabilities) {
            p = random() % 2 != 0 ? std::bit_cast<float>(static_cast<std::uint32_t>(random()))
                                  : static_cast<float>(random() % 100001) / 100000.0f;
        }
        result.class_id = static_cast<std::uint16_t>(random() % 7);
        const auto line = static_cast<std::int32_t>(random() % 3 == 0 ? random() : random() % 1000);
        const bool array = random() % 100 == 0;
        const bool last = array || random() % 50 == 0;
        if (array) {
            report_array_record(out.get(), &tally, result);
        } else {
            report_file_record(out.get(), &tally, result, line, last);
        }
        char head[160];
        std::snprintf(head, sizeof head, "\t\t{\"signal\": %d, \"line\": %s, \"class_status\": %u, \"class_name\": \"%s\", "
                      "\"class_proba\": [", tally.signal_count, array ? "\"null\"" : std::to_string(line).c_str(),
                      static_cast<unsigned>(result.class_id), CLASS_NAME_TABLE[result.class_id <= 4 ? result.class_id : 0]);
        expected += head;
        for (int c = 0; c < CLASS_COUNT; ++c) {
            expected += printed_fixed2(result.probabilities[c]) + (c + 1 < CLASS_COUNT ? ", " : "");
        }
        expected += last ? "]}\n \t],\n" : "]},\n ";
    }
    ASSERT_TRUE(output_finish(out.get()));
    std::string written(expected.size() + 1, '\0');
    std::rewind(stream);
    written.resize(std::fread(written.data(), 1, written.size(), stream));
    std::fclose(stream);
    EXPECT_GT(expected.size(), 4 * OUTPUT_CAPACITY);
    EXPECT_EQ(written, expected);
}

} // namespace
