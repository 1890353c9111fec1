/* classify_c KNOWLEDGE V1 ... V64: loads a knowledge file, classifies one
 * signal and prints "<class id> <class name> <p1> <p2> <p3> <p4>" (%.2f).
 * Exits 1 when the knowledge is refused or an argument is missing. */
#include <ombrel/classifier.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv)
{
    float input[INPUT_LENGTH];
    float probabilities[CLASS_COUNT];
    uint16_t class_id = 0;

    if (argc != 2 + INPUT_LENGTH) {
        fprintf(stderr, "usage: %s KNOWLEDGE V1 ... V%d\n", argv[0], INPUT_LENGTH);
        return 1;
    }
    for (int i = 0; i < INPUT_LENGTH; ++i) {
        input[i] = strtof(argv[2 + i], NULL);
    }
    FILE* file = fopen(argv[1], "rb");
    if (file == NULL) {
        return 1;
    }
    int32_t count = knowledge_size(file);
    float* knowledge = count > 0 ? calloc((size_t)count, sizeof *knowledge) : NULL;
    if (knowledge != NULL) {
        rewind(file);
        knowledge_load(file, knowledge, count);
    }
    fclose(file);
    if (knowledge == NULL || classifier_init(knowledge) != STATUS_OK ||
        classifier_run(input, probabilities, &class_id) != STATUS_OK) {
        return 1;
    }
    printf("%u %s", (unsigned)class_id, CLASS_NAME_TABLE[class_id]);
    for (int k = 0; k < CLASS_COUNT; ++k) {
        printf(" %.2f", (double)probabilities[k]);
    }
    printf("\n");
    free(knowledge);
    return 0;
}
