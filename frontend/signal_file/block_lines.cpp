#include "signal_file/block_lines.h"

#include "signal_file/signal_delivery.h"

#include "text/number_chars.h"
#include "text/signal_line.h"
#include "text/signal_stream.h"

#include <cstring>

static_assert(SIGNAL_LINE_VALUES == INPUT_LENGTH);

namespace {

bool only_white_space(const char* p, const char* end) noexcept
{
    for (; p != end; ++p) {
        if (!is_number_space(static_cast<unsigned char>(*p))) {
            return false;
        }
    }
    return true;
}

// Reads data[start, stop), a line ending in its line feed, as one signal.
bool read_one_signal(const char* data, std::size_t start, std::size_t stop, float* values) noexcept
{
    SignalStream line;
    signal_stream_init_memory(&line, data + start, stop - start);
    // The line is the stream's whole content, ending in its line feed: a
    // signal that needs the line feed before its 64th separator runs out of
    // bytes and fails here.
    return read_signal_line(&line, values) && !signal_stream_at_eof(&line) &&
           only_white_space(signal_stream_span(&line).begin, data + stop);
}

// Signals read but not yet classified: the lines from `first` on, classified
// together by the batch entry (the bits of one classification each).
constexpr int PENDING_CAPACITY = SIGNAL_BATCH;
struct Pending {
    float values[PENDING_CAPACITY * INPUT_LENGTH];
    std::int64_t first;
    int count;
};

void classify_pending(Block* block, Pending* pending, const ClassifierContext* context) noexcept
{
    if (pending->count > 0) {
        (void)classifier_context_run_batch(context, pending->values, static_cast<std::size_t>(pending->count),
                                           block->results + pending->first * CLASS_COUNT,
                                           block->class_ids + pending->first);
    }
    pending->count = 0;
}

// Kept lines are consecutive (every line from the window's begin on), so the
// pending ones always end just before line i.
void keep(Block* block, std::int64_t i, const float* values, const ClassifierContext* context,
          Pending* pending) noexcept
{
    block->findings[i] = signal_findings(block->first_line + i + 1, values);
    if (context == nullptr) {
        std::memcpy(block->results + i * INPUT_LENGTH, values, INPUT_LENGTH * sizeof(float));
        return;
    }
    if (pending->count == 0) {
        pending->first = i;
    }
    std::memcpy(pending->values + pending->count * INPUT_LENGTH, values, INPUT_LENGTH * sizeof(float));
    if (++pending->count == PENDING_CAPACITY) {
        classify_pending(block, pending, context);
    }
}

} // namespace

void read_block_lines(Block* block, std::int64_t begin, ClassifierContext* context,
                      const std::atomic<bool>& abandon) noexcept
{
    const char* const data = block->data;
    std::size_t start = 0;
    std::int64_t i = 0;
    Pending pending;
    pending.count = 0;
    for (; i < block->wanted; ++i) {
        if ((i & 63) == 0 && abandon.load(std::memory_order_relaxed)) {
            break;
        }
        const void* found = std::memchr(data + start, '\n', block->size - start);
        const std::size_t stop = static_cast<std::size_t>(static_cast<const char*>(found) - data) + 1;
        float values[SIGNAL_LINE_VALUES];
        if (!read_one_signal(data, start, stop, values)) {
            break;
        }
        if (block->first_line + i + 1 >= begin) {
            keep(block, i, values, context, &pending);
        }
        start = stop;
    }
    classify_pending(block, &pending, context);
    block->accepted = i;
    block->accepted_end = start;
}
