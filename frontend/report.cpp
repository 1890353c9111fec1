#include "report.h"

#include "output_writer.h"
#include "text/number_format.h"

#include <cstring>

namespace {

// The line that closes the list of results, after its last record.
constexpr char CLOSING_LINE[] = "\t],\n";

// The most a record takes besides its class name: under 100 bytes of
// literals, two numbers of up to 11 characters, the probabilities (each
// written with its NUL) and the closing line.
constexpr std::size_t RECORD_MOST = 128 + 2 * 11 + CLASS_COUNT * FIXED2_BUFFER_SIZE;

// Counts the classification and prints its record, written in place: the
// line number, or array mode's "null" when `line` is null; the last record
// is followed by the closing line.
void print_record(OutputWriter* out, ReportTally* tally, const Classification& result, const std::int32_t* line,
                  bool last) noexcept
{
    // The library gives ids 1 to CLASS_COUNT; anything else counts as 0.
    const std::uint16_t id = result.class_id;
    const char* name = CLASS_NAME_TABLE[id <= CLASS_COUNT ? id : 0];
    const std::size_t name_length = std::strlen(name);
    tally->class_counters[id <= CLASS_COUNT ? id : 0] += 1;
    tally->signal_count += 1;
    char* p = output_room(out, RECORD_MOST + name_length);
    p = put_text(p, "\t\t{\"signal\": ");
    p = put_int(p, tally->signal_count);
    p = put_text(p, ", \"line\": ");
    p = line != nullptr ? put_int(p, *line) : put_text(p, "\"null\"");
    p = put_text(p, ", \"class_status\": ");
    p = put_uint(p, id);
    p = put_text(p, ", \"class_name\": \"");
    std::memcpy(p, name, name_length);
    p = put_text(p + name_length, "\", \"class_proba\": [");
    for (int k = 0; k < CLASS_COUNT - 1; ++k) {
        p += format_fixed2(result.probabilities[k], p);
        p = put_text(p, ", ");
    }
    p += format_fixed2(result.probabilities[CLASS_COUNT - 1], p);
    p = last ? put_text(put_text(p, "]}\n "), CLOSING_LINE) : put_text(p, "]},\n ");
    output_written(out, p);
}

} // namespace

void report_file_header(OutputWriter* out, const char* signal_path) noexcept
{
    output_text(out, "{\n\t\"status\": \"classification\",\n\t\"lib_id\": \"");
    output_text(out, LIBRARY_ID);
    output_text(out, "\",\n\t\"input\": \"");
    output_text(out, signal_path);
    output_text(out, "\",\n\t\"results\": [\n");
}

void report_array_header(OutputWriter* out) noexcept
{
    output_text(out, "{\n\t\"status\": \"classification\",\n\t\"input\": \"array\",\n\t\"results\": [\n");
}

void report_array_record(OutputWriter* out, ReportTally* tally, const Classification& result) noexcept
{
    print_record(out, tally, result, nullptr, true);
}

void report_file_record(OutputWriter* out, ReportTally* tally, const Classification& result, std::int32_t line, bool last) noexcept
{
    print_record(out, tally, result, &line, last);
}

void report_closing_line(OutputWriter* out) noexcept
{
    output_text(out, CLOSING_LINE);
}

void report_summary(OutputWriter* out, const ReportTally& tally) noexcept
{
    output_text(out, "\t\"classification_summary\": {\"signals\": ");
    output_int(out, tally.signal_count);
    output_text(out, ", \"classified\": [");
    for (int id = 1; id < CLASS_COUNT; ++id) {
        output_int(out, tally.class_counters[id]);
        output_text(out, ", ");
    }
    output_int(out, tally.class_counters[CLASS_COUNT]);
    output_text(out, "], \"unclassified\": ");
    output_int(out, tally.class_counters[0]);
    output_text(out, "}\n}\n");
}
