/* A C11 program that sees only the public header: the status gate before any
 * knowledge, then one classification with a knowledge built in memory, by
 * the process-wide call and by a re-entrant context. */
#include "classifier.h"
#include "classifier_context.h"

#include <stdio.h>
#include <string.h>

int main(void)
{
    static float knowledge[152]; /* no hidden unit */
    float input[INPUT_LENGTH] = {0};
    float probabilities[CLASS_COUNT] = {7.0f, 7.0f, 7.0f, 7.0f};
    uint16_t class_id = 9;

    if (classifier_run(input, probabilities, &class_id) != STATUS_INIT_NOT_CALLED || class_id != 9 ||
        probabilities[0] != 7.0f) {
        puts("the status gate let a call through before classifier_init");
        return 1;
    }
    for (int i = 64; i < 128; ++i) {
        knowledge[i] = 1.0f;
    }
    knowledge[129 + 1] = 50.0f; /* output bias of class 2 */
    memcpy(&knowledge[133], EXPECTED_CONFIGURATION, sizeof EXPECTED_CONFIGURATION);
    if (classifier_init(knowledge) != STATUS_OK) {
        puts("classifier_init refused a matching knowledge");
        return 1;
    }
    if (classifier_run(input, probabilities, &class_id) != STATUS_OK || class_id != 2 ||
        probabilities[1] != 1.0f) {
        printf("unexpected class %u\n", (unsigned)class_id);
        return 1;
    }
    {
        ClassifierContext context;
        float again[CLASS_COUNT];
        uint16_t again_id = 0;
        if (classifier_context_init(&context, knowledge, 152) != STATUS_OK ||
            classifier_context_run(&context, input, again, &again_id) != STATUS_OK || again_id != 2 ||
            memcmp(again, probabilities, sizeof again) != 0) {
            puts("the re-entrant context differs from classifier_run");
            return 1;
        }
    }
    if (strlen(LIBRARY_ID) != 24 || strcmp(CLASS_NAME_TABLE[2], "Rock") != 0) {
        puts("compiled tables differ");
        return 1;
    }
    puts("classified as Rock");
    return 0;
}
