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
// read errors, and meets the same bytes as if it had read from the start. A
// read error makes the pass hand back the line that ends on the last byte
// read before it, as the sequential pass would not take that line whole.
//
// A whole file's line count is made by the pass from the blocks it cuts (the
// file is read once); the record that may close the list is then held back
// until the count is complete (block_output.h). Where the pass stops early,
// it counts the rest of the file before handing over.
#ifndef OMBREL_SIGNAL_FILE_THREADED_PASS_H
#define OMBREL_SIGNAL_FILE_THREADED_PASS_H

#include "signal_file/signal_file.h"

struct ThreadedPassSetup {
    std::FILE* file;          // the run's stream, at the file's start
    std::uint64_t size;       // bytes the pass may read
    const float* knowledge;   // accepted by classifier_context_init, or null: values
    std::int32_t float_count;
    std::int64_t begin;       // the window, 1 <= begin
    // The window's end, at most the line feeds in the size's bytes; or -1:
    // the whole file, its line feeds in the size's bytes counted by the pass.
    std::int64_t end;
    int threads;              // 2 to SIGNAL_FILE_MAX_THREADS
    std::size_t block_bytes;  // >= 1
    SignalSink sink;
    const std::atomic<bool>* stop = nullptr; // or SignalFile::stop: looked at between blocks
};

enum class ThreadedOutcome : std::uint8_t {
    COMPLETE,     // every record of the window handed over, the last marked so
    RESUME,       // the sequential pass goes on at next_signal, resume_offset
    SINK_STOPPED, // the sink returned false, or the stop flag was set
    NOT_STARTED,  // no memory or no thread: nothing read or handed over, sink.start not called
    // Counting a whole file's lines: the file could not be read, or ended
    // before its size. The records before are handed over, none as the last.
    COUNT_UNREADABLE,
    COUNT_SHRANK,
};

struct ThreadedPassResult {
    ThreadedOutcome outcome;
    std::int64_t end; // COMPLETE, RESUME: the window's end (the line count when counted)
    // RESUME: the next signal to read, counted from 1, which is also the
    // line it starts on (every earlier one has been read and handed over if
    // in the window), and the byte offset of that line's start.
    std::int64_t next_signal;
    std::int64_t resume_offset;
};

// Runs the pass, calling sink.start once it has its workers; it leaves the
// stream at no particular position, possibly with its error flag set.
ThreadedPassResult threaded_pass(const ThreadedPassSetup& setup) noexcept;

#endif
