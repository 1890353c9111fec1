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
    std::atomic<std::size_t> next_block{0};
    std::atomic<bool> stop{false};
};

// Classifies the next unclaimed block; false when none is left or the run
// stops. The library's class ids (1 to CLASS_COUNT) fit a byte.
bool run_next_block(SharedRun& run) noexcept
{
    if (run.stop.load(std::memory_order_relaxed)) {
        return false;
    }
    const std::size_t first = run.next_block.fetch_add(1, std::memory_order_relaxed) * PARALLEL_ROWS_BLOCK;
    if (first >= run.arrays.count) {
        return false;
    }
    const std::size_t count = std::min(PARALLEL_ROWS_BLOCK, run.arrays.count - first);
    std::uint16_t ids[PARALLEL_ROWS_BLOCK];
    classifier_context_run_batch(&run.context, run.arrays.rows + first * INPUT_LENGTH, count,
                                 run.arrays.probabilities + first * CLASS_COUNT, ids);
    for (std::size_t i = 0; i < count; ++i) {
        run.arrays.class_ids[first + i] = static_cast<std::uint8_t>(ids[i]);
    }
    return true;
}

} // namespace

bool classify_rows_parallel(const ClassifierContext& context, const RowArrays& arrays, int threads,
                            Interruption interruption) noexcept
{
    SharedRun run{context, arrays};
    const std::size_t blocks = (arrays.count + PARALLEL_ROWS_BLOCK - 1) / PARALLEL_ROWS_BLOCK;
    const std::size_t helpers = std::min(blocks, static_cast<std::size_t>(std::max(threads, 1))) - (blocks > 0);
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
