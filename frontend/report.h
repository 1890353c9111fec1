// The pieces of the classification report, in the order they appear.
#ifndef OMBREL_REPORT_H
#define OMBREL_REPORT_H

#include <cstdint>

void report_file_header(const char* signal_path) noexcept;
void report_array_header() noexcept;

// Counts the run's latest classification (run_state.class_id and
// probabilities) and prints its record; line < 0 prints the array form
// ("line": "null"). The last record of the run is followed by the closing line.
void report_record(std::int32_t line, bool last) noexcept;

// Closes the list of results without a record: for a run that classifies nothing.
void report_closing_line() noexcept;

// The summary and the report's final brace.
void report_summary() noexcept;

#endif
