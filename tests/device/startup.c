/* Reset and fault handling for the device test on an MPS2 AN386 board
 * (Cortex-M4 with FPU): enables the FPU, copies .data from flash, zeroes
 * .bss, runs main and exits through semihosting with its status. */
#include "semihosting.h"

#include <stdint.h>

int main(void);

/* Symbols of the linker script. */
extern uint32_t __data_load[], __data_start[], __data_end[];
extern uint32_t __bss_start[], __bss_end[];
extern uint32_t __stack_top[];

/* The copy and zeroing loops stay loops: turned into memcpy and memset
 * calls they would run C library code before its data exists and bring
 * memset into every firmware. */
void reset_handler(void) __attribute__((noreturn, optimize("no-tree-loop-distribute-patterns")));
void fault_handler(void) __attribute__((noreturn));

void reset_handler(void)
{
    /* CPACR (0xE000ED88): full access to coprocessors 10 and 11, the FPU.
     * The barriers make the next instruction see it. Until then no
     * floating-point instruction may run: this handler is integer code. */
    volatile uint32_t* const cpacr = (volatile uint32_t*)0xE000ED88u;
    *cpacr |= 0xFu << 20;
    __asm__ volatile("dsb\n\tisb" ::: "memory");

    for (uint32_t *from = __data_load, *to = __data_start; to < __data_end;) {
        *to++ = *from++;
    }
    for (uint32_t* to = __bss_start; to < __bss_end;) {
        *to++ = 0u;
    }
    semihosting_exit(main());
}

void fault_handler(void)
{
    semihosting_write("fault: the firmware took an exception\n");
    semihosting_exit(2);
}

/* Initial stack pointer, then the handlers: reset, NMI, hard fault, memory
 * management, bus and usage faults. No interrupt is enabled. */
__attribute__((section(".vectors"), used)) static const void* const vector_table[] = {
    __stack_top, (const void*)reset_handler, (const void*)fault_handler,
    (const void*)fault_handler, (const void*)fault_handler, (const void*)fault_handler,
    (const void*)fault_handler,
};
