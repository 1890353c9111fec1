#include "dispatch.h"

#include "classification_command.h"
#include "classifier.h"
#include "command_line.h"
#include "error_blocks.h"
#include "output_writer.h"

namespace {

int information_report(OutputWriter* out) noexcept
{
    output_text(out, "{\n\t\"lib_id\": \"");
    output_text(out, LIBRARY_ID);
    output_text(out, "\",\n\t\"class_name\": [");
    for (int id = 1; id < CLASS_COUNT; ++id) {
        output_text(out, "\"");
        output_text(out, CLASS_NAME_TABLE[id]);
        output_text(out, "\", ");
    }
    output_text(out, "\"");
    output_text(out, CLASS_NAME_TABLE[CLASS_COUNT]);
    output_text(out, "\"]\n}\n");
    return 0;
}

} // namespace

int emulator_main(int argc, const char* const* argv, OutputWriter* out) noexcept
{
    const CommandLine line = read_command_line(argc, argv);
    switch (line.command) {
    case CommandWord::MISSING:
        return print_error(out, ErrorBlock::NO_COMMAND);
    case CommandWord::INFORMATION:
        return line.more_words ? print_error(out, ErrorBlock::INFORMATION_EXTRA_WORDS) : information_report(out);
    case CommandWord::CLASSIFICATION:
        return classification_command(line, out);
    case CommandWord::UNKNOWN:
        break;
    }
    return print_error(out, ErrorBlock::UNKNOWN_COMMAND, line.command_word);
}
