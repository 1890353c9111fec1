#include "parallel_signal_pass.h"

#include "classifier.h"
#include "classifier_context.h"
#include "number_chars.h"
#include "signal_line.h"
#include "signal_stream.h"

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include <sys/stat.h>

static_assert(SIGNAL_LINE_VALUES == INPUT_LENGTH);

namespace {

// The shortest line that holds one signal: 64 one-character values, each
// with its separator, the last of them the line feed. It bounds the number
// of accepted lines in a block, hence the result storage.
constexpr std::size_t SHORTEST_SIGNAL_LINE = 2 * SIGNAL_LINE_VALUES;

// A block buffer holds the block plus the unfinished line carried into it; a
// line longer than this spare room never counts as one signal.
constexpr std::size_t LEAST_LINE_ROOM = std::size_t{64} << 10;

constexpr int MAX_WORKERS = 64;

struct LineResult {
    float probabilities[CLASS_COUNT];
    std::uint16_t class_id;
};

struct Block {
    char* data;
    LineResult* results;
    std::int64_t offset;      // file offset of data[0]
    std::int64_t first_line;  // line feeds before the block
    std::int64_t lines;       // line feeds in the block; data[size - 1] is the last
    std::int64_t wanted;      // leading lines of the block that the window reads
    std::size_t size;
    bool oversized;           // a line outgrew the buffer: no line of it is read here
    // Set by the worker: the leading lines read as one signal each, and the
    // start of the line after them.
    std::int64_t accepted;
    std::size_t accepted_end;
    bool done;
};

struct Pass {
    const ParallelPassSetup* setup;
    Block* blocks;
    std::size_t block_count;  // blocks in flight at most
    std::size_t capacity;     // bytes of a block buffer
    std::size_t result_capacity;
    const float* knowledge;
    std::int32_t float_count;

