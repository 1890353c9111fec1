#include "classifier.h"
#include "command_line.h"
#include "emulator.h"
#include "error_blocks.h"
#include "input_file.h"
#include "knowledge_file.h"
#include "line_count.h"
#include "line_tally.h"
#include "misalignment_warning.h"
#include "output_writer.h"
#include "parallel_signal_pass.h"
#include "report.h"
#include "signal_line.h"
#include "signal_pass_settings.h"
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

bool print_record(void* sink, std::int32_t line, const float* probabilities, std::uint16_t class_id,
                  bool last) noexcept
{
    Classification result{};
    for (int k = 0; k < CLASS_COUNT; ++k) {
        result.probabilities[k] = probabilities[k];
    }
    result.class_id = class_id;
    report_file_record(static_cast<ReportTally*>(sink), result, line, last);
    return !output_failed();
}

// Reads the window's signals on worker threads as long as each line is one
// signal. Returns -1 when the sequential reader is to go on with signal
// *next_line, at the start of that line, the stream set there; otherwise the
// exit status. In whole-file form the window's end is the line count that
// the pass makes on the run's own stream.
int read_in_parallel(const CommandLine& line, std::FILE* file, int threads, LineWindow* window,
                     ReportTally* tally, std::int32_t* next_line) noexcept
{
    const bool whole_file = line.file_form == FileForm::WHOLE_FILE;
    ParallelPassSetup setup{};
    setup.file = file;
    setup.knowledge = knowledge_file_floats(&setup.float_count);
    setup.begin = window->begin;
    setup.end = window->end;
    setup.whole_file = whole_file;
    setup.threads = threads;
    setup.block_bytes = signal_pass_block_bytes();
    setup.record = print_record;
    setup.sink = tally;
    const ParallelPassResult pass = parallel_signal_pass(setup);
    switch (pass.outcome) {
    case ParallelOutcome::COMPLETE:
        window->end = pass.end;
        *next_line = pass.end + 1;
        return -1;
    case ParallelOutcome::RESUME:
        window->end = pass.end;
        *next_line = pass.next_signal;
        if (!seek_file_to(file, pass.resume_offset)) {
            return print_error(ErrorBlock::SIGNAL_UNREADABLE, line.signal_path);
        }
        return -1;
    case ParallelOutcome::READ_FAILED:
        return print_error(ErrorBlock::SIGNAL_UNREADABLE, line.signal_path);
    case ParallelOutcome::FILE_SHRANK:
        return print_error(ErrorBlock::SIGNALS_RUN_OUT, line.signal_path);
    case ParallelOutcome::OUTPUT_FAILED:
        return 1;
    case ParallelOutcome::NOT_STARTED:
        break;
    }
    *next_line = 1;
    return whole_file ? count_lines(line, file, &window->end) : -1;
}

// Reads the lines up to the window's end from the open signal file and
// reports those of the window. With more than one thread, the whole-file
// form's window has no end yet: the threaded pass counts the lines.
int classify_window(const CommandLine& command, std::FILE* file, LineWindow window, int threads) noexcept
{
    const char* path = command.signal_path;
    report_file_header(path);
    ReportTally tally{};
    std::int32_t first = 1;
    if (threads > 1) {
        const int status = read_in_parallel(command, file, threads, &window, &tally, &first);
        if (status >= 0) {
            return status;
        }
    }
    static SignalStream stream;
    signal_stream_init(&stream, file);
    Classification result{};
    float signal[INPUT_LENGTH];
    LineTally lines;
    line_tally_start(&lines, first);
    // Every line before the first was one signal: nothing to warn about.
    bool warned = first > window.end;
    // Lines after the end line are never read. window.begin >= 1 here.
    for (std::int32_t line = first; line <= window.end; ++line) {
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
    const int threads = signal_pass_thread_count();
    if (empty) {
        status = print_error(ErrorBlock::FILE_EMPTY);
    } else if (line.file_form == FileForm::WHOLE_FILE) {
        window.begin = 1;
        // With worker threads, the pass counts the lines as it reads them.
        if (threads == 1) {
            status = count_lines(line, file, &window.end);
        }
    } else {
        status = settle_window(line, file, &window);
    }
    if (status == 0) {
        status = classify_window(line, file, window, threads);
    }
    std::fclose(file);
    return status;
}
