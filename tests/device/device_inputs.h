/* The device test's inputs, written by generate_inputs.py. */
#ifndef OMBREL_DEVICE_INPUTS_H
#define OMBREL_DEVICE_INPUTS_H

#include <stdint.h>

/* One knowledge and the signals classified with it. */
typedef struct {
    const char* name;
    const float* knowledge;
    const float* signals; /* signal_count signals of INPUT_LENGTH floats */
    uint32_t signal_count;
} DeviceRun;

extern const DeviceRun DEVICE_RUNS[];
extern const uint32_t DEVICE_RUN_COUNT;

#endif
