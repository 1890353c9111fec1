// Differential fuzzing of the signal reader against the C library: the same
// bytes are read line by line with read_signal_line and with fscanf("%f")
// followed by fgetc for each of the 64 values, and every difference aborts:
// success or failure of each line, each value read (bit for bit; two NaNs
// are equal whatever their sign and payload), the bytes taken after each
// line read in full, and the end-of-file flag after a failure.
//
// Each input is read twice: through the stream's own 1 MiB buffer, and
// through a small buffer whose size follows the input's length, so that
// refills fall inside numbers, words and exponents. The second reading goes
// through the line tally's reader, whose count of lines must also equal the
// line feeds in the bytes taken.
#include "c_library_reference.h"
#include "line_tally.h"
#include "signal_line.h"
#include "signal_stream.h"
#include "test_stream.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what, int line, int slot)
{
    std::fprintf(stderr, "fuzz_signal_reader: %s (line %d, value %d)\n", what, line, slot);
    std::abort();
}

void compare(const std::uint8_t* data, std::size_t size, char* storage, std::size_t capacity)
{
    std::FILE* ours_file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    std::FILE* theirs = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (ours_file == nullptr || theirs == nullptr) {
        std::abort();
    }
    SignalStream stream;
    LineTally tally;
    line_tally_start(&tally, 1);
    const bool tallied = storage != nullptr;
    if (storage == nullptr) {
        test_stream_init(&stream, ours_file);
    } else {
        signal_stream_init_buffer(&stream, ours_file, storage, capacity);
    }

    // A line read in full takes at least one byte per value, so this bounds
    // the loop even if a fault made both readers take nothing.
    const std::size_t most_lines = size / SIGNAL_LINE_VALUES + 2;
    for (std::size_t line = 0; line < most_lines; ++line) {
        float ours[SIGNAL_LINE_VALUES];
        float expected[SIGNAL_LINE_VALUES];
        int converted = 0;
        const bool ok = tallied ? read_signal_line_tallied(&stream, ours, &tally) : read_signal_line(&stream, ours);
        const bool expected_ok = reference_line(theirs, expected, &converted);
        const int at = static_cast<int>(line) + 1;
        if (ok != expected_ok) {
            fail(ok ? "read a line that the C library refuses" : "refused a line that the C library reads", at,
                 converted);
        }
        for (int slot = 0; slot < converted; ++slot) {
            if (!same_value(ours[slot], expected[slot])) {
                fail("value differs from the C library's", at, slot);
            }
        }
        if (!ok) {
            if (signal_stream_at_eof(&stream) != (std::feof(theirs) != 0)) {
                fail("end-of-file flag after the failure differs from the C library's", at, converted);
            }
            break;
        }
        if (signal_stream_offset(&stream) != std::ftell(theirs)) {
            fail("took another number of bytes than the C library", at, SIGNAL_LINE_VALUES);
        }
        if (tallied) {
            std::int64_t line_feeds = 0;
            for (long i = 0; i < std::ftell(theirs); ++i) {
                line_feeds += data[i] == '\n';
            }
            if (tally.line - 1 != line_feeds) {
                fail("line tally differs from the line feeds taken", at, SIGNAL_LINE_VALUES);
            }
        }
    }
    std::fclose(ours_file);
    std::fclose(theirs);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    compare(data, size, nullptr, 0);
    static char small[64];
    compare(data, size, small, 16 + size % 48);
    return 0;
}
