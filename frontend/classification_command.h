#ifndef OMBREL_CLASSIFICATION_COMMAND_H
#define OMBREL_CLASSIFICATION_COMMAND_H

#include "command_line.h"
#include "output_writer.h"

// The classification command, from its word 2 on.
int classification_command(const CommandLine& line, OutputWriter* out) noexcept;

#endif
