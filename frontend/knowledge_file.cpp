#include "knowledge_file.h"

#include "classifier.h"
#include "error_blocks.h"
#include "signal_file/input_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

// The knowledge the library's process-wide record points into (accepted or
// not), null before the first load_knowledge_file reaches classifier_init.
float* knowledge_buffer = nullptr;

// knowledge_size records the sizing pass's unit count in the library's
// process-wide record (a quirk of the device): runs reading knowledge files
// at once take turns for that one call.
std::mutex sizing_pass;

int print_not_matching(OutputWriter* out, LibraryStatus status) noexcept
{
    // The status is shown as the unsigned 8-bit value the program takes it as.
    return print_error(out, ErrorBlock::KNOWLEDGE_MISMATCH, nullptr, static_cast<std::uint8_t>(status));
}

std::int32_t sized(std::FILE* file) noexcept
{
    const std::lock_guard<std::mutex> lock(sizing_pass);
    return knowledge_size(file);
}

// Reads the knowledge that the sizing pass announced into a new buffer;
// null when the buffer cannot be had or the file cannot be read (*status then
// holds the exit status of the error block printed).
float* read_floats(std::FILE* file, std::int32_t float_count, int* status, OutputWriter* out) noexcept
{
    float* knowledge = static_cast<float*>(std::calloc(static_cast<std::size_t>(float_count), sizeof(float)));
    if (knowledge == nullptr) {
        *status = print_not_matching(out, STATUS_KNOWLEDGE_MISMATCH);
        return nullptr;
    }
    bool read_failed = std::fseek(file, 0, SEEK_SET) != 0;
    if (!read_failed) {
        knowledge_load(file, knowledge, float_count);
        read_failed = std::ferror(file) != 0;
    }
    if (read_failed) {
        std::free(knowledge);
        *status = print_error(out, ErrorBlock::KNOWLEDGE_NOT_OPENED);
        return nullptr;
    }
    return knowledge;
}

// Opens, sizes and reads the knowledge at `path` into a new buffer; null
// after printing the failure's block (*status: the exit status).
float* read_knowledge(const char* path, std::int32_t* float_count, int* status, OutputWriter* out) noexcept
{
    std::uint64_t size = 0;
    std::FILE* file = path != nullptr ? open_input_file(path, &size) : nullptr;
    if (file == nullptr) {
        *status = print_error(out, ErrorBlock::KNOWLEDGE_NOT_OPENED);
        return nullptr;
    }
    float* knowledge = nullptr;
    // The passes do not look at their reads; a read error, unlike an early
    // end of the file, is told by the stream's error flag, which the seek
    // between the passes clears. Such a file could not be read: it is
    // refused as one that could not be opened, never as a knowledge that
    // does not match.
    *float_count = size == 0 ? 0 : sized(file);
    if (size == 0) {
        *status = print_error(out, ErrorBlock::FILE_EMPTY);
    } else if (std::ferror(file) != 0) {
        *status = print_error(out, ErrorBlock::KNOWLEDGE_NOT_OPENED);
    } else if (*float_count <= 0) {
        // An unusable knowledge (no unit count, or one the library cannot
        // hold) is refused before any allocation sized from it.
        *status = print_not_matching(out, STATUS_KNOWLEDGE_MISMATCH);
    } else {
        knowledge = read_floats(file, *float_count, status, out);
    }
    std::fclose(file);
    return knowledge;
}

// A load that fails after the sizing pass, which has written the output
// layer's unit count: attaching the previous knowledge again restores that
// count, so the previous knowledge stays attached and usable (or refused, as
// it was).
void keep_previous_knowledge() noexcept
{
    if (knowledge_buffer != nullptr) {
        (void)classifier_init(knowledge_buffer);
    }
}

} // namespace

int knowledge_file_read(const char* path, KnowledgeFile* knowledge, OutputWriter* out) noexcept
{
    *knowledge = KnowledgeFile{};
    int status = 0;
    std::int32_t float_count = 0;
    float* floats = read_knowledge(path, &float_count, &status, out);
    if (floats == nullptr) {
        return status;
    }
    const LibraryStatus checked = classifier_context_init(&knowledge->context, floats, float_count);
    if (static_cast<std::uint8_t>(checked) != 0) {
        std::free(floats);
        return print_not_matching(out, checked);
    }
    knowledge->floats = floats;
    knowledge->float_count = float_count;
    return 0;
}

void knowledge_file_free(KnowledgeFile* knowledge) noexcept
{
    std::free(knowledge->floats);
    *knowledge = KnowledgeFile{};
}

// One transaction: the previous knowledge is freed only once the library
// points into the new one; until then every failure leaves the previous one
// attached.
int load_knowledge_file(const char* path, OutputWriter* out) noexcept
{
    int status = 0;
    std::int32_t float_count = 0;
    float* knowledge = read_knowledge(path, &float_count, &status, out);
    if (knowledge == nullptr) {
        keep_previous_knowledge();
        return status;
    }
    const LibraryStatus attached = classifier_init(knowledge);
    std::free(knowledge_buffer);
    knowledge_buffer = knowledge;
    if (static_cast<std::uint8_t>(attached) != 0) {
        return print_not_matching(out, attached);
    }
    return 0;
}

void knowledge_file_release() noexcept
{
    std::free(knowledge_buffer);
    knowledge_buffer = nullptr;
}
