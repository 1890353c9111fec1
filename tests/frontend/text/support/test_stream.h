// A signal stream over a 1 MiB buffer of static storage, the size the
// command's sequential pass reads with: only the latest stream made by
// test_stream_init may be used.
#ifndef OMBREL_TEST_STREAM_H
#define OMBREL_TEST_STREAM_H

#include "signal_stream.h"

#include <cstddef>
#include <cstdio>

inline constexpr std::size_t TEST_STREAM_BUFFER_SIZE = std::size_t{1} << 20;

inline void test_stream_init(SignalStream* s, std::FILE* file) noexcept
{
    alignas(64) static char buffer[TEST_STREAM_BUFFER_SIZE];
    signal_stream_init_buffer(s, file, buffer, sizeof buffer);
}

#endif
