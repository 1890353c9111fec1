#include "misalignment_warning.h"

#include "reader_warnings.h"

#include <cinttypes>
#include <cstdio>

void misalignment_text(char* text, std::size_t size, std::int64_t line, std::int32_t values,
                       std::int64_t count) noexcept
{
    char lines[48] = "";
    if (count > 1) {
        (void)std::snprintf(lines, sizeof lines, " (%" PRId64 " lines hold other than 64)", count);
    }
    // 65 values on the first line: most often the row index a data frame
    // writes by default.
    const char* index = line == 1 && values == 65
                            ? "; if the first column is a row index, write the signals with "
                              "DataFrame.to_csv(path, index=False, header=False)"
                            : "";
    (void)std::snprintf(text, size, "line %" PRId64 " holds %" PRId32 " value%s%s; signals after it do not start "
                        "at line starts%s", line, values, values == 1 ? "" : "s", lines, index);
}

bool warn_misaligned(std::int64_t line, std::int32_t values, std::int64_t count) noexcept
{
    char text[MISALIGNMENT_TEXT];
    misalignment_text(text, sizeof text, line, values, count);
    return warn_line(text);
}
