#include "signal_file_mode.h"

#include "error_blocks.h"
#include "knowledge_file.h"
#include "misalignment_warning.h"
#include "output_writer.h"
#include "reader_warnings.h"
#include "report.h"
#include "signal_file/pass_settings.h"
#include "signal_file/signal_file.h"
#include "signal_file_error.h"

#include <cstdio>

namespace {

// The ten-word form's pairs as the component's steps, up to the first that
// is neither --begin nor --end or repeats one; *refused tells whether there
// is such a pair (its block comes once the steps before it stand).
int window_steps(const CommandLine& line, SignalWindowStep* steps, bool* refused) noexcept
{
    int count = 0;
    bool seen[2] = {false, false};
    *refused = false;
    for (const WindowPair& pair : line.window) {
        const bool is_end = pair.option == WindowOption::END;
        if (pair.option == WindowOption::OTHER || seen[is_end]) {
            *refused = true;
            break;
        }
        seen[is_end] = true;
        steps[count++] = {is_end, pair.line};
    }
    return count;
}

SignalFileOutcome settle(const CommandLine& line, SignalFile* file, bool* refused) noexcept
{
    SignalWindowStep steps[WINDOW_PAIRS];
    int count = 0;
    *refused = false;
    if (line.file_form == FileForm::WINDOW) {
        count = window_steps(line, steps, refused);
    }
    return signal_file_settle(file, steps, count);
}

// The report being printed: the sink's context.
struct FileReport {
    OutputWriter* out;
    const char* path;
    ReportTally tally;
    ReaderFindings findings;
};

bool print_record(void* context, const SignalRecord& record) noexcept
{
    auto* report = static_cast<FileReport*>(context);
    Classification result{};
    for (int k = 0; k < CLASS_COUNT; ++k) {
        result.probabilities[k] = record.probabilities[k];
    }
    result.class_id = record.class_id;
    reader_findings_take(&report->findings, record);
    report_file_record(report->out, &report->tally, result, static_cast<std::int32_t>(record.line), record.last);
    return !output_failed(report->out);
}

// The end of a complete run, or the failure's block; returns the exit status.
int finish(const CommandLine& line, const SignalFileOutcome& outcome, const FileReport& report) noexcept
{
    if (outcome.status == SignalFileStatus::SINK_STOPPED) {
        return 1; // the output failed: nothing more can be printed
    }
    if (outcome.status != SignalFileStatus::COMPLETE) {
        return print_error(report.out, signal_file_error_block(outcome.status), line.signal_path);
    }
    // A run without any line (a file with no line feed) still closes its list.
    if (report.tally.signal_count == 0) {
        report_closing_line(report.out);
    }
    report_summary(report.out, report.tally);
    return 0;
}

// The header, once the window's lines are known to be read.
void print_header(void* context) noexcept
{
    auto* report = static_cast<FileReport*>(context);
    report_file_header(report->out, report->path);
}

// Reads the settled window and prints the header and its records; then the
// warnings on standard error. A last line without a line feed concerns the
// six-word form only: a window names its lines.
SignalFileOutcome classify(SignalFile* file, const CommandLine& line, const KnowledgeFile& knowledge, int threads,
                           FileReport* report) noexcept
{
    const SignalReadSettings settings{knowledge.floats, knowledge.float_count, threads, signal_pass_block_bytes()};
    const SignalFileOutcome outcome = signal_file_read(file, settings, {print_record, report, print_header});
    bool written = outcome.misaligned_line == 0 ||
                   warn_misaligned(outcome.misaligned_line, outcome.misaligned_values, outcome.misaligned_count);
    if (outcome.status == SignalFileStatus::COMPLETE) {
        if (line.file_form != FileForm::WINDOW && file->unterminated_tail) {
            report->findings.unterminated_line = (file->line_count > 0 ? file->line_count : 0) + 1;
        }
        written = warn_reader_findings(report->findings) && written;
    }
    // A lost warning is a failed write: the run cannot end as a success.
    if (!written) {
        output_fail(report->out);
    }
    return outcome;
}

} // namespace

int signal_file_mode(const CommandLine& line, const KnowledgeFile& knowledge, OutputWriter* out) noexcept
{
    if (line.file_form == FileForm::WRONG_WORD_COUNT) {
        return print_error(out, ErrorBlock::FILE_WORD_COUNT);
    }
    const ThreadSetting threads = signal_pass_threads();
    if (threads.invalid != nullptr) {
        char text[160];
        thread_setting_message(text, sizeof text, threads.invalid);
        (void)std::fprintf(stderr, "ombrel_emulator: %s", text);
        return 1;
    }
    SignalFile file;
    SignalFileOutcome outcome = signal_file_open(&file, line.signal_path);
    bool refused = false;
    if (outcome.status == SignalFileStatus::COMPLETE) {
        outcome = settle(line, &file, &refused);
    }
    FileReport report{out, line.signal_path, {}, {}};
    if (outcome.status == SignalFileStatus::COMPLETE && !refused) {
        outcome = classify(&file, line, knowledge, threads.threads, &report);
    }
    signal_file_close(&file);
    if (refused && outcome.status == SignalFileStatus::COMPLETE) {
        return print_error(out, ErrorBlock::WINDOW_OPTION_UNKNOWN);
    }
    return finish(line, outcome, report);
}
