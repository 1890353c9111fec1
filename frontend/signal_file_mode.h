#ifndef OMBREL_SIGNAL_FILE_MODE_H
#define OMBREL_SIGNAL_FILE_MODE_H

#include "command_line.h"
#include "knowledge_file.h"
#include "output_writer.h"

// The signal-file mode of the classification command, once the knowledge is
// read: the signal-file component's outcome as the report or an error
// block on `out`.
int signal_file_mode(const CommandLine& line, const KnowledgeFile& knowledge, OutputWriter* out) noexcept;

#endif
