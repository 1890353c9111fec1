#include "knowledge_file.h"

#include "classifier.h"
#include "input_file.h"
#include "messages.h"
#include "output_writer.h"
#include "run_state.h"

#include <cstdio>
#include <cstdlib>

namespace {

void print_not_matching(LibraryStatus status) noexcept
{
    output_text("Error: a knowledge that do not match the library has been loaded ");
    // The status is shown as the unsigned 8-bit value the front end takes it as.
    output_int(static_cast<std::uint8_t>(status));
    output_text(" !\n");
}

} // namespace

bool load_knowledge_file(const char* path) noexcept
{
    bool empty = false;
    std::FILE* file = path != nullptr ? open_input_file(path, &empty) : nullptr;
    if (file == nullptr) {
        output_text("Error: could not open knowledge file !\n");
        output_text(MESSAGE_G7);
        return false;
    }
    if (empty) {
        std::fclose(file);
        output_text("Error: file is empty !\n");
        return false;
    }
    const std::int32_t float_count = knowledge_size(file);
    // An unusable knowledge (no unit count, or one the library cannot hold)
    // is refused before any allocation sized from it.
    if (float_count <= 0) {
        std::fclose(file);
        print_not_matching(STATUS_KNOWLEDGE_MISMATCH);
        return false;
    }
    float* knowledge = static_cast<float*>(std::calloc(static_cast<std::size_t>(float_count), sizeof(float)));
    if (knowledge == nullptr) {
        std::fclose(file);
        print_not_matching(STATUS_KNOWLEDGE_MISMATCH);
        return false;
    }
    std::free(run_state.knowledge);
    run_state.knowledge = knowledge;
    std::rewind(file);
    knowledge_load(file, knowledge, float_count);
    std::fclose(file);

    const LibraryStatus status = classifier_init(knowledge);
    if (static_cast<std::uint8_t>(status) != 0) {
        print_not_matching(status);
        return false;
    }
    return true;
}
