#include "misalignment_warning.h"

#include <cinttypes>
#include <cstdio>

void misalignment_text(char* text, std::size_t size, std::int64_t line, std::int32_t values) noexcept
{
    (void)std::snprintf(text, size, "line %" PRId64 " holds %" PRId32 " value%s; signals after it do not start at line starts",
                        line, values, values == 1 ? "" : "s");
}

bool warn_misaligned(std::int64_t line, std::int32_t values) noexcept
{
    char text[96];
    misalignment_text(text, sizeof text, line, values);
    // Standard error is unbuffered: a failed write shows in the result.
    return std::fprintf(stderr, "ombrel_emulator: warning: %s\n", text) > 0 && std::fflush(stderr) == 0;
}