    std::mutex mutex;
    std::condition_variable work_ready;
    std::condition_variable work_done;
    std::uint64_t published = 0; // blocks handed out, in file order
    std::uint64_t taken = 0;     // blocks a worker has begun
    bool stopping = false;
    std::atomic<bool> abandon{false}; // later results are no longer wanted
    std::int64_t size_at_start = 0;
};

// The file's size now, or -1.
std::int64_t file_size(std::FILE* file) noexcept
{
#if defined(_WIN32)
    struct _stat64 status;
    return _fstat64(_fileno(file), &status) == 0 ? status.st_size : -1;
#else
    struct stat status;
    return fstat(fileno(file), &status) == 0 ? static_cast<std::int64_t>(status.st_size) : -1;
#endif
}

bool only_white_space(const char* p, const char* end) noexcept
{
    for (; p != end; ++p) {
        if (!is_number_space(static_cast<unsigned char>(*p))) {
            return false;
        }
    }
    return true;
}

void read_block_lines(Pass* pass, Block* block, ClassifierContext* context) noexcept
{
    const std::int64_t begin = pass->setup->begin;
    const char* const data = block->data;
    std::size_t start = 0;
    std::int64_t i = 0;
    for (; i < block->wanted; ++i) {
        if ((i & 63) == 0 && pass->abandon.load(std::memory_order_relaxed)) {
            break;
        }
        const void* found = std::memchr(data + start, '\n', block->size - start);
        const std::size_t stop = static_cast<std::size_t>(static_cast<const char*>(found) - data) + 1;
        SignalStream line;
        signal_stream_init_memory(&line, data + start, stop - start);
        float values[SIGNAL_LINE_VALUES];
        // The line is the stream's whole content, ending in its line feed: a
        // signal that needs the line feed before its 64th separator runs out
        // of bytes and fails here.
        if (!read_signal_line(&line, values) || line.end_seen ||
            !only_white_space(data + start + line.next, data + stop)) {
            break;
        }
        if (block->first_line + i + 1 >= begin) {
            LineResult* result = &block->results[i];
            (void)classifier_context_run(context, values, result->probabilities, &result->class_id);
        }
        start = stop;
    }
    block->accepted = i;
    block->accepted_end = start;
}

void worker_main(Pass* pass) noexcept
{
    ClassifierContext context;
    (void)classifier_context_init(&context, pass->knowledge, pass->float_count);
    std::unique_lock<std::mutex> lock(pass->mutex);
    for (;;) {
        pass->work_ready.wait(lock, [pass] { return pass->stopping || pass->taken < pass->published; });
        if (pass->stopping) {
            return;
        }
        Block* block = &pass->blocks[pass->taken % pass->block_count];
        pass->taken += 1;
        lock.unlock();
        read_block_lines(pass, block, &context);
        lock.lock();
        block->done = true;
        pass->work_done.notify_one();
    }
}

std::int64_t count_line_feeds_in(const char* data, std::size_t size) noexcept
{
    // Chunks short enough for an 8-bit lane count vectorise well.
    std::int64_t count = 0;
    std::size_t i = 0;
    while (i < size) {
        const std::size_t chunk_end = size - i < 255 ? size : i + 255;
        unsigned char in_chunk = 0;
        for (; i < chunk_end; ++i) {
            in_chunk = static_cast<unsigned char>(in_chunk + (data[i] == '\n'));
        }
        count += in_chunk;
    }
    return count;
}

// The reading side, on the calling thread.
struct Reader {
    std::FILE* file;
    std::int64_t position = 0;  // bytes read from the file
    std::int64_t line_feeds = 0; // line feeds in the blocks made so far
    const char* carry = nullptr; // unfinished line after the latest block
    std::size_t carry_size = 0;
    bool finished = false;       // no further block
    bool drained = false;        // the file gave its last byte, or failed
    bool failed = false;         // a read error
};

// Reads up to `want` bytes; a short read is the end of the file or an error.
std::size_t read_some(Reader* reader, char* into, std::size_t want) noexcept
{
    const std::size_t got = std::fread(into, 1, want, reader->file);
    reader->position += static_cast<std::int64_t>(got);
    if (got < want) {
        reader->finished = true;
        reader->drained = true;
        reader->failed = std::ferror(reader->file) != 0;
    }
    return got;
}

// Makes the next block in `block`. False when there is none (the file has
// no further line feed, or it could not be read).
bool make_block(Pass* pass, Reader* reader, Block* block, std::int64_t line_limit) noexcept
{
    char* const data = block->data;
    if (reader->carry_size != 0) {
        std::memmove(data, reader->carry, reader->carry_size);
    }
    std::size_t filled = reader->carry_size;
    std::size_t searched = filled; // the carried bytes hold no line feed
    std::size_t size = 0;
    while (size == 0) {
        if (reader->finished || filled == pass->capacity) {
            break;
        }
        const std::size_t room = pass->capacity - filled;
        const std::size_t want = room < pass->setup->block_bytes ? room : pass->setup->block_bytes;
        filled += read_some(reader, data + filled, want);
        for (std::size_t k = filled; k > searched; --k) {
            if (data[k - 1] == '\n') {
                size = k;
                break;
            }
        }
        searched = filled;
    }
    block->offset = reader->position - static_cast<std::int64_t>(filled);
    block->first_line = reader->line_feeds;
    block->accepted = 0;
    block->accepted_end = 0;
    block->done = false;
    if (size == 0) {
        if (filled < pass->capacity) {
            reader->finished = true; // the rest of the file is no line
            return false;
        }
        // A line longer than the buffer: the sequential reader takes over there.
        block->oversized = true;
        block->size = 0;
        block->lines = 0;
        block->wanted = 0;
        block->done = true;
        reader->carry = data;
        reader->carry_size = filled;
        reader->finished = true;
        return true;
    }
    block->oversized = false;
    block->size = size;
    block->lines = count_line_feeds_in(data, size);
    const std::int64_t room = line_limit - block->first_line;
    block->wanted = block->lines < room ? block->lines : (room > 0 ? room : 0);
    reader->line_feeds += block->lines;
    reader->carry = data + size;
    reader->carry_size = filled - size;
    if (reader->line_feeds >= line_limit) {
        reader->finished = true; // every line the window needs is read
    }
    return true;
}

// Line feeds in the rest of the file, through a block buffer. False on a read error.
bool count_rest(Pass* pass, Reader* reader, char* buffer) noexcept
{
    while (!reader->drained) {
        const std::size_t got = read_some(reader, buffer, pass->capacity);
        reader->line_feeds += count_line_feeds_in(buffer, got);
    }
    return !reader->failed;
}

// The record held back in whole-file form until a later line feed, or the
// end of the file, tells whether it closes the list.
struct HeldRecord {
    bool held = false;
    std::int32_t line = 0;
    LineResult result{};
};

bool emit(const ParallelPassSetup& setup, std::int32_t line, const LineResult& result, bool last) noexcept
{
    return setup.record(setup.sink, line, result.probabilities, result.class_id, last);
}

bool release_held(const ParallelPassSetup& setup, HeldRecord* held, bool last) noexcept
{
    if (!held->held) {
        return true;
    }
    held->held = false;
    return emit(setup, held->line, held->result, last);
}

std::int32_t clamp_to_int32(std::int64_t value) noexcept
{
    return value > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(value);
}

ParallelPassResult run_pass(Pass* pass) noexcept
{
    const ParallelPassSetup& setup = *pass->setup;
    const std::int64_t line_limit = setup.whole_file ? INT32_MAX : setup.end;
    Reader reader;
    reader.file = setup.file;
    HeldRecord held;
    std::int64_t lines_read = 0;     // signals accepted, in order
    std::int64_t resume_offset = 0;  // the start of the line after the last accepted one
    std::uint64_t made = 0;          // blocks made
    std::uint64_t used = 0;          // blocks taken in order
    bool fall_back = false;
    ParallelPassResult result{};

    for (;;) {
        while (!reader.finished && made - used < pass->block_count) {
            Block* block = &pass->blocks[made % pass->block_count];
            if (!make_block(pass, &reader, block, line_limit)) {
                break;
            }
            made += 1;
            if (!block->oversized) {
                std::lock_guard<std::mutex> lock(pass->mutex);
                pass->published += 1;
                pass->work_ready.notify_one();
            } else {
                // Not handed out: the workers take blocks in order, so the
                // one after it is never handed out either.
            }
        }
        if (used == made) {
            break;
        }
        Block* block = &pass->blocks[used % pass->block_count];
        {
            std::unique_lock<std::mutex> lock(pass->mutex);
            pass->work_done.wait(lock, [block] { return block->done; });
        }
        used += 1;
        for (std::int64_t i = 0; i < block->accepted; ++i) {
            const std::int64_t line = block->first_line + i + 1;
            if (line < setup.begin) {
                continue;
            }
            const std::int32_t line32 = static_cast<std::int32_t>(line);
            if (!setup.whole_file) {
                if (!emit(setup, line32, block->results[i], line == setup.end)) {
                    result.outcome = ParallelOutcome::OUTPUT_FAILED;
                    return result;
                }
            } else {
                if (!release_held(setup, &held, false)) {
                    result.outcome = ParallelOutcome::OUTPUT_FAILED;
                    return result;
                }
                held.held = true;
                held.line = line32;
                held.result = block->results[i];
            }
        }
        lines_read += block->accepted;
        resume_offset = block->offset + static_cast<std::int64_t>(block->accepted_end);
        if (block->oversized || block->accepted < block->wanted) {
            fall_back = true;
            break;
        }
    }

    if (reader.failed) {
        result.outcome = ParallelOutcome::READ_FAILED;
        return result;
    }
    std::int64_t end = setup.end;
    if (setup.whole_file) {
        if (fall_back) {
            // The workers are done with the buffers once they stop.
            pass->abandon.store(true, std::memory_order_relaxed);
            std::unique_lock<std::mutex> lock(pass->mutex);
            for (std::uint64_t k = used; k < made; ++k) {
                Block* pending = &pass->blocks[k % pass->block_count];
                pass->work_done.wait(lock, [pending] { return pending->done; });
            }
            lock.unlock();
            if (!count_rest(pass, &reader, pass->blocks[used % pass->block_count].data)) {
                result.outcome = ParallelOutcome::READ_FAILED;
                return result;
            }
        }
        // The line count was to be taken before the first signal is read: a
        // file that lost bytes while it was read ran out of lines after it.
        if (reader.drained && reader.position < pass->size_at_start) {
            if (!release_held(setup, &held, false)) {
                result.outcome = ParallelOutcome::OUTPUT_FAILED;
                return result;
            }
            result.outcome = ParallelOutcome::FILE_SHRANK;
            return result;
        }
        end = clamp_to_int32(reader.line_feeds);
        if (!release_held(setup, &held, held.line == end)) {
            result.outcome = ParallelOutcome::OUTPUT_FAILED;
            return result;
        }
    }
    result.end = static_cast<std::int32_t>(end);
    if (lines_read >= end) {
        result.outcome = ParallelOutcome::COMPLETE;
        return result;
    }
    // A line that is not one signal, a line outgrowing the buffers, or a
    // file that ran out of lines or could not be read: the sequential
    // reader meets the same bytes and decides.
    result.outcome = ParallelOutcome::RESUME;
    result.next_signal = static_cast<std::int32_t>(lines_read + 1);
    result.resume_offset = resume_offset;
    return result;
}

} // namespace

