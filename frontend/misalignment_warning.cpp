#include "misalignment_warning.h"

#include <cinttypes>
#include <cstdio>

void warn_misaligned(std::int64_t line, std::int32_t values) noexcept
{
    // Nothing to do if standard error cannot take it: the report and the
    // exit status do not depend on the warning.
    (void)std::fprintf(stderr,
                       "ombrel_emulator: warning: line %" PRId64 " holds %" PRId32
                       " value%s; signals after it do not start at line starts\n",
                       line, values, values == 1 ? "" : "s");
}
