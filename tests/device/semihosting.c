#include "semihosting.h"
#include "emit_line.h"

#include <stdint.h>

/* Operation numbers and the application-exit reason of the semihosting
 * interface (ARM DUI 0471, "Semihosting operations"). */
enum {
    SYS_WRITE0 = 0x04,
    SYS_EXIT = 0x18,
    SYS_EXIT_EXTENDED = 0x20,
    ADP_STOPPED_APPLICATION_EXIT = 0x20026
};

static uintptr_t semihosting_call(uintptr_t operation, const void* argument)
{
    register uintptr_t r0 __asm__("r0") = operation;
    register const void* r1 __asm__("r1") = argument;
    __asm__ volatile("bkpt 0xab" : "+r"(r0) : "r"(r1) : "memory");
    return r0;
}

void semihosting_write(const char* text)
{
    semihosting_call(SYS_WRITE0, text);
}

void semihosting_exit(int status)
{
    /* The extended call carries the exit status on a 32-bit target. */
    const uintptr_t block[2] = {ADP_STOPPED_APPLICATION_EXIT, (uintptr_t)status};
    semihosting_call(SYS_EXIT_EXTENDED, block);
    semihosting_call(SYS_EXIT, (const void*)(uintptr_t)ADP_STOPPED_APPLICATION_EXIT);
    for (;;) {
    }
}

void emit_line(const char* line)
{
    /* One call per line: text and newline together. */
    char buffer[128];
    unsigned n = 0;
    while (line[n] != '\0' && n < sizeof buffer - 2u) {
        buffer[n] = line[n];
        ++n;
    }
    buffer[n] = '\n';
    buffer[n + 1u] = '\0';
    semihosting_write(buffer);
}
