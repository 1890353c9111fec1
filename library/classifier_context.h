/*
 * Ombrel AI classification library: re-entrant classification.
 *
 * A ClassifierContext is a caller-owned record that holds the views of one
 * checked knowledge and its own working buffers. Unlike classifier_init and
 * classifier_run, which share one process-wide record, the operations here
 * touch only the context they are given (and read the knowledge): any number
 * of threads may classify at once, each with its own context, or several
 * contexts over the same knowledge. A context is ~700 bytes and needs no
 * teardown. Results are bit for bit those of classifier_run with the same
 * knowledge attached.
 *
 * Compiles as C11 and as C++. The fields are the library's: read them only
 * through these operations.
 */
#ifndef OMBREL_CLASSIFIER_CONTEXT_H
#define OMBREL_CLASSIFIER_CONTEXT_H

#include "classifier.h"

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ClassifierContext {
    LibraryStatus status;          /* what classifier_context_init returned */
    int32_t unit_count;            /* N */
    const float* means;            /* INPUT_LENGTH floats */
    const float* scales;           /* INPUT_LENGTH floats */
    const float* hidden_weights;   /* 64*N, input-major */
    const float* hidden_biases;    /* N */
    const float* output_weights;   /* 4*N, unit-major */
    const float* output_biases;    /* CLASS_COUNT */
    float standardised[INPUT_LENGTH];
    float features[INPUT_LENGTH];
    float hidden[HIDDEN_CAPACITY];
} ClassifierContext;

/* One classification, stage by stage. */
typedef struct ClassifierTrace {
    float standardised[INPUT_LENGTH];  /* (input - means) * scales */
    int32_t unit_count;                /* N: hidden[0 .. N-1] are set */
    float hidden[HIDDEN_CAPACITY];     /* tanh activations */
    float scores[CLASS_COUNT];         /* output layer, before the soft-max */
    float probabilities[CLASS_COUNT];
    uint16_t class_id;                 /* 1 to CLASS_COUNT */
} ClassifierTrace;

/*
 * Checks `knowledge` (float_count floats: a whole knowledge as its file holds
 * it; floats past 152 + 69*N are not read) and points `context` into it,
 * without copying it, as classifier_init attaches a knowledge (the same
 * routine). The knowledge must stay alive and unchanged while the context is
 * used; it may lie in read-only memory.
 * Reads the knowledge; writes only *context. Never allocates.
 * Returns, and stores in the context:
 *   STATUS_OK                 usable unit count, float_count covers the
 *                             whole knowledge, configuration block equal to
 *                             the expected one (compared as classifier_init
 *                             compares it);
 *   STATUS_KNOWLEDGE_MISMATCH otherwise: fewer than 129 floats, an unusable
 *                             stored unit count, fewer floats than the unit
 *                             count needs, or a configuration value that
 *                             differs. Nothing is read past float_count;
 *   STATUS_SELF_TEST_WARNING  the floating-point self-test failed (replaces
 *                             either of the above).
 */
LibraryStatus classifier_context_init(ClassifierContext* context, const float* knowledge,
                                      int32_t float_count);

/*
 * Classifies one signal, as classifier_run does: reads input[0 ..
 * INPUT_LENGTH-1], writes probabilities[0 .. CLASS_COUNT-1], *class_id and
 * the context's working buffers. Returns the context's status; classifies
 * only when it is STATUS_OK or STATUS_SELF_TEST_WARNING with a knowledge
 * attached, and otherwise touches nothing. Pointers are not checked.
 */
LibraryStatus classifier_context_run(ClassifierContext* context, const float* input,
                                     float* probabilities, uint16_t* class_id);

/*
 * Classifies `count` signals, each as classifier_context_run classifies it
 * alone, bit for bit: signal s is input[s*INPUT_LENGTH .. +INPUT_LENGTH-1],
 * its probabilities go to probabilities[s*CLASS_COUNT .. +CLASS_COUNT-1]
 * and its class id to class_ids[s]. Several signals run side by side (one
 * per vector lane, each sum in its own signal's order), which makes a
 * signal several times cheaper than a call per signal. The context's
 * working buffers are not used; the context is only read, so threads may
 * share it here. Same status gate: a refusal reads no signal and writes no
 * output; count 0 writes nothing. Never allocates. Pointers are not
 * checked; the output arrays must not overlap the input.
 */
LibraryStatus classifier_context_run_batch(const ClassifierContext* context, const float* input,
                                           size_t count, float* probabilities, uint16_t* class_ids);

/*
 * Classifies one signal as classifier_context_run does and keeps every
 * stage in *trace (hidden entries from N on are set to 0). Same status gate:
 * a refusal leaves *trace untouched.
 */
LibraryStatus classifier_context_trace(ClassifierContext* context, const float* input,
                                       ClassifierTrace* trace);

#ifdef __cplusplus
}
#endif

#endif /* OMBREL_CLASSIFIER_CONTEXT_H */
