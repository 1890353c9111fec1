#include "reader_warnings.h"

#include <cinttypes>
#include <cstdio>

void reader_findings_take(ReaderFindings* f, const SignalRecord& record) noexcept
{
    if ((record.findings & SIGNAL_NON_FINITE) != 0) {
        f->non_finite_line = f->non_finite_count == 0 ? record.line : f->non_finite_line;
        ++f->non_finite_count;
    }
    if ((record.findings & SIGNAL_COLUMN_NUMBERS) != 0) {
        f->column_numbers = true;
    }
}

void non_finite_text(char* text, std::size_t size, std::int64_t line, std::int64_t count) noexcept
{
    (void)std::snprintf(text, size, "%" PRId64 " signal%s hold%s NaN or infinity, the first on line %" PRId64
                        "; %s probabilities and class are not a classification",
                        count, count == 1 ? "" : "s", count == 1 ? "s" : "", line, count == 1 ? "its" : "their");
}

void unterminated_text(char* text, std::size_t size, std::int64_t line) noexcept
{
    (void)std::snprintf(text, size, "the last line (line %" PRId64 ") has no line feed: it is not a line and its "
                        "signal is not classified; end the file with a line feed", line);
}

void column_numbers_text(char* text, std::size_t size) noexcept
{
    (void)std::snprintf(text, size, "line 1 holds the column numbers 0 to 63 and is classified as a signal; write "
                        "the signals with DataFrame.to_csv(path, index=False, header=False)");
}

bool warn_line(const char* text) noexcept
{
    // Standard error is unbuffered: a failed write shows in the result.
    return std::fprintf(stderr, "ombrel_emulator: warning: %s\n", text) > 0 && std::fflush(stderr) == 0;
}

bool warn_reader_findings(const ReaderFindings& f) noexcept
{
    char text[READER_WARNING_TEXT];
    bool written = true;
    if (f.column_numbers) {
        column_numbers_text(text, sizeof text);
        written = warn_line(text) && written;
    }
    if (f.non_finite_count != 0) {
        non_finite_text(text, sizeof text, f.non_finite_line, f.non_finite_count);
        written = warn_line(text) && written;
    }
    if (f.unterminated_line != 0) {
        unterminated_text(text, sizeof text, f.unterminated_line);
        written = warn_line(text) && written;
    }
    return written;
}
