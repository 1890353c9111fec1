#include "signal_file/signal_file.h"

#include "classifier_context.h"
#include "signal_file/input_file.h"
#include "signal_file/line_feeds.h"
#include "signal_file/seek_file_to.h"
#include "signal_file/sequential_pass.h"
#include "signal_file/threaded_pass.h"
#include "text/number_chars.h"

#include <cstdio>

namespace {

SignalFileOutcome outcome_of(SignalFileStatus status, std::int64_t line = 0) noexcept
{
    return {status, line, 0, 0, 0};
}

// Counts the line feeds of the first `size` bytes into f->line_count, on a
// stream of its own (size 0: only checks that the path names the file
// read). COMPLETE, or why not.
SignalFileOutcome count_lines(SignalFile* f, std::uint64_t size) noexcept
{
    const LineCount counted = count_file_line_feeds(f->path, f->file, size, f->stop);
    switch (counted.outcome) {
    case LineCountOutcome::COUNTED:
        f->line_count = counted.line_feeds;
        return outcome_of(SignalFileStatus::COMPLETE);
    case LineCountOutcome::NOT_OPENED:
        return outcome_of(SignalFileStatus::NOT_OPENED);
    case LineCountOutcome::SHRANK:
        return outcome_of(SignalFileStatus::RUN_OUT);
    case LineCountOutcome::STOPPED:
        return outcome_of(SignalFileStatus::SINK_STOPPED);
    case LineCountOutcome::READ_FAILED:
        break;
    }
    return outcome_of(SignalFileStatus::READ_ERROR);
}

SignalFileOutcome settle_end(SignalFile* f, std::int64_t end) noexcept
{
    f->end = end;
    if (f->end <= 0) {
        return outcome_of(SignalFileStatus::END_NOT_POSITIVE);
    }
    if (f->end < f->begin) {
        return outcome_of(SignalFileStatus::WINDOW_REVERSED);
    }
    const SignalFileOutcome counted = count_lines(f, f->size);
    if (counted.status == SignalFileStatus::COMPLETE && f->line_count < f->end) {
        return outcome_of(SignalFileStatus::END_BEYOND_FILE);
    }
    return counted;
}

void start(SignalSink sink) noexcept
{
    if (sink.start != nullptr) {
        sink.start(sink.context);
    }
}

SignalFileOutcome threaded_outcome(const ThreadedPassResult& pass) noexcept
{
    switch (pass.outcome) {
    case ThreadedOutcome::COMPLETE:
        return outcome_of(SignalFileStatus::COMPLETE);
    case ThreadedOutcome::SINK_STOPPED:
        return outcome_of(SignalFileStatus::SINK_STOPPED);
    case ThreadedOutcome::COUNT_SHRANK:
        return outcome_of(SignalFileStatus::RUN_OUT);
    case ThreadedOutcome::COUNT_UNREADABLE:
    case ThreadedOutcome::RESUME:
    case ThreadedOutcome::NOT_STARTED:
        break;
    }
    return outcome_of(SignalFileStatus::READ_ERROR);
}

// The threaded pass, then the sequential one from where it stopped; *rest
// is set for the sequential pass, which runs unless an outcome is returned.
// *started: the pass ran (and called sink.start).
bool read_threaded(SignalFile* f, const SignalReadSettings& settings, SignalSink sink, SequentialPassSetup* rest,
                   SignalFileOutcome* outcome, bool* started) noexcept
{
    const ThreadedPassSetup setup{f->file, f->size, settings.knowledge, settings.float_count, f->begin,
                                  f->end,  settings.threads, settings.block_bytes, sink, f->stop};
    const ThreadedPassResult pass = threaded_pass(setup);
    *started = pass.outcome != ThreadedOutcome::NOT_STARTED;
    if (!*started) {
        return false;
    }
    if (pass.outcome == ThreadedOutcome::COMPLETE || pass.outcome == ThreadedOutcome::RESUME) {
        // The pass counted a whole file's lines: its end is the count.
        f->line_count = f->end < 0 ? pass.end : f->line_count;
        f->end = pass.end;
    }
    if (pass.outcome != ThreadedOutcome::RESUME) {
        *outcome = threaded_outcome(pass);
        return true;
    }
    rest->end = pass.end;
    // The sequential pass reads the bytes again: a read error there is its own.
    std::clearerr(f->file);
    if (!seek_file_to(f->file, pass.resume_offset)) {
        *outcome = outcome_of(SignalFileStatus::READ_ERROR, pass.next_signal);
        return true;
    }
    rest->first_line = pass.next_signal;
    rest->byte_limit = f->size - static_cast<std::uint64_t>(pass.resume_offset);
    return false;
}

// A whole file's lines are counted as they are read, by the threaded pass
// or the sequential one: the file is read once.
SignalFileOutcome read_window(SignalFile* f, const SignalReadSettings& settings, SignalSink sink,
                              ClassifierContext* context) noexcept
{
    SequentialPassSetup rest{f->file, f->size, 1, f->begin, f->end, {sink, context}, f->stop};
    if (f->end < 0) {
        // The path must still name the file read, as for a count on its own stream.
        const SignalFileOutcome same = count_lines(f, 0);
        if (same.status != SignalFileStatus::COMPLETE) {
            return same;
        }
    }
    bool started = false;
    if (settings.threads > 1 && f->size != 0) {
        SignalFileOutcome outcome{};
        if (read_threaded(f, settings, sink, &rest, &outcome, &started)) {
            return outcome;
        }
    }
    if (!started) {
        start(sink);
    }
    std::int64_t end = -1;
    const SignalFileOutcome outcome = sequential_pass(rest, &end);
    if (outcome.status == SignalFileStatus::COMPLETE && f->end < 0) {
        f->line_count = end;
        f->end = end;
    }
    return outcome;
}

// Whether the bytes after the last line feed of the first `size` (all of
// them when there is none) hold anything but white space. Reads blocks from
// the end backwards; the first byte that is not white space other than a
// line feed decides. False when the file cannot be read: it is then not
// read at all.
bool tail_unterminated(std::FILE* file, std::uint64_t size) noexcept
{
    constexpr std::int64_t CHUNK = 4096;
    char bytes[CHUNK];
    for (auto end = static_cast<std::int64_t>(size); end > 0;) {
        const std::int64_t start = end > CHUNK ? end - CHUNK : 0;
        const auto length = static_cast<std::size_t>(end - start);
        if (!seek_file_to(file, start) || std::fread(bytes, 1, length, file) != length) {
            return false;
        }
        for (std::size_t k = length; k-- > 0;) {
            const auto c = static_cast<unsigned char>(bytes[k]);
            if (c == '\n') {
                return false;
            }
            if (!is_number_space(c)) {
                return true;
            }
        }
        end = start;
    }
    return false;
}

} // namespace

