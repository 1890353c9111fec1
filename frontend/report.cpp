#include "report.h"

#include "output_writer.h"

namespace {

// Counts the classification; prints the record up to its line number.
void record_start(ReportTally* tally, const Classification& result) noexcept
{
    // The library gives ids 1 to CLASS_COUNT; anything else counts as 0.
    const std::uint16_t id = result.class_id;
    tally->class_counters[id <= CLASS_COUNT ? id : 0] += 1;
    tally->signal_count += 1;
    output_text("\t\t{\"signal\": ");
    output_int(tally->signal_count);
    output_text(", \"line\": ");
}

// The rest of the record after its line number.
void record_end(const Classification& result, bool last) noexcept
{
    const std::uint16_t id = result.class_id;
    output_text(", \"class_status\": ");
    output_uint(id);
    output_text(", \"class_name\": \"");
    output_text(CLASS_NAME_TABLE[id <= CLASS_COUNT ? id : 0]);
    output_text("\", \"class_proba\": [");
    for (int k = 0; k < CLASS_COUNT - 1; ++k) {
        output_fixed2(result.probabilities[k]);
        output_text(", ");
    }
    output_fixed2(result.probabilities[CLASS_COUNT - 1]);
    if (last) {
        output_text("]}\n ");
        report_closing_line();
    } else {
        output_text("]},\n ");
    }
}

} // namespace

void report_file_header(const char* signal_path) noexcept
{
    output_text("{\n\t\"status\": \"classification\",\n\t\"lib_id\": \"");
    output_text(LIBRARY_ID);
    output_text("\",\n\t\"input\": \"");
    output_text(signal_path);
    output_text("\",\n\t\"results\": [\n");
}

void report_array_header() noexcept
{
    output_text("{\n\t\"status\": \"classification\",\n\t\"input\": \"array\",\n\t\"results\": [\n");
}

void report_array_record(ReportTally* tally, const Classification& result) noexcept
{
    record_start(tally, result);
    output_text("\"null\"");
    record_end(result, true);
}

void report_file_record(ReportTally* tally, const Classification& result, std::int32_t line, bool last) noexcept
{
    record_start(tally, result);
    output_int(line);
    record_end(result, last);
}

void report_closing_line() noexcept
{
    output_text("\t],\n");
}

void report_summary(const ReportTally& tally) noexcept
{
    output_text("\t\"classification_summary\": {\"signals\": ");
    output_int(tally.signal_count);
    output_text(", \"classified\": [");
    for (int id = 1; id < CLASS_COUNT; ++id) {
        output_int(tally.class_counters[id]);
        output_text(", ");
    }
    output_int(tally.class_counters[CLASS_COUNT]);
    output_text("], \"unclassified\": ");
    output_int(tally.class_counters[0]);
    output_text("}\n}\n");
}
