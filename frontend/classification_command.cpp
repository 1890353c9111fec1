#include "classifier.h"
#include "emulator.h"
#include "knowledge_file.h"
#include "messages.h"
#include "number_array_word.h"
#include "output_writer.h"
#include "report.h"
#include "run_state.h"

#include <cstring>

namespace {

// Word 5 onward: at most INPUT_LENGTH values; slots without a word keep their zero.
int array_mode(int argc, const char* const* argv) noexcept
{
    RunState& run = run_state;
    for (int slot = 0; slot < INPUT_LENGTH && 5 + slot < argc; ++slot) {
        run.input[slot] = array_word_value(argv[5 + slot]);
    }
    classifier_run(run.input, run.probabilities, &run.class_id);
    report_array_header();
    report_record(-1, true);
    report_summary();
    return 0;
}

} // namespace

int classification_command(int argc, const char* const* argv) noexcept
{
    if (argc == 2) {
        output_text("Error: missing argument in Ombrel AI classification function call !\n");
        const char* const block[] = {MESSAGE_G5, MESSAGE_U1, MESSAGE_U2, MESSAGE_U3, MESSAGE_R2, MESSAGE_DOC, nullptr};
        print_lines(block);
        return 1;
    }
    if (std::strcmp(argv[2], "--knowledge_path") != 0) {
        output_text("Error: missing or not valid argument in Ombrel AI classification function call !\n");
        const char* const block[] = {MESSAGE_G6, MESSAGE_U1, MESSAGE_U2, MESSAGE_U3, MESSAGE_R1, MESSAGE_DOC, nullptr};
        print_lines(block);
        return 1;
    }
    if (!load_knowledge_file(argc > 3 ? argv[3] : nullptr)) {
        return 1;
    }
    const char* mode = argc > 4 ? argv[4] : "";
    if (std::strcmp(mode, "--file") == 0) {
        return signal_file_mode(argc, argv);
    }
    if (std::strcmp(mode, "--array") == 0) {
        return array_mode(argc, argv);
    }
    output_text("Error: missing argument in Ombrel AI classification function call !\n");
    const char* const block[] = {MESSAGE_U1, MESSAGE_U2, MESSAGE_U3, MESSAGE_R1, MESSAGE_DOC, nullptr};
    print_lines(block);
    return 1;
}
