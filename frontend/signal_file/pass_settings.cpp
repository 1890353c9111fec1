#include "signal_file/pass_settings.h"

#include "signal_file/signal_file.h"

#include <cstdio>
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

ThreadSetting signal_pass_threads() noexcept
{
    const char* text = std::getenv("OMBREL_THREADS");
    if (text != nullptr && *text != '\0') {
        const unsigned long chosen = setting("OMBREL_THREADS", SIGNAL_FILE_MAX_THREADS);
        return chosen != 0 ? ThreadSetting{static_cast<int>(chosen), nullptr} : ThreadSetting{0, text};
    }
    const int cores = usable_cores();
    return {cores < SIGNAL_FILE_MAX_THREADS ? cores : SIGNAL_FILE_MAX_THREADS, nullptr};
}

void thread_setting_message(char* text, std::size_t size, const char* invalid) noexcept
{
    (void)std::snprintf(text, size, "OMBREL_THREADS must be a whole number from 1 to %d, not \"%.40s\"\n",
                        SIGNAL_FILE_MAX_THREADS, invalid);
}

std::size_t signal_pass_block_bytes() noexcept
{
    const unsigned long chosen = setting("OMBREL_TEST_BLOCK_BYTES", 64ul << 20);
    return chosen != 0 ? chosen : std::size_t{256} << 10;
}
