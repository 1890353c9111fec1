#ifndef OMBREL_MISALIGNMENT_WARNING_H
#define OMBREL_MISALIGNMENT_WARNING_H

#include <cstdint>

// The one line on standard error for a signal file whose signals stop
// starting at line starts (see line_tally.h): the first line that holds a
// number of values other than 64. The report is unchanged by it.
void warn_misaligned(std::int64_t line, std::int32_t values) noexcept;

#endif
