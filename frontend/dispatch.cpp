#include "classifier.h"
#include "emulator.h"
#include "messages.h"
#include "output_writer.h"

#include <cstring>

namespace {

int information_report() noexcept
{
    output_text("{\n\t\"lib_id\": \"");
    output_text(LIBRARY_ID);
    output_text("\",\n\t\"class_name\": [");
    for (int id = 1; id < CLASS_COUNT; ++id) {
        output_text("\"");
        output_text(CLASS_NAME_TABLE[id]);
        output_text("\", ");
    }
    output_text("\"");
    output_text(CLASS_NAME_TABLE[CLASS_COUNT]);
    output_text("\"]\n}\n");
    return 0;
}

} // namespace

int emulator_main(int argc, const char* const* argv) noexcept
{
    if (argc < 2) {
        output_text("Error: missing argument in Ombrel AI Classification call !\n");
        const char* const block[] = {MESSAGE_G1, MESSAGE_G2, MESSAGE_G3, MESSAGE_R1, MESSAGE_DOC, nullptr};
        print_lines(block);
        return 1;
    }
    if (std::strcmp(argv[1], "ombr_get_info") == 0) {
        if (argc > 2) {
            output_text("Error: too many arguments Ombrel AI library id call !\n");
            const char* const block[] = {MESSAGE_G4, MESSAGE_R1, MESSAGE_DOC, nullptr};
            print_lines(block);
            return 1;
        }
        return information_report();
    }
    if (std::strcmp(argv[1], "ombr_classification") == 0) {
        return classification_command(argc, argv);
    }
    output_text("Error ");
    output_text(argv[1]);
    output_text(" is not a valid function in Ombrel AI Classification !\n");
    const char* const block[] = {MESSAGE_G1, MESSAGE_G3, MESSAGE_R1, MESSAGE_DOC, nullptr};
    print_lines(block);
    return 1;
}
