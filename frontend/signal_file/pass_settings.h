// How a signal file's pass is spread over threads, from the environment of
// the process: read the same way by the command and the Python extension.
#ifndef OMBREL_SIGNAL_FILE_PASS_SETTINGS_H
#define OMBREL_SIGNAL_FILE_PASS_SETTINGS_H

#include <cstddef>

struct ThreadSetting {
    int threads;         // 1 to SIGNAL_FILE_MAX_THREADS; 0 when invalid
    const char* invalid; // the text of an invalid OMBREL_THREADS, else null
};

// OMBREL_THREADS, a decimal number from 1 to 64 with optional blanks around
// it: that many. Unset or empty: the number of cores this process may run on (its
// affinity mask on Linux, the hardware's count elsewhere), at most 64, and 1
// when that cannot be known. Anything else (0, 65, -1, "abc", "4x") is
// invalid. 1 selects the sequential pass.
ThreadSetting signal_pass_threads() noexcept;

// The one line that refuses an invalid setting, with its line feed, into
// `text` (at most `size` bytes with the terminating zero; 160 suffice).
void thread_setting_message(char* text, std::size_t size, const char* invalid) noexcept;

// Bytes a worker is handed at a time (a block ends after a line feed, so it
// is rounded up to the end of a line). OMBREL_TEST_BLOCK_BYTES, a test
// setting, when it is a decimal number from 1 to 64 MiB; otherwise 256 KiB.
std::size_t signal_pass_block_bytes() noexcept;

#endif
