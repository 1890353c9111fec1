// The command-line program, without the process around it.
#ifndef OMBREL_EMULATOR_H
#define OMBREL_EMULATOR_H

#include "command_line.h"

// Runs one command and returns the exit status: 0 after a complete report,
// 1 after any error. Output stays in the writer until output_finish.
int emulator_main(int argc, const char* const* argv) noexcept;

// The classification command, from its word 2 on.
int classification_command(const CommandLine& line) noexcept;

// The signal-file mode of the classification command, once the knowledge is
// attached.
int signal_file_mode(const CommandLine& line) noexcept;

#endif
