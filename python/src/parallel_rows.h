// Classifies an array of rows on several threads with the bits of one:
// every row's result depends on that row alone, so how the rows are split
// changes nothing.
#ifndef OMBREL_PYTHON_PARALLEL_ROWS_H
#define OMBREL_PYTHON_PARALLEL_ROWS_H

#include "classifier_context.h"

#include <cstddef>
#include <cstdint>

// Most rows a thread takes at a time (under a millisecond of work): the
// grain of the split and of the interruption. Near the end of a call the
// threads take smaller claims, so that they finish together; a call on at
// most this many rows runs on the calling thread alone.
inline constexpr std::size_t PARALLEL_ROWS_BLOCK = 8192;

// The rows are floats, or doubles (then null `rows`) that each thread
// rounds to float, as C's conversion does, a few hundred rows at a time:
// no converted copy of the whole array.
struct RowArrays {
    const float* rows;         // count * INPUT_LENGTH, or null
    const double* wide_rows;   // count * INPUT_LENGTH when rows is null
    float* probabilities;      // count * CLASS_COUNT
    std::uint8_t* class_ids;
    std::size_t count;
};

// Asked between blocks on the calling thread: true stops the run.
struct Interruption {
    bool (*interrupted)(void* context);
    void* context;
};

// Classifies every row with the batch entry on up to `threads` threads (the
// calling thread one of them; no more threads than blocks, and fewer when
// the system gives no more). The calling thread asks `interruption` after
// each of its blocks; once it answers true every thread stops after its
// current block and the call returns false, with the rows not yet reached
// left as they were. Every thread has ended when it returns.
bool classify_rows_parallel(const ClassifierContext& context, const RowArrays& arrays, int threads,
                            Interruption interruption) noexcept;

#endif
