#include "signal_file/sequential_pass.h"

#include "signal_file/window_end.h"
#include "text/line_tally.h"
#include "text/signal_line.h"
#include "text/signal_stream.h"

#include <cstdlib>
#include <memory>

// The number text reads signals of its own length; the library classifies
// signals of INPUT_LENGTH values. This is where the two meet.
static_assert(SIGNAL_LINE_VALUES == INPUT_LENGTH);

namespace {

// Large refills keep the reader's per-byte cost low; without them the pass
// still runs, on a buffer of the stack.
constexpr std::size_t STREAM_BUFFER = std::size_t{1} << 20;
constexpr std::size_t SMALL_STREAM_BUFFER = std::size_t{16} << 10;

SignalFileOutcome failed(SignalFileStatus status, std::int64_t line) noexcept
{
    return {status, line, 0, 0, 0};
}

// Signals of the window read and not yet handed over: lines first_line on.
struct Batch {
    float values[SIGNAL_BATCH * INPUT_LENGTH];
    std::int64_t first_line;
    int count;
};

bool hand_over(Batch* batch, const SequentialPassSetup& setup, const WindowEnd& window) noexcept
{
    const int count = batch->count;
    batch->count = 0;
    return deliver_signals(setup.delivery, batch->first_line, batch->values, count, window.end);
}

bool stop_asked(const SequentialPassSetup& setup) noexcept
{
    return setup.stop != nullptr && setup.stop->load(std::memory_order_relaxed);
}

// The outcome of a signal that could not be read, once the signals before
// it are handed over: a whole file's count that fails outweighs it.
SignalFileOutcome signal_failure(SignalStream* stream, WindowEnd* window, std::int64_t line) noexcept
{
    // After a read error the stream is never at its end.
    const SignalFileStatus status = signal_stream_at_eof(stream)     ? SignalFileStatus::RUN_OUT
                                    : signal_stream_cut_short(stream) ? SignalFileStatus::READ_ERROR
                                                                      : SignalFileStatus::SCAN_FAILURE;
    const SignalFileStatus counted = window_end_settle(window, stream);
    return counted != SignalFileStatus::COMPLETE ? failed(counted, 0) : failed(status, line);
}

SignalFileOutcome read_lines(SignalStream* stream, LineTally* tally, const SequentialPassSetup& setup,
                             WindowEnd* window) noexcept
{
    Batch batch;
    batch.count = 0;
    float skipped[INPUT_LENGTH];
    for (std::int64_t line = setup.first_line;; ++line) {
        if (((line - setup.first_line) & 4095) == 0 && stop_asked(setup)) {
            return failed(SignalFileStatus::SINK_STOPPED, 0);
        }
        SignalFileStatus count_failure = SignalFileStatus::COMPLETE;
        const LineReach reach = window_reaches(window, stream, line, &count_failure);
        if (reach != LineReach::WITHIN || batch.count == SIGNAL_BATCH) {
            if (!hand_over(&batch, setup, *window)) {
                return failed(SignalFileStatus::SINK_STOPPED, 0);
            }
            if (reach != LineReach::WITHIN) {
                return failed(reach == LineReach::BEYOND ? SignalFileStatus::COMPLETE : count_failure, 0);
            }
        }
        const bool kept = line >= setup.begin;
        float* signal = kept ? batch.values + batch.count * INPUT_LENGTH : skipped;
        // A signal that a read error may have cut short is not classified: a
        // scan that stopped on a read error has taken every byte read.
        if (!read_signal_line_tallied(stream, signal, tally) || signal_stream_cut_short(stream)) {
            return hand_over(&batch, setup, *window) ? signal_failure(stream, window, line)
                                                     : failed(SignalFileStatus::SINK_STOPPED, 0);
        }
        if (kept && batch.count++ == 0) {
            batch.first_line = line;
        }
    }
}

SignalFileOutcome read_through(SignalStream* stream, const SequentialPassSetup& setup, std::int64_t* end) noexcept
{
    signal_stream_limit(stream, setup.byte_limit);
    LineTally tally;
    line_tally_start(&tally, setup.first_line);
    WindowEnd window{setup.end, setup.file, setup.byte_limit, setup.stop};
    SignalFileOutcome outcome = read_lines(stream, &tally, setup, &window);
    if (outcome.status == SignalFileStatus::COMPLETE) {
        line_tally_finish(stream, &tally);
        *end = window.end;
    }
    outcome.misaligned_line = tally.off_line;
    outcome.misaligned_values = tally.off_values;
    outcome.misaligned_count = tally.off_count;
    return outcome;
}

} // namespace

SignalFileOutcome sequential_pass(const SequentialPassSetup& setup, std::int64_t* end) noexcept
{
    SignalStream stream;
    const std::unique_ptr<char, void (*)(void*)> large(static_cast<char*>(std::malloc(STREAM_BUFFER)), std::free);
    if (large) {
        signal_stream_init_buffer(&stream, setup.file, large.get(), STREAM_BUFFER);
        return read_through(&stream, setup, end);
    }
    char small[SMALL_STREAM_BUFFER];
    signal_stream_init_buffer(&stream, setup.file, small, sizeof small);
    return read_through(&stream, setup, end);
}
