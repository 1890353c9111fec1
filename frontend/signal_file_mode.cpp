#include "classifier.h"
#include "emulator.h"
#include "input_file.h"
#include "line_count.h"
#include "messages.h"
#include "number_line_word.h"
#include "output_writer.h"
#include "report.h"
#include "run_state.h"
#include "signal_line.h"
#include "signal_stream.h"

#include <cstdint>
#include <cstring>

// The number text reads signals of its own length; the library classifies
// signals of INPUT_LENGTH values. This is where the two meet.
static_assert(SIGNAL_LINE_VALUES == INPUT_LENGTH);

namespace {

void print_by_file_block(bool with_g6) noexcept
{
    output_text("Error: missing or not valid argument in Ombrel AI classification function call by file !\n");
    if (with_g6) {
        output_text(MESSAGE_G6);
    }
    const char* const block[] = {MESSAGE_U1, MESSAGE_U2, MESSAGE_R1, MESSAGE_DOC, nullptr};
    print_lines(block);
}

void print_compatibility_block() noexcept
{
    output_text("Error: arguments --begin and --end are not compatible !\n");
    output_text("End line number must be >= to begin line number\n");
}

// Settles the window from the ten-word form, pair by pair. Each option may be
// given once; a window whose end lies before its begin is refused whichever
// option comes second. Returns false after printing the failing pair's block.
bool settle_window(const char* const* argv, const char* path) noexcept
{
    RunState& run = run_state;
    bool have_begin = false;
    bool have_end = false;
    for (int word = 6; word <= 8; word += 2) {
        const char* option = argv[word];
        const char* value = argv[word + 1];
        if (std::strcmp(option, "--begin") == 0 && !have_begin) {
            have_begin = true;
            run.begin_line = parse_line_number(value);
            if (run.begin_line <= 0) {
                output_text("Error: argument --begin is not correct !\n");
                output_text("Begin line number must be > 0\n");
                return false;
            }
            if (have_end && run.end_line < run.begin_line) {
                print_compatibility_block();
                return false;
            }
        } else if (std::strcmp(option, "--end") == 0 && !have_end) {
            have_end = true;
            run.end_line = parse_line_number(value);
            if (run.end_line <= 0) {
                output_text("Error: argument --end is not correct !\n");
                output_text("End line number must be > 0\n");
                return false;
            }
            if (run.end_line < run.begin_line) {
                print_compatibility_block();
                return false;
            }
            run.line_count = count_line_feeds(path);
            if (run.line_count < run.end_line) {
                output_text("Error: argument --end is not compatible with the number of lines in file !\n");
                return false;
            }
        } else {
            print_by_file_block(false);
            return false;
        }
    }
    return true;
}

void print_scan_failure(const char* path, bool at_eof) noexcept
{
    output_text(at_eof ? "Error: incompatibility between required and number of data in file "
                       : "Error in reading file ");
    output_text(path);
    output_text(" !\n");
    output_text("Please check your file ");
    output_text(path);
    output_text(".\n");
    output_text(MESSAGE_R1);
    output_text(MESSAGE_DOC);
}

SignalStream signal_stream;

} // namespace

int signal_file_mode(int argc, const char* const* argv) noexcept
{
    if (argc != 6 && argc != 10) {
        print_by_file_block(true);
        return 1;
    }
    RunState& run = run_state;
    const char* path = argv[5];
    bool empty = false;
    std::FILE* file = open_input_file(path, &empty);
    if (file == nullptr) {
        output_text("Error: could not open file !\n");
        output_text(MESSAGE_G7);
        return 1;
    }
    if (empty) {
        output_text("Error: file is empty !\n");
        return 1;
    }
    if (argc == 6) {
        run.line_count = count_line_feeds(path);
        run.begin_line = 1;
        run.end_line = run.line_count;
    } else if (!settle_window(argv, path)) {
        return 1;
    }

    run.current_line = run.begin_line - 1;
    report_file_header(path);
    signal_stream_init(&signal_stream, file);
    // Lines before the window are read with the same rules and not classified;
    // lines after the end line are never read. begin_line >= 1 here.
    for (std::int32_t j = 0; j < run.end_line; ++j) {
        if (!read_signal_line(&signal_stream, run.input)) {
            print_scan_failure(path, signal_stream_at_eof(&signal_stream));
            return 1;
        }
        if (j < run.begin_line - 1) {
            continue;
        }
        classifier_run(run.input, run.probabilities, &run.class_id);
        run.current_line += 1;
        report_record(run.current_line, run.current_line == run.end_line);
        if (output_failed()) {
            return 1;
        }
    }
    // A run without any line (a file with no line feed) still closes its list.
    if (run.signal_count == 0) {
        report_closing_line();
    }
    report_summary();
    return 0;
}
