// The command-line program, without the process around it.
#ifndef OMBREL_DISPATCH_H
#define OMBREL_DISPATCH_H

#include "output_writer.h"

// Runs one command and returns the exit status: 0 after a complete report,
// 1 after any error. The report goes to `out` (started by the caller) and
// stays there until output_finish. Keeps no state outside its arguments:
// runs in several threads at once, each with its own writer, are
// independent.
int emulator_main(int argc, const char* const* argv, OutputWriter* out) noexcept;

#endif
