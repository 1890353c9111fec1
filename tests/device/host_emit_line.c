/* The desktop side of the device test: lines to standard output. */
#include "emit_line.h"

#include <stdio.h>

void emit_line(const char* line)
{
    fputs(line, stdout);
    fputc('\n', stdout);
}
