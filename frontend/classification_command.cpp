#include "classification_command.h"

#include "classifier.h"
#include "classifier_context.h"
#include "command_line.h"
#include "error_blocks.h"
#include "knowledge_file.h"
#include "report.h"
#include "signal_file_mode.h"

namespace {

int array_mode(const CommandLine& line, KnowledgeFile* knowledge, OutputWriter* out) noexcept
{
    Classification result{};
    (void)classifier_context_run(&knowledge->context, line.array_signal, result.probabilities, &result.class_id);
    ReportTally tally{};
    report_array_header(out);
    report_array_record(out, &tally, result);
    report_summary(out, tally);
    return 0;
}

int mode(const CommandLine& line, KnowledgeFile* knowledge, OutputWriter* out) noexcept
{
    switch (line.mode) {
    case ModeWord::SIGNAL_FILE:
        return signal_file_mode(line, *knowledge, out);
    case ModeWord::ARRAY:
        return array_mode(line, knowledge, out);
    case ModeWord::OTHER:
        break;
    }
    return print_error(out, ErrorBlock::MODE_MISSING);
}

} // namespace

int classification_command(const CommandLine& line, OutputWriter* out) noexcept
{
    if (!line.more_words) {
        return print_error(out, ErrorBlock::CLASSIFICATION_NO_WORDS);
    }
    if (!line.knowledge_option) {
        return print_error(out, ErrorBlock::KNOWLEDGE_OPTION_MISSING);
    }
    // The knowledge is checked before the mode word is looked at. The run
    // classifies through a context of its own over its own buffer, with the
    // bits of classifier_run (the library's process-wide record is shared
    // by every run of the process).
    KnowledgeFile knowledge;
    const int knowledge_status = knowledge_file_read(line.knowledge_path, &knowledge, out);
    if (knowledge_status != 0) {
        return knowledge_status;
    }
    const int status = mode(line, &knowledge, out);
    knowledge_file_free(&knowledge);
    return status;
}
