#include "output_writer.h"

#include "number_format.h"

#include <cstdio>
#include <cstring>

namespace {

// 64 KiB: a few hundred report records between two writes.
constexpr std::size_t OUTPUT_CAPACITY = 64 * 1024;

struct OutputWriter {
    char buffer[OUTPUT_CAPACITY];
    std::size_t used;
    bool failed;
};

OutputWriter writer = {{}, 0, false};

void drain() noexcept
{
    if (writer.used != 0 && !writer.failed) {
        if (std::fwrite(writer.buffer, 1, writer.used, stdout) != writer.used) {
            writer.failed = true;
        }
    }
    writer.used = 0;
}

} // namespace

void output_bytes(const char* bytes, std::size_t length) noexcept
{
    while (length > 0) {
        if (writer.used == OUTPUT_CAPACITY) {
            drain();
        }
        std::size_t room = OUTPUT_CAPACITY - writer.used;
        std::size_t part = length < room ? length : room;
        std::memcpy(writer.buffer + writer.used, bytes, part);
        writer.used += part;
        bytes += part;
        length -= part;
    }
}

void output_uint(std::uint32_t value) noexcept
{
    char digits[10];
    std::size_t n = 0;
    do {
        digits[sizeof digits - 1 - n] = static_cast<char>('0' + value % 10);
        value /= 10;
        ++n;
    } while (value != 0);
    output_bytes(digits + sizeof digits - n, n);
}

void output_int(std::int32_t value) noexcept
{
    if (value < 0) {
        output_bytes("-", 1);
        // Magnitude in unsigned arithmetic: -INT32_MIN does not fit an int32.
        output_uint(0u - static_cast<std::uint32_t>(value));
    } else {
        output_uint(static_cast<std::uint32_t>(value));
    }
}

void output_fixed2(float value) noexcept
{
    char text[FIXED2_BUFFER_SIZE];
    output_bytes(text, format_fixed2(value, text));
}

bool output_failed() noexcept
{
    return writer.failed;
}

void output_fail() noexcept
{
    writer.failed = true;
}

bool output_finish() noexcept
{
    drain();
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        writer.failed = true;
    }
    return !writer.failed;
}
