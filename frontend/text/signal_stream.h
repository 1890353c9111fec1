// Buffered reading of a signal file, character by character as the
// formatted-input functions of the C library see it, from one fixed buffer.
#ifndef OMBREL_SIGNAL_STREAM_H
#define OMBREL_SIGNAL_STREAM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct SignalStream {
    std::FILE* file;
    char* data;            // buffer storage, capacity bytes
    std::size_t capacity;
    std::size_t lookahead; // bytes kept ahead of the reading position when the file has more
    std::size_t next;      // index in data of the next unread byte
    std::size_t filled;    // bytes of data holding file content; next <= filled
    bool drained;          // the file gave its last byte (end reached or read error)
    bool read_failed;      // the reading stopped on an error, not at the end
    bool end_seen;         // a character was asked for past the end of the file
    std::uint64_t unread_limit; // bytes the stream may still take from the file; the rest is as if absent
};

// Bytes of the buffer that signal_stream_init uses.
inline constexpr std::size_t SIGNAL_STREAM_BUFFER_SIZE = std::size_t{1} << 20;

// file: opened "rb", at its start. All streams made by this function share
// one buffer of static storage, so only the latest one may be used.
void signal_stream_init(SignalStream* s, std::FILE* file) noexcept;

// The same over caller-owned storage of at least 16 bytes.
void signal_stream_init_buffer(SignalStream* s, std::FILE* file, char* storage,
                               std::size_t capacity) noexcept;

// Reads no more than `bytes` further bytes from the file: the file ends
// there for the stream (a reader that must not see bytes appended after a
// size was taken). Without it, the stream reads to the file's end.
void signal_stream_limit(SignalStream* s, std::uint64_t bytes) noexcept;

// Over bytes already in memory, as a file holding exactly them: the stream
// starts drained, so it never reads a file and never writes to `bytes`,
// which must stay unchanged while it is used. A character asked for past
// `size` is the end of the file.
void signal_stream_init_memory(SignalStream* s, const char* bytes, std::size_t size) noexcept;

// What feof() on the file would say after the same reads through the C
// library's stream functions: a read error is not the end of the file.
bool signal_stream_at_eof(const SignalStream* s) noexcept;

// True when the reading stopped on an error and every byte read has been
// taken: the last text taken may then end where the error cut the data, not
// where the file's text ends. A text followed by a byte still unread was
// taken whole.
inline bool signal_stream_cut_short(const SignalStream* s) noexcept
{
    return s->read_failed && s->next == s->filled;
}

// Moves the unread bytes to the front and fills the rest from the file.
// Returns false when no new byte came.
bool signal_stream_refill(SignalStream* s) noexcept;

// Next character (0 to 255) without taking it, or -1 when the file has no
// more; asking past the end of the file marks the end as seen.
inline int signal_stream_peek(SignalStream* s) noexcept
{
    if (s->next == s->filled && !signal_stream_refill(s)) {
        if (!s->read_failed) {
            s->end_seen = true;
        }
        return -1;
    }
    return static_cast<unsigned char>(s->data[s->next]);
}

// Takes the character that signal_stream_peek returned (not -1).
inline void signal_stream_advance(SignalStream* s) noexcept
{
    ++s->next;
}

// Takes and returns the next character, or -1 as signal_stream_peek.
inline int signal_stream_get(SignalStream* s) noexcept
{
    const int c = signal_stream_peek(s);
    if (c >= 0) {
        ++s->next;
    }
    return c;
}

// Makes at least the lookahead's bytes readable from next, unless the file
// ends first.
inline void signal_stream_look_ahead(SignalStream* s) noexcept
{
    if (s->filled - s->next < s->lookahead && !s->drained) {
        (void)signal_stream_refill(s);
    }
}

#endif
