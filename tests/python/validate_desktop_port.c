/* The validation firmware's port on the desktop, for
 * tests/python/test_validate_protocol.py: bytes from standard input and to
 * standard output. The end of the input stands for a timeout once, and
 * ends the program the second time (the firmware has answered every frame
 * by then). Output is flushed whenever the firmware reads. The counter
 * advances by one per reading. */
#include "port.h"

#include <stdio.h>
#include <stdlib.h>

const char PORT_BOARD[] = "desktop";
const uint8_t PORT_COUNTER_UNIT = PORT_COUNTS_CYCLES;

void port_init(void)
{
}

void port_write_byte(uint8_t byte)
{
    putchar(byte);
}

bool port_read_byte(uint8_t* byte, uint32_t timeout_ms)
{
    static int ends;
    (void)timeout_ms;
    /* What was written is sent before the firmware waits for more. */
    fflush(stdout);
    const int c = getchar();
    if (c == EOF) {
        if (++ends > 1) {
            exit(fflush(stdout) == 0 ? 0 : 1);
        }
        return false;
    }
    *byte = (uint8_t)c;
    return true;
}

uint32_t port_counter(void)
{
    static uint32_t count;
    return ++count;
}

uint32_t port_counter_units(uint32_t difference)
{
    return difference;
}
