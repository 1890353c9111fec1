#include "parallel_rows.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace {

struct SharedRun {
    const ClassifierContext& context;
    const RowArrays& arrays;
    std::size_t threads;
    std::atomic<std::size_t> next_row{0};
    std::atomic<bool> stop{false};
};

// Rows first .. first+count-1 (count at most PARALLEL_ROWS_BLOCK) through
// the batch entry; doubles rounded to float a piece at a time, in a buffer
// that stays in the cache. The library's class ids (1 to CLASS_COUNT) fit
// a byte.
void classify_rows(const ClassifierContext& context, const RowArrays& arrays, std::size_t first,
                   std::size_t count) noexcept
{
    constexpr std::size_t PIECE = 256;
    float piece[PIECE * INPUT_LENGTH];
    std::uint16_t ids[PARALLEL_ROWS_BLOCK];
    for (std::size_t done = 0; done < count;) {
        const std::size_t rows = arrays.rows != nullptr ? count : std::min(PIECE, count - done);
        const float* signals = piece;
        if (arrays.rows != nullptr) {
            signals = arrays.rows + (first + done) * INPUT_LENGTH;
        } else {
            const double* wide = arrays.wide_rows + (first + done) * INPUT_LENGTH;
            for (std::size_t i = 0; i < rows * INPUT_LENGTH; ++i) {
                piece[i] = static_cast<float>(wide[i]);
            }
        }
        classifier_context_run_batch(&context, signals, rows, arrays.probabilities + (first + done) * CLASS_COUNT,
                                     ids + done);
        done += rows;
    }
    for (std::size_t i = 0; i < count; ++i) {
        arrays.class_ids[first + i] = static_cast<std::uint8_t>(ids[i]);
    }
}

// Rows of a claim when `remaining` are left: PARALLEL_ROWS_BLOCK while
// plenty are, then (with several threads) a quarter of each thread's share
// of the rest, in whole multiples of 256 and at least 1,024, so that the
// threads end within a small claim of each other.
std::size_t claim_size(std::size_t remaining, std::size_t threads) noexcept
{
    constexpr std::size_t GRAIN = 256;
    constexpr std::size_t SMALLEST = 1024;
    const std::size_t share = threads > 1 ? remaining / (4 * threads) / GRAIN * GRAIN : PARALLEL_ROWS_BLOCK;
    return std::min(remaining, std::clamp(share, SMALLEST, PARALLEL_ROWS_BLOCK));
}

// Classifies the next unclaimed rows; false when none are left or the run
// stops.
bool run_next_block(SharedRun& run) noexcept
{
    if (run.stop.load(std::memory_order_relaxed)) {
        return false;
    }
    std::size_t first = run.next_row.load(std::memory_order_relaxed);
    std::size_t count = 0;
    do {
        if (first >= run.arrays.count) {
            return false;
        }
        count = claim_size(run.arrays.count - first, run.threads);
    } while (!run.next_row.compare_exchange_weak(first, first + count, std::memory_order_relaxed));
    classify_rows(run.context, run.arrays, first, count);
    return true;
}

} // namespace

bool classify_rows_parallel(const ClassifierContext& context, const RowArrays& arrays, int threads,
                            Interruption interruption) noexcept
{
    const std::size_t blocks = (arrays.count + PARALLEL_ROWS_BLOCK - 1) / PARALLEL_ROWS_BLOCK;
    const std::size_t helpers = std::min(blocks, static_cast<std::size_t>(std::max(threads, 1))) - (blocks > 0);
    SharedRun run{context, arrays, helpers + 1};
    std::vector<std::thread> pool;
    try {
        pool.reserve(helpers);
        for (std::size_t t = 0; t < helpers; ++t) {
            pool.emplace_back([&run] {
                while (run_next_block(run)) {
                }
            });
        }
    } catch (const std::exception&) {
        // No more threads to be had (std::system_error, std::bad_alloc): the
        // ones started and the calling thread share the rows.
    }
    bool interrupted = false;
    while (run_next_block(run)) {
        if (interruption.interrupted(interruption.context)) {
            run.stop.store(true, std::memory_order_relaxed);
            interrupted = true;
        }
    }
    for (std::thread& thread : pool) {
        thread.join();
    }
    return !interrupted;
}
