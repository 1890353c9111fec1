// Buffered reading of a signal file, as the formatted-input functions of the
// C library see it, from one fixed buffer.
//
// Readers see the stream only through the functions below: the span of
// unread bytes, taking bytes from its front, asking for more, and the end
// and error state. Only these functions may touch the fields.
#ifndef OMBREL_SIGNAL_STREAM_H
#define OMBREL_SIGNAL_STREAM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The unread bytes in the buffer: [begin, end).
struct SignalSpan {
    const char* begin;
    const char* end;
};

// The stream's inline functions, declared before the fields they may touch.
struct SignalStream;
inline SignalSpan signal_stream_span(const SignalStream* s) noexcept;
inline void signal_stream_consume(SignalStream* s, std::size_t n) noexcept;
inline void signal_stream_consume_to(SignalStream* s, const char* to) noexcept;
inline std::int64_t signal_stream_offset(const SignalStream* s) noexcept;
inline bool signal_stream_drained(const SignalStream* s) noexcept;
inline void signal_stream_look_ahead(SignalStream* s) noexcept;
inline bool signal_stream_at_eof(const SignalStream* s) noexcept;
inline bool signal_stream_cut_short(const SignalStream* s) noexcept;
inline int signal_stream_peek(SignalStream* s) noexcept;
inline void signal_stream_advance(SignalStream* s) noexcept;
inline std::int64_t signal_stream_line_feeds(const SignalStream* s) noexcept;
inline std::uint64_t signal_stream_bytes_read(const SignalStream* s) noexcept;
inline bool signal_stream_read_all(const SignalStream* s) noexcept;
inline bool signal_stream_read_failed(const SignalStream* s) noexcept;

struct SignalStream {
private:
    std::FILE* file;
    char* data;            // buffer storage, capacity bytes
    std::size_t capacity;
    std::size_t lookahead; // bytes kept ahead of the reading position when the file has more
    std::size_t next;      // index in data of the next unread byte
    std::size_t filled;    // bytes of data holding file content; next <= filled
    std::int64_t moved;    // bytes taken before data[0]
    bool drained;          // the file gave its last byte (end reached or read error)
    bool read_failed;      // the reading stopped on an error, not at the end
    bool end_seen;         // a character was asked for past the end of the file
    std::uint64_t unread_limit; // bytes the stream may still take from the file; the rest is as if absent
    std::int64_t line_feeds;    // in the bytes read from the file

    friend void signal_stream_init_buffer(SignalStream*, std::FILE*, char*, std::size_t) noexcept;
    friend void signal_stream_limit(SignalStream*, std::uint64_t) noexcept;
    friend void signal_stream_init_memory(SignalStream*, const char*, std::size_t) noexcept;
    friend bool signal_stream_refill(SignalStream*) noexcept;
    friend bool signal_stream_need_more(SignalStream*) noexcept;
    friend SignalSpan signal_stream_span(const SignalStream*) noexcept;
    friend void signal_stream_consume(SignalStream*, std::size_t) noexcept;
    friend void signal_stream_consume_to(SignalStream*, const char*) noexcept;
    friend std::int64_t signal_stream_offset(const SignalStream*) noexcept;
    friend bool signal_stream_drained(const SignalStream*) noexcept;
    friend void signal_stream_look_ahead(SignalStream*) noexcept;
    friend bool signal_stream_at_eof(const SignalStream*) noexcept;
    friend bool signal_stream_cut_short(const SignalStream*) noexcept;
    friend int signal_stream_peek(SignalStream*) noexcept;
    friend void signal_stream_advance(SignalStream*) noexcept;
    friend std::int64_t signal_stream_line_feeds(const SignalStream*) noexcept;
    friend std::uint64_t signal_stream_bytes_read(const SignalStream*) noexcept;
    friend bool signal_stream_read_all(const SignalStream*) noexcept;
    friend bool signal_stream_read_failed(const SignalStream*) noexcept;
};

