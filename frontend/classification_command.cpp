#include "classification_command.h"

#include "classifier.h"
#include "command_line.h"
#include "error_blocks.h"
#include "knowledge_file.h"
#include "report.h"
#include "signal_file_mode.h"

namespace {

int array_mode(const CommandLine& line) noexcept
{
    Classification result{};
    (void)classifier_run(line.array_signal, result.probabilities, &result.class_id);
    ReportTally tally{};
    report_array_header();
    report_array_record(&tally, result);
    report_summary(tally);
    return 0;
}

} // namespace

int classification_command(const CommandLine& line) noexcept
{
    if (!line.more_words) {
        return print_error(ErrorBlock::CLASSIFICATION_NO_WORDS);
    }
    if (!line.knowledge_option) {
        return print_error(ErrorBlock::KNOWLEDGE_OPTION_MISSING);
    }
    // The knowledge is attached before the mode word is looked at.
    const int knowledge_status = load_knowledge_file(line.knowledge_path);
    if (knowledge_status != 0) {
        return knowledge_status;
    }
    switch (line.mode) {
    case ModeWord::SIGNAL_FILE:
        return signal_file_mode(line);
    case ModeWord::ARRAY:
        return array_mode(line);
    case ModeWord::OTHER:
        break;
    }
    return print_error(ErrorBlock::MODE_MISSING);
}
