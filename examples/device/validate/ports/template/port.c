/* The port for a board of your own: a Cortex-M4F (or M7) with a UART.
 * Copy this directory, fill in the UART (the register names below are
 * placeholders: take them from your part's reference manual or its vendor
 * header), set FLASH and RAM in memory.ld, and build with your part's
 * startup code (docs/device.md). The cycle counter is the core's own DWT
 * CYCCNT and needs no change. */
#include "port.h"

#include <stdint.h>

const char PORT_BOARD[] = "my board (fill in PORT_BOARD)";
const uint8_t PORT_COUNTER_UNIT = PORT_COUNTS_CYCLES;

/* The core clock after port_init, for the timeouts. */
#ifndef CORE_CLOCK_HZ
#define CORE_CLOCK_HZ 80000000u
#endif

/* Debug exception and monitor control, and the data watchpoint and trace
 * unit (Armv7-M architecture reference manual, C1.6 and C1.8). */
#define DEMCR (*(volatile uint32_t*)0xE000EDFCu)
#define DEMCR_TRCENA 0x01000000u
#define DWT_CTRL (*(volatile uint32_t*)0xE0001000u)
#define DWT_CTRL_CYCCNTENA 0x1u
#define DWT_CYCCNT (*(volatile uint32_t*)0xE0001004u)
/* The Cortex-M7 locks the DWT until this key is written (a Cortex-M4
 * ignores the write). */
#define DWT_LAR (*(volatile uint32_t*)0xE0001FB0u)
#define DWT_LAR_KEY 0xC5ACCE55u

#ifndef UART_CONFIGURED
#error "fill in the UART of your board below, then define UART_CONFIGURED"
/* Placeholders, so that the file compiles once UART_CONFIGURED is set and
 * shows the shape: a data register and a status register with a
 * "transmitter ready" and a "byte received" flag. */
#endif
#define UART_BASE 0x40000000u
#define UART_DATA (*(volatile uint32_t*)(UART_BASE + 0x0u))
#define UART_STATUS (*(volatile uint32_t*)(UART_BASE + 0x4u))
#define UART_STATUS_TX_READY 0x1u
#define UART_STATUS_RX_READY 0x2u

void port_init(void)
{
    /* Here: clocks, the UART's pins and its baud rate (115200, 8N1). */
    DEMCR |= DEMCR_TRCENA;
    DWT_LAR = DWT_LAR_KEY;
    DWT_CYCCNT = 0u;
    DWT_CTRL |= DWT_CTRL_CYCCNTENA;
}

void port_write_byte(uint8_t byte)
{
    while (!(UART_STATUS & UART_STATUS_TX_READY)) {
    }
    UART_DATA = byte;
}

uint32_t port_counter(void)
{
    return DWT_CYCCNT;
}

uint32_t port_counter_units(uint32_t difference)
{
    return difference;
}

bool port_read_byte(uint8_t* byte, uint32_t timeout_ms)
{
    /* Counted in slices of at most a second, since 2^32 cycles may pass in
     * less than a minute. */
    for (uint32_t left = timeout_ms; left > 0;) {
        const uint32_t slice = left < 1000u ? left : 1000u;
        const uint32_t limit = slice * (CORE_CLOCK_HZ / 1000u);
        const uint32_t start = DWT_CYCCNT;
        while (DWT_CYCCNT - start <= limit) {
            if (UART_STATUS & UART_STATUS_RX_READY) {
                *byte = (uint8_t)UART_DATA;
                return true;
            }
        }
        left -= slice;
    }
    return false;
}
