// The report's only way out: a fixed buffer in front of standard output.
// Nothing reaches the stream until the buffer fills or output_finish runs, so
// the process must call output_finish before it ends; what was written before
// a failure of the run is then still delivered.
#ifndef OMBREL_OUTPUT_WRITER_H
#define OMBREL_OUTPUT_WRITER_H

#include <cstddef>
#include <cstdint>
#include <cstring>

void output_bytes(const char* bytes, std::size_t length) noexcept;
// Inline so that the length of a literal is known where it is written.
inline void output_text(const char* text) noexcept
{
    output_bytes(text, std::strlen(text));
}
void output_int(std::int32_t value) noexcept;   // "%d"
void output_uint(std::uint32_t value) noexcept; // "%lu" of a 32-bit value
void output_fixed2(float value) noexcept;       // "%.2f" of the value widened to double

// True once a write to standard output has failed; later output is dropped.
bool output_failed() noexcept;

// Counts a failed write of the run's other output (a warning on standard
// error) as a failed write of the report: output_failed() from now on.
void output_fail() noexcept;

// Flushes everything to standard output. False when any write failed.
bool output_finish() noexcept;

#endif