SignalFileOutcome signal_file_open(SignalFile* f, const char* path) noexcept
{
    *f = SignalFile{nullptr, path, 0, -1, 1, 0, false, nullptr};
    f->file = open_input_file(path, &f->size);
    if (f->file == nullptr) {
        return outcome_of(SignalFileStatus::NOT_OPENED);
    }
    f->unterminated_tail = tail_unterminated(f->file, f->size);
    if (!seek_file_to(f->file, 0)) {
        signal_file_close(f);
        return outcome_of(SignalFileStatus::NOT_OPENED);
    }
    return outcome_of(f->size == 0 ? SignalFileStatus::EMPTY : SignalFileStatus::COMPLETE);
}

SignalFileOutcome signal_file_settle(SignalFile* f, const SignalWindowStep* steps, int step_count) noexcept
{
    bool have_end = false;
    f->begin = 1;
    for (int k = 0; k < step_count; ++k) {
        if (steps[k].is_end) {
            have_end = true;
            const SignalFileOutcome settled = settle_end(f, steps[k].line);
            if (settled.status != SignalFileStatus::COMPLETE) {
                return settled;
            }
            continue;
        }
        f->begin = steps[k].line;
        if (f->begin <= 0) {
            return outcome_of(SignalFileStatus::BEGIN_NOT_POSITIVE);
        }
        if (have_end && f->end < f->begin) {
            return outcome_of(SignalFileStatus::WINDOW_REVERSED);
        }
    }
    if (!have_end) {
        f->end = -1; // the line count, made by signal_file_read
    }
    return outcome_of(SignalFileStatus::COMPLETE);
}

SignalFileOutcome signal_file_read(SignalFile* f, const SignalReadSettings& settings, SignalSink sink) noexcept
{
    if (settings.knowledge == nullptr) {
        return read_window(f, settings, sink, nullptr);
    }
    ClassifierContext context;
    (void)classifier_context_init(&context, settings.knowledge, settings.float_count);
    return read_window(f, settings, sink, &context);
}

void signal_file_close(SignalFile* f) noexcept
{
    if (f->file != nullptr) {
        std::fclose(f->file);
        f->file = nullptr;
    }
}
