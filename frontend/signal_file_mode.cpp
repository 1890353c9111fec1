#include "classifier.h"
#include "command_line.h"
#include "emulator.h"
#include "error_blocks.h"
#include "input_file.h"
#include "line_count.h"
#include "line_tally.h"
#include "misalignment_warning.h"
#include "output_writer.h"
#include "report.h"
#include "signal_line.h"
#include "signal_stream.h"

#include <cstdint>
#include <cstdio>

// The number text reads signals of its own length; the library classifies
// signals of INPUT_LENGTH values. This is where the two meet.
static_assert(SIGNAL_LINE_VALUES == INPUT_LENGTH);

namespace {

// Lines counted from 1; lines 1 to begin - 1 are read and not classified.
struct LineWindow {
    std::int32_t begin;
    std::int32_t end;
};

// The line count of the open signal file. Returns 0, or the exit status
// after the block: a path that no longer opens, or opens another file, is a
// file that could not be opened; a read error is a file that could not be
// read.
int count_lines(const CommandLine& line, std::FILE* file, std::int32_t* count) noexcept
{
    const LineCount counted = count_line_feeds(line.signal_path, file);
    switch (counted.outcome) {
    case LineCountOutcome::COUNTED:
        *count = counted.line_feeds;
        return 0;
    case LineCountOutcome::NOT_OPENED:
        return print_error(ErrorBlock::SIGNAL_FILE_NOT_OPENED);
    case LineCountOutcome::READ_FAILED:
        break;
    }
    return print_error(ErrorBlock::SIGNAL_UNREADABLE, line.signal_path);
}

// Settles the window from the two pairs, in the order typed. Each option
// may be given once; a window whose end lies before its begin is refused
// whichever option comes second. Returns 0, or the exit status after the
// failing pair's block.
int settle_window(const CommandLine& line, std::FILE* file, LineWindow* window) noexcept
{
    bool have_begin = false;
    bool have_end = false;
    for (const WindowPair& pair : line.window) {
        if (pair.option == WindowOption::BEGIN && !have_begin) {
            have_begin = true;
            window->begin = pair.line;
            if (window->begin <= 0) {
                return print_error(ErrorBlock::BEGIN_NOT_POSITIVE);
            }
            if (have_end && window->end < window->begin) {
                return print_error(ErrorBlock::WINDOW_REVERSED);
            }
        } else if (pair.option == WindowOption::END && !have_end) {
            have_end = true;
            window->end = pair.line;
            if (window->end <= 0) {
                return print_error(ErrorBlock::END_NOT_POSITIVE);
            }
            if (window->end < window->begin) {
                return print_error(ErrorBlock::WINDOW_REVERSED);
            }
            std::int32_t line_count = 0;
            if (const int status = count_lines(line, file, &line_count); status != 0) {
                return status;
            }
            if (line_count < window->end) {
                return print_error(ErrorBlock::END_BEYOND_FILE);
            }
        } else {
            return print_error(ErrorBlock::WINDOW_OPTION_UNKNOWN);
        }
    }
    return 0;
}

// Reads the lines up to the window's end from the open signal file and
// reports those of the window.
int classify_window(const char* path, std::FILE* file, LineWindow window) noexcept
{
    static SignalStream stream;
    signal_stream_init(&stream, file);
    report_file_header(path);
    ReportTally tally{};
    Classification result{};
    float signal[INPUT_LENGTH];
    LineTally lines;
    line_tally_start(&lines, 1);
    bool warned = false;
    // Lines after the end line are never read. window.begin >= 1 here.
    for (std::int32_t line = 1; line <= window.end; ++line) {
        const bool read = read_signal_line_tallied(&stream, signal, &lines);
        if (lines.off_line != 0 && !warned) {
            warned = true;
            warn_misaligned(lines.off_line, lines.off_values);
        }
        // A signal that a read error may have cut short is not classified.
        // After a read error the stream is never at its end, so the block
        // is the one of a file that could not be read.
        if (!read || signal_stream_cut_short(&stream)) {
            return print_error(signal_stream_at_eof(&stream) ? ErrorBlock::SIGNALS_RUN_OUT
                                                             : ErrorBlock::SIGNAL_UNREADABLE,
                               path);
        }
        if (line < window.begin) {
            continue;
        }
        (void)classifier_run(signal, result.probabilities, &result.class_id);
        report_file_record(&tally, result, line, line == window.end);
        if (output_failed()) {
            return 1;
        }
    }
    if (!warned) {
        line_tally_finish(&stream, &lines);
        if (lines.off_line != 0) {
            warn_misaligned(lines.off_line, lines.off_values);
        }
    }
    // A run without any line (a file with no line feed) still closes its list.
    if (tally.signal_count == 0) {
        report_closing_line();
    }
    report_summary(tally);
    return 0;
}

} // namespace

int signal_file_mode(const CommandLine& line) noexcept
{
    if (line.file_form == FileForm::WRONG_WORD_COUNT) {
        return print_error(ErrorBlock::FILE_WORD_COUNT);
    }
    bool empty = false;
    std::FILE* file = open_input_file(line.signal_path, &empty);
    if (file == nullptr) {
        return print_error(ErrorBlock::SIGNAL_FILE_NOT_OPENED);
    }
    int status = 0;
    LineWindow window{};
    if (empty) {
        status = print_error(ErrorBlock::FILE_EMPTY);
    } else if (line.file_form == FileForm::WHOLE_FILE) {
        window.begin = 1;
        status = count_lines(line, file, &window.end);
    } else {
        status = settle_window(line, file, &window);
    }
    if (status == 0) {
        status = classify_window(line.signal_path, file, window);
    }
    std::fclose(file);
    return status;
}
