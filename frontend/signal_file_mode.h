#ifndef OMBREL_SIGNAL_FILE_MODE_H
#define OMBREL_SIGNAL_FILE_MODE_H

#include "command_line.h"

// The signal-file mode of the classification command, once the knowledge is
// attached: the signal-file component's outcome as the report or an error
// block.
int signal_file_mode(const CommandLine& line) noexcept;

#endif
