#include "report.h"

#include "output_writer.h"

namespace {

// Counts the classification; prints the record up to its line number.
void record_start(OutputWriter* out, ReportTally* tally, const Classification& result) noexcept
{
    // The library gives ids 1 to CLASS_COUNT; anything else counts as 0.
    const std::uint16_t id = result.class_id;
    tally->class_counters[id <= CLASS_COUNT ? id : 0] += 1;
    tally->signal_count += 1;
    output_text(out, "\t\t{\"signal\": ");
    output_int(out, tally->signal_count);
    output_text(out, ", \"line\": ");
}

// The rest of the record after its line number.
void record_end(OutputWriter* out, const Classification& result, bool last) noexcept
{
    const std::uint16_t id = result.class_id;
    output_text(out, ", \"class_status\": ");
    output_uint(out, id);
    output_text(out, ", \"class_name\": \"");
    output_text(out, CLASS_NAME_TABLE[id <= CLASS_COUNT ? id : 0]);
    output_text(out, "\", \"class_proba\": [");
    for (int k = 0; k < CLASS_COUNT - 1; ++k) {
        output_fixed2(out, result.probabilities[k]);
        output_text(out, ", ");
    }
    output_fixed2(out, result.probabilities[CLASS_COUNT - 1]);
    if (last) {
        output_text(out, "]}\n ");
        report_closing_line(out);
    } else {
        output_text(out, "]},\n ");
    }
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
    record_start(out, tally, result);
    output_text(out, "\"null\"");
    record_end(out, result, true);
}

void report_file_record(OutputWriter* out, ReportTally* tally, const Classification& result, std::int32_t line, bool last) noexcept
{
    record_start(out, tally, result);
    output_int(out, line);
    record_end(out, result, last);
}

void report_closing_line(OutputWriter* out) noexcept
{
    output_text(out, "\t],\n");
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
