/* The port for the MPS2 AN386 board as QEMU emulates it
 * (qemu-system-arm -M mps2-an386): UART0, a CMSDK APB UART, and the
 * SysTick as the counter.
 *
 * QEMU has no cycle counter (no DWT CYCCNT). Run with -icount shift=7,
 * every instruction advances the virtual clock by 2^7 = 128 ns, and the
 * SysTick, clocked from the board's 25 MHz system clock (40 ns), advances
 * 3.2 times per instruction: a difference of d ticks is d / 3.2
 * instructions, exact after rounding since the tick phase errs by less
 * than one tick (0.3125 instructions). Without -icount the counts follow
 * the host's speed and mean nothing. */
#include "port.h"

#include <stdint.h>

const char PORT_BOARD[] = "MPS2 AN386 under QEMU (-icount shift=7)";
const uint8_t PORT_COUNTER_UNIT = PORT_COUNTS_INSTRUCTIONS;

/* CMSDK APB UART0 (QEMU hw/arm/mps2.c). */
#define UART0_BASE 0x40004000u
#define UART_DATA (*(volatile uint32_t*)(UART0_BASE + 0x00u))
#define UART_STATE (*(volatile uint32_t*)(UART0_BASE + 0x04u))
#define UART_CTRL (*(volatile uint32_t*)(UART0_BASE + 0x08u))
#define UART_BAUDDIV (*(volatile uint32_t*)(UART0_BASE + 0x10u))
#define UART_STATE_TX_FULL 0x1u
#define UART_STATE_RX_FULL 0x2u
#define UART_INTCLEAR (*(volatile uint32_t*)(UART0_BASE + 0x0Cu))
#define UART_CTRL_TX_RX_ENABLE 0x3u
#define UART_CTRL_RX_INTERRUPT 0x8u
#define UART_INTERRUPT_RX 0x2u
/* UART0's receive interrupt is the board's IRQ 0. */
#define UART0_RX_IRQ 0u

/* NVIC and SCB (Armv7-M architecture reference manual, B3.4 and B3.2). */
#define NVIC_ISER0 (*(volatile uint32_t*)0xE000E100u)
#define NVIC_ICPR0 (*(volatile uint32_t*)0xE000E280u)
#define SCB_ICSR (*(volatile uint32_t*)0xE000ED04u)
#define SCB_ICSR_PENDSTCLR 0x02000000u

/* SysTick (Armv7-M architecture reference manual, B3.3). */
#define SYST_CSR (*(volatile uint32_t*)0xE000E010u)
#define SYST_RVR (*(volatile uint32_t*)0xE000E014u)
#define SYST_CVR (*(volatile uint32_t*)0xE000E018u)
#define SYST_CSR_ENABLE_CORE_CLOCK_INTERRUPT 0x7u
#define SYST_CSR_COUNTFLAG 0x10000u
#define SYST_MAX 0xFFFFFFu

#define SYSTEM_CLOCK_HZ 25000000u
/* Under -icount the virtual clock runs far faster than the wall clock while
 * the firmware polls (tens of millions of instructions per second, each
 * 128 ns): a timeout is stretched so that it still spans the time the
 * emulator takes to pass the next byte on when the host is busy. */
#define TIMEOUT_STRETCH 40u

static uint32_t wraps; /* 2^24 ticks each */

/* The firmware waits for a byte asleep (WFI) rather than reading the
 * UART's registers back to back: QEMU takes its global lock for every read
 * of a device register, and a core polling without pause kept QEMU's I/O
 * thread, which needs that lock to pass the next byte on, from it for
 * seconds on a busy host. Interrupts stay masked (PRIMASK): the UART's
 * receive interrupt and the SysTick's wrap only end a WFI, no handler runs
 * (the vector table has none), and their pending bits are cleared by hand. */
void port_init(void)
{
    __asm__ volatile("cpsid i" ::: "memory");
    UART_BAUDDIV = SYSTEM_CLOCK_HZ / 115200u;
    UART_CTRL = UART_CTRL_TX_RX_ENABLE | UART_CTRL_RX_INTERRUPT;
    NVIC_ISER0 = 1u << UART0_RX_IRQ;
    SYST_RVR = SYST_MAX;
    SYST_CVR = 0u;
    SYST_CSR = SYST_CSR_ENABLE_CORE_CLOCK_INTERRUPT;
}

void port_write_byte(uint8_t byte)
{
    while (UART_STATE & UART_STATE_TX_FULL) {
    }
    UART_DATA = byte;
}

/* Ticks of the 25 MHz SysTick, extended to 32 bits by counting the wraps
 * COUNTFLAG reports (it clears on reading): exact while readings come less
 * than 2^24 ticks (5.2 million instructions) apart. */
uint32_t port_counter(void)
{
    uint32_t value = SYST_CVR;
    if (SYST_CSR & SYST_CSR_COUNTFLAG) {
        /* A wrap came before the flag was read: read the value after it. */
        ++wraps;
        value = SYST_CVR;
    }
    return (wraps << 24) + (SYST_MAX - value);
}

uint32_t port_counter_units(uint32_t difference)
{
    /* d / 3.2 = 5 d / 16, rounded to nearest. */
    return (uint32_t)(((uint64_t)difference * 5u + 8u) / 16u);
}

bool port_read_byte(uint8_t* byte, uint32_t timeout_ms)
{
    const uint64_t ticks = (uint64_t)timeout_ms * (SYSTEM_CLOCK_HZ / 1000u) * TIMEOUT_STRETCH;
    const uint32_t limit = ticks < UINT32_MAX ? (uint32_t)ticks : UINT32_MAX;
    const uint32_t start = port_counter();
    for (;;) {
        /* Cleared before the state is read: a byte that comes after the
         * read leaves them pending, and the WFI returns at once. */
        UART_INTCLEAR = UART_INTERRUPT_RX;
        NVIC_ICPR0 = 1u << UART0_RX_IRQ;
        SCB_ICSR = SCB_ICSR_PENDSTCLR;
        if (UART_STATE & UART_STATE_RX_FULL) {
            *byte = (uint8_t)UART_DATA;
            return true;
        }
        if (port_counter() - start > limit) {
            return false;
        }
        __asm__ volatile("wfi" ::: "memory");
    }
}
