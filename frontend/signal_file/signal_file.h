// A signal file, read as the classification command reads it: opened,
// its lines counted, the window settled, and the signals of the window
// handed in line order to a sink, either as values or as classifications.
// The same component serves the command and the Python extension; it prints
// nothing and keeps no state outside the SignalFile it is given, so any
// number of files may be read at once.
//
// One rule for every thread count: the file is what its first `size` bytes
// hold, `size` taken when it is opened. The line count counts the line feeds
// in them, and no reader takes a byte past them, so lines appended while a
// run goes on are never read. A file that loses bytes runs out: where its
// lines are counted (an end's count on a stream of its own, or a whole
// file's lines counted as they are read), RUN_OUT on failing line 0; else
// inside the first signal whose bytes are gone.
#ifndef OMBREL_SIGNAL_FILE_H
#define OMBREL_SIGNAL_FILE_H

#include "classifier.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// The most threads a pass uses; more asked for is an invalid setting.
inline constexpr int SIGNAL_FILE_MAX_THREADS = 64;

enum class SignalFileStatus : std::uint8_t {
    COMPLETE,           // every signal of the window handed over, the last marked so
    NOT_OPENED,         // no such file, not a regular file, or, at the count, another file at the path
    EMPTY,              // the file holds no byte
    BEGIN_NOT_POSITIVE,
    END_NOT_POSITIVE,
    WINDOW_REVERSED,    // the end line before the begin line
    END_BEYOND_FILE,    // the end line past the file's last line feed
    RUN_OUT,            // the file ended inside the signal of failing_line, or (0) before its size at the open
    SCAN_FAILURE,       // a value of failing_line's signal does not convert
    READ_ERROR,         // the file could not be read: in failing_line's signal, or (0) counting the lines
    SINK_STOPPED,       // the sink returned false, or the caller's stop flag was set
};

struct SignalFileOutcome {
    SignalFileStatus status;
    std::int64_t failing_line;      // RUN_OUT, SCAN_FAILURE, READ_ERROR: the signal (= line) not read; else 0
    std::int64_t misaligned_line;   // first line holding other than 64 values (see line_tally.h); 0 if none
    std::int32_t misaligned_values; // the values on it
    std::int64_t misaligned_count;  // lines read that hold other than 64 values
};

// One bound of the window, in the order the caller was given them.
struct SignalWindowStep {
    bool is_end;       // --end; otherwise --begin
    std::int64_t line;
};

struct SignalFile {
    std::FILE* file;
    const char* path;
    std::uint64_t size;       // bytes at the open: the only bytes ever read
    std::int64_t line_count;  // line feeds in them (at most INT32_MAX); -1 until counted
    std::int64_t begin;       // the window, lines counted from 1: set by signal_file_settle
    std::int64_t end;
    // The bytes after the last line feed hold more than white space: a last
    // line that is not a line and is never classified. Set by the open.
    bool unterminated_tail;
    // Null from the open. A caller that sets it to a flag of its own may
    // stop the settling and the read from another thread by setting the
    // flag: they then end with SINK_STOPPED within a block of a line
    // count (256 KiB), a block of the threaded pass or 4,096 lines.
    const std::atomic<bool>* stop;
};

// One signal of the window. With a knowledge, `probabilities` (CLASS_COUNT)
// and class_id are set and `values` is null; without, `values` holds the
// signal's INPUT_LENGTH values and `probabilities` is null. Pointers are
// valid during the call only.
struct SignalRecord {
    std::int64_t line;
    const float* values;
    const float* probabilities;
    std::uint16_t class_id;
    bool last; // the window's end line
    std::uint8_t findings; // SIGNAL_NON_FINITE, SIGNAL_COLUMN_NUMBERS: what the values look like
};

// Findings of one signal's values, made where the values are at hand (also
// when only the classification is handed over).
inline constexpr std::uint8_t SIGNAL_NON_FINITE = 1;     // a NaN or an infinity among them
inline constexpr std::uint8_t SIGNAL_COLUMN_NUMBERS = 2; // line 1 reads 0, 1, ..., 63: column names

// Where records go, in line order, on the thread that called
// signal_file_read. `take` returns false to stop the run (SINK_STOPPED).
// `start`, when given, is called once before any record, as soon as the
// reading starts (a whole file's lines are counted as they are read); never
// when the read fails before.
struct SignalSink {
    bool (*take)(void* context, const SignalRecord& record) noexcept;
    void* context;
    void (*start)(void* context) noexcept = nullptr;
};

struct SignalReadSettings {
    const float* knowledge;   // a knowledge classifier_context_init accepts, or null: values only
    std::int32_t float_count;
    int threads;              // 1 to SIGNAL_FILE_MAX_THREADS; 1 reads on the calling thread
    std::size_t block_bytes;  // bytes a worker is handed at a time, >= 1
};

// Opens `path` (which must outlive f) without ever blocking: a directory,
// FIFO or device is NOT_OPENED. EMPTY leaves the file open; close it.
SignalFileOutcome signal_file_open(SignalFile* f, const char* path) noexcept;

// Settles the window from the steps in order: none is the whole file. A
// begin <= 0 or an end <= 0 is refused when met; an end before the begin
// in force is WINDOW_REVERSED whichever comes second; each end counts the
// lines and is refused past the count. Without an end step, f->end stays -1:
// the end is the line count, which signal_file_read makes.
SignalFileOutcome signal_file_settle(SignalFile* f, const SignalWindowStep* steps, int step_count) noexcept;

// Reads lines 1 to the window's end (lines before begin are read, not
// handed over) and hands the window's signals to the sink. The outcome is
// the same for every thread count, failures included, and so are the
// records before a failure while reading; only where the line count of a
// whole file fails (a read error, a file that shrinks: READ_ERROR or
// RUN_OUT on line 0, whatever else the pass met) may they differ: each
// thread count hands over the records it read before it met the failure,
// none marked last; threads stop reading ahead at the first line that is not
// one signal, one thread reads on to the failure.
SignalFileOutcome signal_file_read(SignalFile* f, const SignalReadSettings& settings, SignalSink sink) noexcept;

void signal_file_close(SignalFile* f) noexcept;

#endif
