#include "signal_pass_settings.h"

#include <cstdlib>
#include <thread>

#if defined(__linux__)
#include <sched.h>
#endif

namespace {

// A decimal number in [1, max] with optional blanks around it, or 0.
unsigned long setting(const char* name, unsigned long max) noexcept
{
    const char* text = std::getenv(name);
    if (text == nullptr) {
        return 0;
    }
    while (*text == ' ' || *text == '\t') {
        ++text;
    }
    unsigned long value = 0;
    const char* digit = text;
    for (; *digit >= '0' && *digit <= '9'; ++digit) {
        value = value * 10 + static_cast<unsigned long>(*digit - '0');
        if (value > max) {
            return 0;
        }
    }
    if (digit == text) {
        return 0;
    }
    while (*digit == ' ' || *digit == '\t') {
        ++digit;
    }
    return *digit == '\0' ? value : 0;
}

int usable_cores() noexcept
{
#if defined(__linux__)
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) {
            return count;
        }
    }
#endif
    const unsigned count = std::thread::hardware_concurrency();
    return count == 0 ? 1 : static_cast<int>(count);
}

} // namespace

int signal_pass_thread_count() noexcept
{
    constexpr unsigned long max_threads = 64;
    const unsigned long chosen = setting("OMBREL_THREADS", max_threads);
    if (chosen != 0) {
        return static_cast<int>(chosen);
    }
    const int cores = usable_cores();
    return cores < static_cast<int>(max_threads) ? cores : static_cast<int>(max_threads);
}

std::size_t signal_pass_block_bytes() noexcept
{
    const unsigned long chosen = setting("OMBREL_TEST_BLOCK_BYTES", 64ul << 20);
    return chosen != 0 ? chosen : std::size_t{256} << 10;
}
