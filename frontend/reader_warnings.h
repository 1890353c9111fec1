#ifndef OMBREL_READER_WARNINGS_H
#define OMBREL_READER_WARNINGS_H

// What a run over a signal file found that may make its report look valid
// when it is not, and the words for it: the command writes each as one line
// on standard error, prefixed "ombrel_emulator: warning: ", after the
// report; the Python reader raises each as a warning. The report itself is
// unchanged by them.

#include "signal_file/signal_file.h"

#include <cstddef>
#include <cstdint>

struct ReaderFindings {
    std::int64_t non_finite_line;   // first signal holding a NaN or an infinity; 0 if none
    std::int64_t non_finite_count;  // signals holding one
    std::int64_t unterminated_line; // a last line without a line feed, never classified; 0 if none
    bool column_numbers;            // line 1 was classified and reads 0, 1, ..., 63
};

// Counts a record's findings (records in line order).
void reader_findings_take(ReaderFindings* f, const SignalRecord& record) noexcept;

// The words of each finding, with no line end; each text needs at most
// READER_WARNING_TEXT bytes, the terminating zero included.
inline constexpr std::size_t READER_WARNING_TEXT = 224;
void non_finite_text(char* text, std::size_t size, std::int64_t line, std::int64_t count) noexcept;
void unterminated_text(char* text, std::size_t size, std::int64_t line) noexcept;
void column_numbers_text(char* text, std::size_t size) noexcept;

// Writes the findings' lines to standard error; false when a line could not
// be written (the command then fails as after any failed write).
bool warn_reader_findings(const ReaderFindings& f) noexcept;

// One warning line on standard error with the program's prefix.
bool warn_line(const char* text) noexcept;

#endif
