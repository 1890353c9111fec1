/* Footprint firmware: the smallest program that attaches a knowledge and
 * classifies one signal; with WITH_KNOWLEDGE_PASSES it also reads the
 * knowledge through the two FILE* passes (newlib-nano stdio, semihosted
 * files); with BARE it does nothing, the baseline of the other two. */
#include "classifier.h"

#include <stdio.h>

static float knowledge[152 + 69 * HIDDEN_CAPACITY]; /* the caller's buffer */
volatile float signal_values[INPUT_LENGTH];
volatile float result;

int main(void)
{
#ifndef BARE
#ifdef WITH_KNOWLEDGE_PASSES
    FILE* file = fopen("knowledge.bin", "rb");
    if (file == NULL) {
        return 1;
    }
    const int32_t count = knowledge_size(file);
    rewind(file);
    knowledge_load(file, knowledge, count);
    fclose(file);
#endif
    float input[INPUT_LENGTH];
    for (int i = 0; i < INPUT_LENGTH; ++i) {
        input[i] = signal_values[i];
    }
    float probabilities[CLASS_COUNT];
    uint16_t class_id = 0;
    if (classifier_init(knowledge) == STATUS_OK) {
        classifier_run(input, probabilities, &class_id);
        result = probabilities[0];
    }
#endif
    return 0;
}
