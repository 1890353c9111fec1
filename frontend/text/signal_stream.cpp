#include "signal_stream.h"

#include "line_feed_count.h"

#include <cstring>

namespace {

// A token of ordinary length lies wholly in this window or ends the file, so
// the fast paths can take it from the buffer; the quarter of the buffer
// keeps small test buffers useful.
constexpr std::size_t LOOKAHEAD = 4096;

} // namespace

void signal_stream_init_buffer(SignalStream* s, std::FILE* file, char* storage,
                               std::size_t capacity) noexcept
{
    s->file = file;
    s->data = storage;
    s->capacity = capacity;
    s->lookahead = capacity / 4 < LOOKAHEAD ? capacity / 4 : LOOKAHEAD;
    s->next = 0;
    s->filled = 0;
    s->moved = 0;
    s->drained = false;
    s->read_failed = false;
    s->end_seen = false;
    s->unread_limit = UINT64_MAX;
    s->line_feeds = 0;
}

void signal_stream_limit(SignalStream* s, std::uint64_t bytes) noexcept
{
    s->unread_limit = bytes;
}

void signal_stream_init_memory(SignalStream* s, const char* bytes, std::size_t size) noexcept
{
    s->file = nullptr;
    // Only refill writes to the data, and it returns at once on a drained stream.
    s->data = const_cast<char*>(bytes);
    s->capacity = size;
    s->lookahead = 0;
    s->next = 0;
    s->filled = size;
    s->moved = 0;
    s->drained = true;
    s->read_failed = false;
    s->end_seen = false;
    s->unread_limit = 0;
    s->line_feeds = 0;
}

bool signal_stream_refill(SignalStream* s) noexcept
{
    if (s->drained) {
        return false;
    }
    const std::size_t unread = s->filled - s->next;
    if (s->next != 0) {
        std::memmove(s->data, s->data + s->next, unread);
        s->moved += static_cast<std::int64_t>(s->next);
        s->next = 0;
        s->filled = unread;
    }
    std::size_t wanted = s->capacity - s->filled;
    if (wanted > s->unread_limit) {
        wanted = static_cast<std::size_t>(s->unread_limit);
        if (wanted == 0) {
            s->drained = true; // the limit is the end of the file
            return false;
        }
    }
    const std::size_t got = std::fread(s->data + s->filled, 1, wanted, s->file);
    s->line_feeds += count_line_feeds_in(s->data + s->filled, got);
    s->filled += got;
    s->unread_limit -= got;
    if (got < wanted) {
        // Like the C library's streams, nothing is read after the end of the
        // file or an error: both flags stay as they are.
        s->drained = true;
        s->read_failed = std::ferror(s->file) != 0;
    }
    return got != 0;
}

bool signal_stream_need_more(SignalStream* s) noexcept
{
    if (signal_stream_refill(s)) {
        return true;
    }
    if (!s->read_failed) {
        s->end_seen = true;
    }
    return false;
}
