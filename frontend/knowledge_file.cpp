#include "knowledge_file.h"

#include "classifier.h"
#include "error_blocks.h"
#include "signal_file/input_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The library keeps pointers into the buffer.
float* knowledge_buffer = nullptr;
std::int32_t knowledge_float_count = 0;

int print_not_matching(LibraryStatus status) noexcept
{
    // The status is shown as the unsigned 8-bit value the program takes it as.
    return print_error(ErrorBlock::KNOWLEDGE_MISMATCH, nullptr, static_cast<std::uint8_t>(status));
}

} // namespace

int load_knowledge_file(const char* path) noexcept
{
    std::uint64_t size = 0;
    std::FILE* file = path != nullptr ? open_input_file(path, &size) : nullptr;
    const bool empty = size == 0;
    if (file == nullptr) {
        return print_error(ErrorBlock::KNOWLEDGE_NOT_OPENED);
    }
    if (empty) {
        std::fclose(file);
        return print_error(ErrorBlock::FILE_EMPTY);
    }
    // The passes do not look at their reads; a read error, unlike an early
    // end of the file, is told by the stream's error flag, which the seek
    // between the passes clears. Such a file could not be read: it is
    // refused as one that could not be opened, never as a knowledge that
    // does not match.
    const std::int32_t float_count = knowledge_size(file);
    if (std::ferror(file) != 0) {
        std::fclose(file);
        return print_error(ErrorBlock::KNOWLEDGE_NOT_OPENED);
    }
    // An unusable knowledge (no unit count, or one the library cannot hold)
    // is refused before any allocation sized from it.
    if (float_count <= 0) {
        std::fclose(file);
        return print_not_matching(STATUS_KNOWLEDGE_MISMATCH);
    }
    float* knowledge = static_cast<float*>(std::calloc(static_cast<std::size_t>(float_count), sizeof(float)));
    if (knowledge == nullptr) {
        std::fclose(file);
        return print_not_matching(STATUS_KNOWLEDGE_MISMATCH);
    }
    std::free(knowledge_buffer);
    knowledge_buffer = knowledge;
    knowledge_float_count = float_count;
    if (std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        return print_error(ErrorBlock::KNOWLEDGE_NOT_OPENED);
    }
    knowledge_load(file, knowledge, float_count);
    const bool read_failed = std::ferror(file) != 0;
    std::fclose(file);
    if (read_failed) {
        return print_error(ErrorBlock::KNOWLEDGE_NOT_OPENED);
    }

    const LibraryStatus status = classifier_init(knowledge);
    if (static_cast<std::uint8_t>(status) != 0) {
        return print_not_matching(status);
    }
    return 0;
}

void knowledge_file_release() noexcept
{
    std::free(knowledge_buffer);
    knowledge_buffer = nullptr;
    knowledge_float_count = 0;
}

const float* knowledge_file_floats(std::int32_t* float_count) noexcept
{
    *float_count = knowledge_float_count;
    return knowledge_buffer;
}
