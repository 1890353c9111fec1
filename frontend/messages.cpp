#include "messages.h"

#include "output_writer.h"

const char* const MESSAGE_G1 = "Valid functions for Emulator call are:\n";
const char* const MESSAGE_G2 = "\tombr_get_info\n";
const char* const MESSAGE_G3 = "\tombr_classification\n";
const char* const MESSAGE_G4 = "Valid call is: ombr_get_info\n";
const char* const MESSAGE_G5 = "Valid Ombrel AI classification function calls are:\n";
const char* const MESSAGE_G6 = "Valid Ombrel AI classification function calls by file are:\n";
const char* const MESSAGE_G7 = "Check path of file and/or name of file is correct.\n";
const char* const MESSAGE_U1 =
    "\tombr_classification --knowledge_path path/knowledgefile --file path/testfile --begin line --end line\n";
const char* const MESSAGE_U2 = "\tombr_classification --knowledge_path path/knowledgefile --file path/testfile\n";
const char* const MESSAGE_U3 =
    "\tombr_classification --knowledge_path path/knowledgefile --array value1 value2 ... valueN "
    "(where value1 to valueN are the values of the input buffer)\n";
const char* const MESSAGE_R1 = "Refer to Ombrel AI Classification Emulator documentation for more details:\n";
const char* const MESSAGE_R2 = "Refer to Ombrel AI Classifier Emulator documentation for more details:\n";
// The project's own documentation; its README is the reference.
const char* const MESSAGE_DOC = "https://docs.ombrel.example/classification-emulator\n";

void print_lines(const char* const* lines) noexcept
{
    for (; *lines != nullptr; ++lines) {
        output_text(*lines);
    }
}
