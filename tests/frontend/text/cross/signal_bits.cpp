// Prints the bits of every value that the signal reader reads from a file,
// a signal per line in hexadecimal, then how the reading ended: built for
// two machines, the outputs compare the two builds' number text bit for bit
// (tools/test_aarch64.sh: the portable decoding against SSE2 and AVX2).
//
//   signal_bits FILE
//
// The stream's buffer is small, so that many texts straddle its refills.
#include "signal_line.h"
#include "signal_stream.h"

#include <bit>
#include <cstdint>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: signal_bits FILE\n", stderr);
        return 2;
    }
    std::FILE* file = std::fopen(argv[1], "rb");
    if (file == nullptr) {
        std::perror(argv[1]);
        return 2;
    }
    static char buffer[4096 + 7];
    SignalStream stream;
    signal_stream_init_buffer(&stream, file, buffer, sizeof buffer);
    float values[SIGNAL_LINE_VALUES];
    long signals = 0;
    while (read_signal_line(&stream, values)) {
        for (const float v : values) {
            std::printf("%08x ", static_cast<unsigned>(std::bit_cast<std::uint32_t>(v)));
        }
        std::putchar('\n');
        ++signals;
    }
    std::printf("%ld signals, then %s at offset %lld\n", signals,
                signal_stream_at_eof(&stream) ? "the end of the file" : "a text that is no value",
                static_cast<long long>(signal_stream_offset(&stream)));
    std::fclose(file);
    return 0;
}