// file: opened "rb", at its start; storage: the caller's buffer of
// `capacity` bytes, at least 16, for as long as the stream is used.
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

// --- The span and taking bytes ----------------------------------------------

inline SignalSpan signal_stream_span(const SignalStream* s) noexcept
{
    return {s->data + s->next, s->data + s->filled};
}

// Takes n bytes from the front of the span (n at most its length).
inline void signal_stream_consume(SignalStream* s, std::size_t n) noexcept
{
    s->next += n;
}

// Takes the bytes of the span up to `to`, a pointer into it.
inline void signal_stream_consume_to(SignalStream* s, const char* to) noexcept
{
    s->next = static_cast<std::size_t>(to - s->data);
}

// Bytes taken since the stream began.
inline std::int64_t signal_stream_offset(const SignalStream* s) noexcept
{
    return s->moved + static_cast<std::int64_t>(s->next);
}

// --- More bytes ----------------------------------------------------------------

// Moves the unread bytes to the front and fills the rest from the file.
// Returns false when no new byte came. Pointers into the span are invalid
// afterwards.
bool signal_stream_refill(SignalStream* s) noexcept;

// A reader that has taken every byte of the span needs the next one:
// refills, and when none comes marks the end as seen (a character was asked
// for past the end of the file, unless a read error stopped the reading).
// False when none came.
bool signal_stream_need_more(SignalStream* s) noexcept;

// True when no byte will come after the span: the span ends where the file
// ends (or where a read error cut it).
inline bool signal_stream_drained(const SignalStream* s) noexcept
{
    return s->drained;
}

// Makes at least the lookahead's bytes readable in the span, unless the
// file ends first; the end is not marked as seen.
inline void signal_stream_look_ahead(SignalStream* s) noexcept
{
    if (s->filled - s->next < s->lookahead && !s->drained) {
        (void)signal_stream_refill(s);
    }
}

// --- End and error state -------------------------------------------------------

// What feof() on the file would say after the same reads through the C
// library's stream functions: a read error is not the end of the file.
inline bool signal_stream_at_eof(const SignalStream* s) noexcept
{
    return s->end_seen;
}

// True when the reading stopped on an error and every byte read has been
// taken: the last text taken may then end where the error cut the data, not
// where the file's text ends. A text followed by a byte still unread was
// taken whole.
inline bool signal_stream_cut_short(const SignalStream* s) noexcept
{
    return s->read_failed && s->next == s->filled;
}

// --- What has been read from the file ----------------------------------------

// The line feeds among the bytes read from the file so far, whether taken
// or not (counted as each read comes in, while the bytes are in the cache);
// 0 for a stream over memory.
inline std::int64_t signal_stream_line_feeds(const SignalStream* s) noexcept
{
    return s->line_feeds;
}

// Bytes read from the file since the stream began: the file's position
// relative to where the stream found it.
inline std::uint64_t signal_stream_bytes_read(const SignalStream* s) noexcept
{
    return static_cast<std::uint64_t>(s->moved) + s->filled;
}

// Every byte the limit (signal_stream_limit) lets the stream take has been
// read: the line feeds above are those of all of them.
inline bool signal_stream_read_all(const SignalStream* s) noexcept
{
    return s->unread_limit == 0;
}

// The reading stopped on an error (whether or not the bytes before it have
// all been taken).
inline bool signal_stream_read_failed(const SignalStream* s) noexcept
{
    return s->read_failed;
}

// --- One character at a time, as fgetc and ungetc see it --------------------

// Next character (0 to 255) without taking it, or -1 when the file has no
// more; asking past the end of the file marks the end as seen.
inline int signal_stream_peek(SignalStream* s) noexcept
{
    if (s->next == s->filled && !signal_stream_need_more(s)) {
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
        signal_stream_advance(s);
    }
    return c;
}

#endif
