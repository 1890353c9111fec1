/* ARM semihosting through the debugger or emulator (BKPT 0xAB in Thumb
 * state): console output and exit, with no C library. */
#ifndef OMBREL_SEMIHOSTING_H
#define OMBREL_SEMIHOSTING_H

/* Writes a NUL-terminated string to the host's console. */
void semihosting_write(const char* text);

/* Ends the run; the emulator exits with `status` (0 success). */
void semihosting_exit(int status) __attribute__((noreturn));

#endif
