// The command-line program, without the process around it.
#ifndef OMBREL_EMULATOR_H
#define OMBREL_EMULATOR_H

// Runs one command and returns the exit status: 0 after a complete report,
// 1 after any error. Output stays in the writer until output_finish.
int emulator_main(int argc, const char* const* argv) noexcept;

// The classification command; argv[1] is its command word.
int classification_command(int argc, const char* const* argv) noexcept;

// The signal-file mode of the classification command, once the knowledge is
// attached and argv[4] is "--file".
int signal_file_mode(int argc, const char* const* argv) noexcept;

#endif
