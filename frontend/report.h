// The pieces of the classification report, in the order they appear.
#ifndef OMBREL_REPORT_H
#define OMBREL_REPORT_H

#include "classifier.h"
#include "output_writer.h"

#include <cstdint>

// What classifier_run gave for one signal.
struct Classification {
    float probabilities[CLASS_COUNT]; // class k + 1 at index k
    std::uint16_t class_id;
};

// The counts that the summary prints. All zero before the first record.
struct ReportTally {
    std::int32_t class_counters[CLASS_COUNT + 1]; // by class id; [0] is "unclassified"
    std::int32_t signal_count;
};

void report_file_header(OutputWriter* out, const char* signal_path) noexcept;
void report_array_header(OutputWriter* out) noexcept;

// Counts the classification and prints its record. A class id outside 1 to
// CLASS_COUNT counts and is named as class 0.
// The one record of array mode ("line": "null"), followed by the closing line.
void report_array_record(OutputWriter* out, ReportTally* tally, const Classification& result) noexcept;
// A record of a signal file; the last one of the run is followed by the closing line.
void report_file_record(OutputWriter* out, ReportTally* tally, const Classification& result, std::int32_t line, bool last) noexcept;

// Closes the list of results without a record: for a run that classifies nothing.
void report_closing_line(OutputWriter* out) noexcept;

// The summary and the report's final brace.
void report_summary(OutputWriter* out, const ReportTally& tally) noexcept;

#endif