ParallelPassResult parallel_signal_pass(const ParallelPassSetup& setup) noexcept
{
    ParallelPassResult result{};
    result.outcome = ParallelOutcome::NOT_STARTED;

    ClassifierContext check;
    const LibraryStatus status = classifier_context_init(&check, setup.knowledge, setup.float_count);
    if (status != STATUS_OK && status != STATUS_SELF_TEST_WARNING) {
        return result;
    }
    Pass* pass = new (std::nothrow) Pass;
    if (pass == nullptr) {
        return result;
    }
    pass->setup = &setup;
    pass->size_at_start = setup.whole_file ? file_size(setup.file) : 0;
    if (pass->size_at_start < 0) {
        delete pass;
        result.outcome = ParallelOutcome::READ_FAILED;
        return result;
    }
    pass->knowledge = setup.knowledge;
    pass->float_count = setup.float_count;
    const int workers = setup.threads < MAX_WORKERS ? setup.threads : MAX_WORKERS;
    // Two blocks per worker: one being read while the other waits its turn.
    pass->block_count = 2 * static_cast<std::size_t>(workers);
    pass->capacity = setup.block_bytes + (setup.block_bytes < LEAST_LINE_ROOM ? LEAST_LINE_ROOM : setup.block_bytes);
    pass->result_capacity = pass->capacity / SHORTEST_SIGNAL_LINE + 1;
    pass->blocks = static_cast<Block*>(std::calloc(pass->block_count, sizeof(Block)));
    bool ready = pass->blocks != nullptr;
    for (std::size_t k = 0; ready && k < pass->block_count; ++k) {
        pass->blocks[k].data = static_cast<char*>(std::malloc(pass->capacity));
        pass->blocks[k].results = static_cast<LineResult*>(std::malloc(pass->result_capacity * sizeof(LineResult)));
        ready = pass->blocks[k].data != nullptr && pass->blocks[k].results != nullptr;
    }

    std::thread threads[MAX_WORKERS];
    int started = 0;
    if (ready) {
        try {
            for (; started < workers; ++started) {
                threads[started] = std::thread(worker_main, pass);
            }
        } catch (...) {
            // Fewer workers than asked, or none: the run is the same.
        }
    }
    if (started > 0) {
        result = run_pass(pass);
    }
    {
        std::lock_guard<std::mutex> lock(pass->mutex);
        pass->stopping = true;
        pass->abandon.store(true, std::memory_order_relaxed);
    }
    pass->work_ready.notify_all();
    for (int k = 0; k < started; ++k) {
        threads[k].join();
    }
    if (pass->blocks != nullptr) {
        for (std::size_t k = 0; k < pass->block_count; ++k) {
            std::free(pass->blocks[k].data);
            std::free(pass->blocks[k].results);
        }
        std::free(pass->blocks);
    }
    delete pass;
    return result;
}

bool seek_file_to(std::FILE* file, std::int64_t offset) noexcept
{
#if defined(_WIN32)
    return _fseeki64(file, offset, SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}
