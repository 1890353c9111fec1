/*
 * Ombrel AI classification library: the main public header. Its companion
 * classifier_context.h adds re-entrant classification over the same engine.
 *
 * The library classifies signals of INPUT_LENGTH values into CLASS_COUNT
 * classes with a small network whose parameters (the "knowledge") the caller
 * loads into a buffer of 32-bit floats and attaches with classifier_init.
 *
 * Every operation here:
 *   - works on one process-wide state record, statically initialised;
 *   - never allocates, never prints, never does input or output except the
 *     two knowledge passes, which read only the stream they are given;
 *   - is not re-entrant: calls must never overlap (one thread only).
 *
 * This header compiles as C11 and as C++; a C program needs only this header,
 * the static archive libombrel_classifier.a and the C mathematics library.
 */
#ifndef OMBREL_CLASSIFIER_H
#define OMBREL_CLASSIFIER_H

#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Compiled configuration. */
enum {
    INPUT_LENGTH = 64,         /* values per signal */
    CLASS_COUNT = 4,           /* classes, ids 1 to CLASS_COUNT */
    HIDDEN_CAPACITY = 23,      /* most hidden units a knowledge may have */
    CONFIGURATION_LENGTH = 19, /* floats of a knowledge's configuration block */
    SOFTMAX_FACTOR = 5         /* multiplier of score differences in the soft-max */
};

/* Status codes: a signed 32-bit value, returned and kept in the state. */
typedef int32_t LibraryStatus;
enum {
    STATUS_OK = 0,                  /* knowledge attached and accepted */
    STATUS_INIT_NOT_CALLED = 123,   /* value at program start */
    STATUS_KNOWLEDGE_MISMATCH = 125,/* knowledge refused */
    STATUS_SELF_TEST_WARNING = 129  /* floating-point self-test failed */
};

/* 24 lowercase hexadecimal characters and a NUL. */
extern const char LIBRARY_ID[25];

/* Class names by class id: 0 "unknown", then the CLASS_COUNT classes. */
extern const char* const CLASS_NAME_TABLE[CLASS_COUNT + 1];

/* The values a knowledge's configuration block must hold, in order. */
extern const float EXPECTED_CONFIGURATION[CONFIGURATION_LENGTH];

/*
 * Knowledge file: little-endian IEEE-754 32-bit floats, in this order:
 * 64 means, 64 scales, the unit count N (a float), 64*N hidden weights
 * (input-major), N hidden biases, 4*N output weights (unit-major),
 * 4 output biases, CONFIGURATION_LENGTH configuration values:
 * 152 + 69*N floats in all.
 *
 * A stored unit count s is usable when it is a number with -1 < s < 24;
 * N is s truncated toward zero (0 to HIDDEN_CAPACITY).
 */

/*
 * Sizing pass. Reads, one 4-byte item per read, the 128 standardisation
 * floats and the stored unit count from `file` (an open binary stream at its
 * start) and leaves the stream just after the unit count.
 * Returns the number of floats of the whole knowledge, 152 + 69*N, and
 * stores N in the library state, where the output layer reads it: once a
 * knowledge is attached, classifier_init must follow any further
 * knowledge_size before the next classifier_run. Returns 0 (and stores 0) when the stream
 * ends before the unit count or the unit count is not usable: such a
 * knowledge must be refused, and no buffer should be sized from it.
 */
int32_t knowledge_size(FILE* file);

/*
 * Load pass. Reads `float_count` floats from `file` (an open binary stream at
 * its start), one 4-byte item per read, into knowledge[0 .. float_count-1].
 * `knowledge` must hold `float_count` floats, all zero: when the stream ends
 * early, the floats not read whole keep their zero. Reads nothing when
 * `float_count` is 0 or less. No status: a short file is caught by
 * classifier_init through its configuration block.
 */
void knowledge_load(FILE* file, float* knowledge, int32_t float_count);

/*
 * Attaches a loaded knowledge. `knowledge` must hold the 152 + 69*N floats
 * that knowledge_size announced for it, and must stay alive and unchanged
 * for every later classifier_run: the library keeps pointers into it and
 * never copies it.
 * Reads the knowledge; writes the library state (views, geometry, status).
 * Returns, and stores as the status:
 *   STATUS_OK                 configuration block equal to the expected one;
 *   STATUS_KNOWLEDGE_MISMATCH a configuration value differs (compared as
 *                             floats: -0.0 equals 0, NaN never matches), or
 *                             the stored unit count is not usable (then no
 *                             view is set and nothing past it is read);
 *   STATUS_SELF_TEST_WARNING  the floating-point self-test failed (replaces
 *                             either of the above).
 * May be called again with another knowledge; each call replaces the last.
 */
LibraryStatus classifier_init(const float* knowledge);

/*
 * Classifies one signal. Reads input[0 .. INPUT_LENGTH-1] and the attached
 * knowledge; writes probabilities[0 .. CLASS_COUNT-1] (probability of class
 * k+1 at index k) and *class_id (1 to CLASS_COUNT: the first highest
 * probability), and the library's own working buffers.
 * Returns the status left by classifier_init. Classifies only when it is
 * STATUS_OK or STATUS_SELF_TEST_WARNING and a knowledge is attached; any
 * other status (before any classifier_init: STATUS_INIT_NOT_CALLED), or no
 * attached knowledge (its unit count was refused), returns the status at
 * once, with the input unread and the outputs untouched. Pointers are not
 * checked.
 */
LibraryStatus classifier_run(const float* input, float* probabilities, uint16_t* class_id);

#ifdef __cplusplus
}
#endif

#endif /* OMBREL_CLASSIFIER_H */
