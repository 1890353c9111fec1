// The command-line program, without the process around it.
#ifndef OMBREL_DISPATCH_H
#define OMBREL_DISPATCH_H

// Runs one command and returns the exit status: 0 after a complete report,
// 1 after any error. Output stays in the writer until output_finish.
int emulator_main(int argc, const char* const* argv) noexcept;

#endif
