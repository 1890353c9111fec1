/* Where the device test's lines go: semihosting on the device, stdout on the
 * desktop. `line` ends without a newline; the output adds it. */
#ifndef OMBREL_EMIT_LINE_H
#define OMBREL_EMIT_LINE_H

void emit_line(const char* line);

#endif
