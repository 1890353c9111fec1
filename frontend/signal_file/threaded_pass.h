// The window's signals read on worker threads, with the results of the
// sequential pass, in three stages: the block cutter (block_cutter.h) on
// the calling thread, the workers (block_lines.h), and the in-order output
// (block_output.h) on the calling thread again, which hands the blocks'
// results to the sink in file order.
//
// The pass goes as far as every line is one signal. At the first line that
// is not (a line of 63 or 65 values, a blank line, a value that does not
// convert, a line longer than a block buffer), and where the file ends or
// cannot be read before the window's end, it stops, and the sequential
// pass goes on from the start of that line, where signal k is line k: the
// white space it skips there is the rest of the last accepted signal's
// line. The sequential pass thus owns every rule about such lines and about
// failures, and meets the same bytes as if it had read from the start. A
// read error makes the pass hand back the line that ends on the last byte
// read before it, as the sequential pass would not take that line whole.
#ifndef OMBREL_SIGNAL_FILE_THREADED_PASS_H
#define OMBREL_SIGNAL_FILE_THREADED_PASS_H

#include "signal_file/signal_file.h"

struct ThreadedPassSetup {
    std::FILE* file;          // the run's stream, at the file's start
    std::uint64_t size;       // bytes the pass may read
    const float* knowledge;   // accepted by classifier_context_init, or null: values
    std::int32_t float_count;
    std::int64_t begin;       // the window, 1 <= begin; end <= line feeds in the size's bytes
    std::int64_t end;
    int threads;              // 2 to SIGNAL_FILE_MAX_THREADS
    std::size_t block_bytes;  // >= 1
    SignalSink sink;
};

enum class ThreadedOutcome : std::uint8_t {
    COMPLETE,     // every record of the window handed over, the last marked so
    RESUME,       // the sequential pass goes on at next_signal, resume_offset
    SINK_STOPPED, // the sink returned false
    NOT_STARTED,  // no memory or no thread: nothing read or handed over
};

struct ThreadedPassResult {
    ThreadedOutcome outcome;
    // RESUME: the next signal to read, counted from 1, which is also the
    // line it starts on (every earlier one has been read and handed over if
    // in the window), and the byte offset of that line's start.
    std::int64_t next_signal;
    std::int64_t resume_offset;
};

// Runs the pass; it leaves the stream at no particular position, possibly
// with its error flag set.
ThreadedPassResult threaded_pass(const ThreadedPassSetup& setup) noexcept;

#endif
