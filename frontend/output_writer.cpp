#include "output_writer.h"

#include "text/number_format.h"

void output_drain(OutputWriter* out) noexcept
{
    if (out->used != 0 && !out->failed) {
        if (std::fwrite(out->buffer, 1, out->used, out->stream) != out->used) {
            out->failed = true;
        }
    }
    out->used = 0;
}

void output_start(OutputWriter* out, std::FILE* stream) noexcept
{
    out->stream = stream;
    out->used = 0;
    out->failed = false;
}

void output_bytes(OutputWriter* out, const char* bytes, std::size_t length) noexcept
{
    while (length > 0) {
        if (out->used == OUTPUT_CAPACITY) {
            output_drain(out);
        }
        const std::size_t room = OUTPUT_CAPACITY - out->used;
        const std::size_t part = length < room ? length : room;
        std::memcpy(out->buffer + out->used, bytes, part);
        out->used += part;
        bytes += part;
        length -= part;
    }
}

void output_uint(OutputWriter* out, std::uint32_t value) noexcept
{
    char digits[10];
    output_bytes(out, digits, static_cast<std::size_t>(put_uint(digits, value) - digits));
}

void output_int(OutputWriter* out, std::int32_t value) noexcept
{
    char digits[11];
    output_bytes(out, digits, static_cast<std::size_t>(put_int(digits, value) - digits));
}

void output_fixed2(OutputWriter* out, float value) noexcept
{
    char text[FIXED2_BUFFER_SIZE];
    output_bytes(out, text, format_fixed2(value, text));
}

bool output_finish(OutputWriter* out) noexcept
{
    output_drain(out);
    if (std::fflush(out->stream) != 0 || std::ferror(out->stream)) {
        out->failed = true;
    }
    return !out->failed;
}
