#ifndef OMBREL_MISALIGNMENT_WARNING_H
#define OMBREL_MISALIGNMENT_WARNING_H

#include <cstddef>
#include <cstdint>

// The words for a signal file whose signals stop starting at line starts
// (see line_tally.h), naming the first line that holds a number of values
// other than 64 and, when more than one does, how many: "line 3 holds 65
// values; signals after it do not start at line starts", or "line 3 holds
// 65 values (4 lines hold other than 64); ...", with no line end. A first
// line of 65 values adds the fix for a written row index. Writes at most
// `size` bytes, the terminating zero included (MISALIGNMENT_TEXT always
// suffices).
inline constexpr std::size_t MISALIGNMENT_TEXT = 256;
void misalignment_text(char* text, std::size_t size, std::int64_t line, std::int32_t values,
                       std::int64_t count) noexcept;

// The command's one line on standard error for it, prefixed by the program's
// name. The report is unchanged by it. False when the line could not be
// written: the command then fails as after any failed write.
bool warn_misaligned(std::int64_t line, std::int32_t values, std::int64_t count) noexcept;

#endif
