#ifndef OMBREL_MISALIGNMENT_WARNING_H
#define OMBREL_MISALIGNMENT_WARNING_H

#include <cstddef>
#include <cstdint>

// The words for a signal file whose signals stop starting at line starts
// (see line_tally.h), naming the first line that holds a number of values
// other than 64: "line 3 holds 65 values; signals after it do not start at
// line starts", with no line end. Writes at most `size` bytes, the
// terminating zero included (96 bytes always suffice).
void misalignment_text(char* text, std::size_t size, std::int64_t line, std::int32_t values) noexcept;

// The command's one line on standard error for it, prefixed by the program's
// name. The report is unchanged by it. False when the line could not be
// written: the command then fails as after any failed write.
bool warn_misaligned(std::int64_t line, std::int32_t values) noexcept;

#endif
