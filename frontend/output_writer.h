// The report's only way out: a fixed buffer in front of a stream (standard
// output for the program). Nothing reaches the stream until the buffer fills
// (or has no room for a piece written in place) or output_finish runs, so a
// run must call output_finish before it ends;
// what was written before a failure of the run is then still delivered.
// Each run has a writer of its own: runs at once in one process never share
// one.
#ifndef OMBREL_OUTPUT_WRITER_H
#define OMBREL_OUTPUT_WRITER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

// 64 KiB: a few hundred report records between two writes.
inline constexpr std::size_t OUTPUT_CAPACITY = std::size_t{64} << 10;

struct OutputWriter {
    std::FILE* stream;
    std::size_t used;
    bool failed; // a write to the stream failed; later output is dropped
    char buffer[OUTPUT_CAPACITY];
};

void output_start(OutputWriter* out, std::FILE* stream) noexcept;

void output_bytes(OutputWriter* out, const char* bytes, std::size_t length) noexcept;
// Inline so that the length of a literal is known where it is written.
inline void output_text(OutputWriter* out, const char* text) noexcept
{
    output_bytes(out, text, std::strlen(text));
}
void output_int(OutputWriter* out, std::int32_t value) noexcept;   // "%d"
void output_uint(OutputWriter* out, std::uint32_t value) noexcept; // "%lu" of a 32-bit value
void output_fixed2(OutputWriter* out, float value) noexcept;       // "%.2f" of the value widened to double

// --- Writing in place: a piece of known greatest length (a report record)
// goes straight into the buffer, without a call per literal or number.

// Writes the buffer's bytes to the stream now.
void output_drain(OutputWriter* out) noexcept;

// Where up to `most` bytes (at most OUTPUT_CAPACITY) may be written: the
// end of the buffer, drained first when they might not fit. The writer then
// hands the end of what it wrote to output_written.
inline char* output_room(OutputWriter* out, std::size_t most) noexcept
{
    if (OUTPUT_CAPACITY - out->used < most) {
        output_drain(out);
    }
    return out->buffer + out->used;
}

inline void output_written(OutputWriter* out, const char* end) noexcept
{
    out->used = static_cast<std::size_t>(end - out->buffer);
}

// A literal, without its NUL.
template <std::size_t N>
inline char* put_text(char* p, const char (&text)[N]) noexcept
{
    std::memcpy(p, text, N - 1);
    return p + N - 1;
}

// "%lu" of a 32-bit value: at most 10 characters.
inline char* put_uint(char* p, std::uint32_t value) noexcept
{
    char* end = p + 1;
    for (std::uint32_t rest = value; rest >= 10; rest /= 10) {
        ++end;
    }
    char* digit = end;
    do {
        *--digit = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    return end;
}

// "%d": at most 11 characters.
inline char* put_int(char* p, std::int32_t value) noexcept
{
    if (value < 0) {
        *p++ = '-';
        // Magnitude in unsigned arithmetic: -INT32_MIN does not fit an int32.
        return put_uint(p, 0u - static_cast<std::uint32_t>(value));
    }
    return put_uint(p, static_cast<std::uint32_t>(value));
}

// True once a write to the stream has failed.
inline bool output_failed(const OutputWriter* out) noexcept
{
    return out->failed;
}

// Counts a failed write of the run's other output (a warning on standard
// error) as a failed write of the report: output_failed() from now on.
inline void output_fail(OutputWriter* out) noexcept
{
    out->failed = true;
}

// Flushes everything to the stream. False when any write failed.
bool output_finish(OutputWriter* out) noexcept;

#endif
