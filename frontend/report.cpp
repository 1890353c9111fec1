#include "report.h"

#include "classifier.h"
#include "output_writer.h"
#include "run_state.h"

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

void report_record(std::int32_t line, bool last) noexcept
{
    RunState& run = run_state;
    const std::uint16_t id = run.class_id;
    // The library gives ids 1 to CLASS_COUNT; anything else counts and prints as 0.
    const std::uint16_t counted = id <= CLASS_COUNT ? id : 0;
    run.class_counters[counted] += 1;
    run.signal_count += 1;

    output_text("\t\t{\"signal\": ");
    output_int(run.signal_count);
    if (line < 0) {
        output_text(", \"line\": \"null\", \"class_status\": ");
    } else {
        output_text(", \"line\": ");
        output_int(line);
        output_text(", \"class_status\": ");
    }
    output_uint(id);
    output_text(", \"class_name\": \"");
    output_text(CLASS_NAME_TABLE[counted]);
    output_text("\", \"class_proba\": [");
    for (int k = 0; k < CLASS_COUNT - 1; ++k) {
        output_fixed2(run.probabilities[k]);
        output_text(", ");
    }
    output_fixed2(run.probabilities[CLASS_COUNT - 1]);
    if (last) {
        output_text("]}\n ");
        report_closing_line();
    } else {
        output_text("]},\n ");
    }
}

void report_closing_line() noexcept
{
    output_text("\t],\n");
}

void report_summary() noexcept
{
    const RunState& run = run_state;
    output_text("\t\"classification_summary\": {\"signals\": ");
    output_int(run.signal_count);
    output_text(", \"classified\": [");
    for (int id = 1; id < CLASS_COUNT; ++id) {
        output_int(run.class_counters[id]);
        output_text(", ");
    }
    output_int(run.class_counters[CLASS_COUNT]);
    output_text("], \"unclassified\": ");
    output_int(run.class_counters[0]);
    output_text("}\n}\n");
}
