/* The port layer: all the validation firmware needs from a board. A board
 * is supported by one file that defines these functions (and a memory.ld
 * beside it giving the part's FLASH and RAM), with its own startup code.
 * ports/mps2-an386/ is the emulated board; ports/template/ is the file to
 * fill in for a real one.
 *
 * Nothing here allocates; none of these functions is called from an
 * interrupt. */
#ifndef OMBREL_VALIDATE_PORT_H
#define OMBREL_VALIDATE_PORT_H

#include <stdbool.h>
#include <stdint.h>

/* What port_counter counts, reported in the hello. */
enum {
    PORT_COUNTS_CYCLES = 0,      /* core clock cycles (DWT CYCCNT) */
    PORT_COUNTS_INSTRUCTIONS = 1 /* instructions executed (an emulator) */
};

/* The board's name and counter unit, sent in the hello. */
extern const char PORT_BOARD[];
extern const uint8_t PORT_COUNTER_UNIT;

/* Clocks, UART pins, baud rate and the counter: called once, first. */
void port_init(void);

/* Sends one byte; returns once the UART has taken it. */
void port_write_byte(uint8_t byte);

/* Waits up to about timeout_ms milliseconds for a byte. Returns true with
 * *byte set when one came, false when none did. Bytes must not be lost
 * while the firmware polls here: a UART without a FIFO is read at least
 * once per byte time. */
bool port_read_byte(uint8_t* byte, uint32_t timeout_ms);

/* A free-running count, wrapping modulo 2^32. The difference of two
 * readings less than 2^24 counts apart is exact. */
uint32_t port_counter(void);

/* A difference of two port_counter readings in PORT_COUNTER_UNIT units. */
uint32_t port_counter_units(uint32_t difference);

#endif
