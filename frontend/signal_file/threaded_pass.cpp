#include "signal_file/threaded_pass.h"

#include "classifier_context.h"
#include "signal_file/block_cutter.h"
#include "signal_file/block_lines.h"
#include "signal_file/block_output.h"
#include "signal_file/line_feeds.h"
#include "signal_file/seek_file_to.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

namespace {

struct Pass {
    const ThreadedPassSetup* setup;
    BlockShape shape;
    Block blocks[2 * SIGNAL_FILE_MAX_THREADS]{};
    std::size_t block_count = 0; // blocks in flight at most

    std::mutex mutex;
    std::condition_variable work_ready;
    std::condition_variable work_done;
    std::uint64_t published = 0; // blocks handed out, in file order
    std::uint64_t taken = 0;     // blocks a worker has begun
    bool stopping = false;
    std::atomic<bool> abandon{false}; // later results are no longer wanted
};

void worker_main(Pass* pass) noexcept
{
    ClassifierContext context;
    ClassifierContext* classify = nullptr;
    if (pass->setup->knowledge != nullptr) {
        (void)classifier_context_init(&context, pass->setup->knowledge, pass->setup->float_count);
        classify = &context;
    }
    std::unique_lock<std::mutex> lock(pass->mutex);
    for (;;) {
        pass->work_ready.wait(lock, [pass] { return pass->stopping || pass->taken < pass->published; });
        if (pass->stopping) {
            return;
        }
        Block* block = &pass->blocks[pass->taken % pass->block_count];
        pass->taken += 1;
        lock.unlock();
        read_block_lines(block, pass->setup->begin, classify, pass->abandon);
        lock.lock();
        block->done = true;
        pass->work_done.notify_one();
    }
}

// Cuts blocks while the ring has room, and hands them to the workers. An
// oversized block is not handed out: it is done as it is, and the last.
std::uint64_t cut_blocks(Pass* pass, BlockCutter* cutter, std::uint64_t made, std::uint64_t used) noexcept
{
    while (made - used < pass->block_count) {
        Block* block = &pass->blocks[made % pass->block_count];
        if (!cut_block(cutter, pass->shape, block)) {
            break;
        }
        made += 1;
        if (!block->oversized) {
            std::lock_guard<std::mutex> lock(pass->mutex);
            pass->published += 1;
            pass->work_ready.notify_one();
        }
    }
    return made;
}

const Block& wait_for(Pass* pass, std::uint64_t index) noexcept
{
    Block* block = &pass->blocks[index % pass->block_count];
    std::unique_lock<std::mutex> lock(pass->mutex);
    pass->work_done.wait(lock, [block] { return block->done; });
    return *block;
}

// The line feeds of a whole file: those in the blocks cut, in the bytes cut
// after them, and in the rest of the size's bytes, read again from where
// the cutter stopped (its last read may have failed).
ThreadedOutcome count_whole_file(const ThreadedPassSetup& setup, const BlockCutter& cutter, std::int64_t* end) noexcept
{
    std::int64_t count = cutter.line_feeds + count_line_feeds_in(cutter.carry, cutter.carry_size);
    const auto counted = static_cast<std::uint64_t>(cutter.position);
    if (counted < setup.size) {
        std::clearerr(setup.file);
        if (!seek_file_to(setup.file, cutter.position)) {
            return ThreadedOutcome::COUNT_UNREADABLE;
        }
        switch (count_stream_line_feeds(setup.file, setup.size - counted, &count, setup.stop)) {
        case LineCountOutcome::COUNTED:
            break;
        case LineCountOutcome::STOPPED:
            return ThreadedOutcome::SINK_STOPPED;
        case LineCountOutcome::SHRANK:
            return ThreadedOutcome::COUNT_SHRANK;
        case LineCountOutcome::NOT_OPENED:
        case LineCountOutcome::READ_FAILED:
            return ThreadedOutcome::COUNT_UNREADABLE;
        }
    }
    *end = count > INT32_MAX ? INT32_MAX : count;
    return ThreadedOutcome::COMPLETE;
}

// Stages one and three on the calling thread: cuts blocks and hands over
// their results in order, up to the first block the pass cannot go past.
bool cut_and_hand_over(Pass* pass, BlockCutter* cutter, HeldRecord* held, ThreadedPassResult* result) noexcept
{
    const ThreadedPassSetup& setup = *pass->setup;
    std::uint64_t made = 0;
    std::uint64_t used = 0;
    for (;;) {
        made = cut_blocks(pass, cutter, made, used);
        if (used == made) {
            return true;
        }
        const Block& block = wait_for(pass, used++);
        if (setup.stop != nullptr && setup.stop->load(std::memory_order_relaxed)) {
            return false;
        }
        if (!hand_over_block(block, setup.begin, setup.end, setup.knowledge != nullptr, held, setup.sink)) {
            return false;
        }
        result->next_signal += block.accepted;
        result->resume_offset = block.offset + static_cast<std::int64_t>(block.accepted_end);
        if (block.oversized || block.accepted < block.wanted) {
            return true;
        }
    }
}

ThreadedPassResult run_pass(Pass* pass) noexcept
{
    const ThreadedPassSetup& setup = *pass->setup;
    BlockCutter cutter{setup.file, setup.size, setup.block_bytes, setup.end < 0 ? INT64_MAX : setup.end};
    HeldRecord held{};
    ThreadedPassResult result{ThreadedOutcome::RESUME, setup.end, 1, 0};
    if (!cut_and_hand_over(pass, &cutter, &held, &result)) {
        return {ThreadedOutcome::SINK_STOPPED, 0, 0, 0};
    }
    // Results of blocks still in flight are no longer wanted.
    pass->abandon.store(true, std::memory_order_relaxed);
    if (setup.end < 0) {
        // Workers may still read blocks in flight; the carry, in the last
        // block cut, is only read.
        const ThreadedOutcome counted = count_whole_file(setup, cutter, &result.end);
        if (counted != ThreadedOutcome::COMPLETE) {
            return {release_held(&held, -1, setup.sink) ? counted : ThreadedOutcome::SINK_STOPPED, 0, 0, 0};
        }
        if (!release_held(&held, result.end, setup.sink)) {
            return {ThreadedOutcome::SINK_STOPPED, 0, 0, 0};
        }
    }
    if (result.next_signal > result.end) {
        result.outcome = ThreadedOutcome::COMPLETE;
    }
    return result;
}

bool allocate_blocks(Pass* pass) noexcept
{
    const ThreadedPassSetup& setup = *pass->setup;
    const int workers = setup.threads < SIGNAL_FILE_MAX_THREADS ? setup.threads : SIGNAL_FILE_MAX_THREADS;
    // Two blocks per worker: one being read while the other waits its turn.
    pass->block_count = 2 * static_cast<std::size_t>(workers);
    pass->shape = block_shape(setup.block_bytes, setup.knowledge != nullptr ? CLASS_COUNT : INPUT_LENGTH);
    for (std::size_t k = 0; k < pass->block_count; ++k) {
        if (!block_allocate(&pass->blocks[k], pass->shape)) {
            return false;
        }
    }
    return true;
}

// Starts up to `wanted` workers; returns how many started.
int start_workers(Pass* pass, std::thread* threads, int wanted) noexcept
{
    int started = 0;
    try {
        for (; started < wanted; ++started) {
            threads[started] = std::thread(worker_main, pass);
        }
    } catch (...) {
        // Fewer workers than asked, or none: the results are the same.
    }
    return started;
}

void stop_workers(Pass* pass, std::thread* threads, int started) noexcept
{
    {
        std::lock_guard<std::mutex> lock(pass->mutex);
        pass->stopping = true;
        pass->abandon.store(true, std::memory_order_relaxed);
    }
    pass->work_ready.notify_all();
    for (int k = 0; k < started; ++k) {
        threads[k].join();
    }
}

} // namespace

ThreadedPassResult threaded_pass(const ThreadedPassSetup& setup) noexcept
{
    ThreadedPassResult result{ThreadedOutcome::NOT_STARTED, 0, 0, 0};
    Pass* pass = new (std::nothrow) Pass;
    if (pass == nullptr) {
        return result;
    }
    pass->setup = &setup;
    std::thread threads[SIGNAL_FILE_MAX_THREADS];
    const int started = allocate_blocks(pass) ? start_workers(pass, threads, static_cast<int>(pass->block_count / 2)) : 0;
    if (started > 0) {
        if (setup.sink.start != nullptr) {
            setup.sink.start(setup.sink.context);
        }
        result = run_pass(pass);
    }
    stop_workers(pass, threads, started);
    for (std::size_t k = 0; k < pass->block_count; ++k) {
        block_free(&pass->blocks[k]);
    }
    delete pass;
    return result;
}
