#include "signal_file/line_feeds.h"

#include "signal_file/input_file.h"

#include <sys/stat.h>

#include <cstdlib>
#include <memory>

namespace {

// Large reads; the count loop compiles to a vectorised byte compare.
constexpr std::size_t COUNT_BLOCK = std::size_t{256} << 10;
// Used when the large block cannot be had.
constexpr std::size_t SMALL_BLOCK = std::size_t{4} << 10;

bool same_file(std::FILE* a, std::FILE* b) noexcept
{
#if defined(_WIN32)
    struct _stat64 first;
    struct _stat64 second;
    return _fstat64(_fileno(a), &first) == 0 && _fstat64(_fileno(b), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
#else
    struct stat first;
    struct stat second;
    return fstat(fileno(a), &first) == 0 && fstat(fileno(b), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
#endif
}

} // namespace

LineCountOutcome count_stream_line_feeds_through(std::FILE* file, std::uint64_t size, char* block,
                                                 std::size_t block_size, std::int64_t* count,
                                                 const std::atomic<bool>* stop) noexcept
{
    std::uint64_t left = size;
    while (left > 0) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
            return LineCountOutcome::STOPPED;
        }
        const std::size_t want = left < block_size ? static_cast<std::size_t>(left) : block_size;
        const std::size_t got = std::fread(block, 1, want, file);
        *count += count_line_feeds_in(block, got);
        left -= got;
        if (got < want) {
            return std::ferror(file) != 0 ? LineCountOutcome::READ_FAILED : LineCountOutcome::SHRANK;
        }
    }
    return LineCountOutcome::COUNTED;
}

LineCountOutcome count_stream_line_feeds(std::FILE* file, std::uint64_t size, std::int64_t* count,
                                         const std::atomic<bool>* stop) noexcept
{
    const std::unique_ptr<char, void (*)(void*)> large(static_cast<char*>(std::malloc(COUNT_BLOCK)), std::free);
    char small[SMALL_BLOCK];
    return large ? count_stream_line_feeds_through(file, size, large.get(), COUNT_BLOCK, count, stop)
                 : count_stream_line_feeds_through(file, size, small, SMALL_BLOCK, count, stop);
}

LineCount count_file_line_feeds(const char* path, std::FILE* opened, std::uint64_t size,
                                const std::atomic<bool>* stop) noexcept
{
    std::FILE* file = open_regular_file(path);
    if (file == nullptr || !same_file(file, opened)) {
        if (file != nullptr) {
            std::fclose(file);
        }
        return {LineCountOutcome::NOT_OPENED, 0};
    }
    std::int64_t count = 0;
    const LineCountOutcome outcome = count_stream_line_feeds(file, size, &count, stop);
    std::fclose(file);
    return {outcome, outcome != LineCountOutcome::COUNTED ? 0 : count > INT32_MAX ? INT32_MAX : count};
}
