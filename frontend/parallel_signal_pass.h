// File mode's signal pass spread over worker threads, with the bytes of the
// sequential pass.
//
// The file is cut into blocks that end just after a line feed. A worker reads
// each line of its block as if a signal began at the line's start, and
// classifies it with a context of its own. The results of a line are kept
// only when the line is exactly one signal: its 64 values with their
// separators end on that line (the 64th separator may be the line feed), and
// only white space follows them up to the line feed. A sequential reader that
// starts the line's signal anywhere in the white space before the line then
// takes the same bytes, so the results are accepted in order as long as every
// earlier line was accepted. At the first line that is not one signal (a line
// of 63 or 65 values, a blank line, a value that does not convert, a line
// longer than a block buffer), the pass stops and the caller goes on with the
// sequential reader from the start of that line, where signal k is line k:
// the white space it skips there is the rest of the last accepted signal's
// line. The sequential reader owns every rule about such lines: scan
// failures, and the warning about lines that do not hold 64 values (every
// accepted line holds 64).
#ifndef OMBREL_PARALLEL_SIGNAL_PASS_H
#define OMBREL_PARALLEL_SIGNAL_PASS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Prints the record of one classified line, in line order; `last` tells the
// record that closes the list. Returns false when the output has failed.
using SignalRecordSink = bool (*)(void* sink, std::int32_t line, const float* probabilities,
                                  std::uint16_t class_id, bool last);

struct ParallelPassSetup {
    std::FILE* file;          // the run's stream, opened "rb", at the file's start
    const float* knowledge;   // a knowledge that classifier_init accepted
    std::int32_t float_count; // its length in floats
    std::int32_t begin;       // first line of the window, >= 1
    std::int32_t end;         // last line of the window; unused when whole_file
    // The window is every line: the pass counts the file's line feeds itself,
    // on the stream it reads, instead of a count made beforehand.
    bool whole_file;
    int threads;              // worker threads, >= 1
    std::size_t block_bytes;  // bytes handed to a worker at a time, >= 1
    SignalRecordSink record;
    void* sink;
};

enum class ParallelOutcome {
    COMPLETE,      // every record of the window printed, the last in its closing form
    RESUME,        // go on with the sequential reader at resume_offset
    READ_FAILED,   // the file could not be read (or its size not known); the records before are printed
    OUTPUT_FAILED, // the sink returned false
    // Whole-file form: the file ended before the size it had when the pass
    // began, so the lines ran out before the count that should have been
    // taken then; the records of the lines read are printed, none closing.
    FILE_SHRANK,
    NOT_STARTED,   // no memory or thread: nothing read or printed, the stream untouched
};

struct ParallelPassResult {
    ParallelOutcome outcome;
    // The window's end line: in whole-file form the line feeds of the file,
    // at most INT32_MAX (set for COMPLETE and RESUME).
    std::int32_t end;
    // RESUME: the next signal to read, counted from 1, which is also the
    // line it starts on (every earlier one has been read and its record, if
    // in the window, printed in its non-closing form), and the byte offset
    // of that line's start.
    std::int32_t next_signal;
    std::int64_t resume_offset;
};

// Runs the pass; it leaves the stream at no particular position (see
// seek_file_to). Never prints anything but through the sink.
ParallelPassResult parallel_signal_pass(const ParallelPassSetup& setup) noexcept;

// Sets the stream to a byte offset from the start, beyond 2 GiB too.
bool seek_file_to(std::FILE* file, std::int64_t offset) noexcept;

#endif
