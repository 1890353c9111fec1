// How the signal pass of file mode is spread over threads, from the
// environment of the process.
#ifndef OMBREL_SIGNAL_PASS_SETTINGS_H
#define OMBREL_SIGNAL_PASS_SETTINGS_H

#include <cstddef>

// OMBREL_THREADS, when it is a decimal number from 1 to 64 (leading and
// trailing blanks allowed): that many. Otherwise the number of cores this
// process may run on (its affinity mask on Linux, the hardware's count
// elsewhere), and 1 when that cannot be known. 1 selects the sequential pass.
int signal_pass_thread_count() noexcept;

// Bytes a worker is handed at a time (a block ends after a line feed, so it
// is rounded up to the end of a line). OMBREL_TEST_BLOCK_BYTES, a test
// setting, when it is a decimal number from 1 to 64 MiB; otherwise 256 KiB.
std::size_t signal_pass_block_bytes() noexcept;

#endif
