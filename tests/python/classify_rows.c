/* The plain C loop over the library: classifies raw float32 rows with
 * classifier_run, the process-wide call, one row after the other.
 *
 *   classify_rows KNOWLEDGE ROWS.f32 OUT [REPEATS [context]]
 *
 * ROWS.f32: n * 64 native float32. OUT: n * 4 probabilities (float32) then n
 * class ids (one byte each). Prints the fastest of REPEATS (default 1) timed
 * passes of the loop alone, in seconds. With "context", the loop calls
 * classifier_context_run on a context of its own instead. The reference of the Python
 * binding's bits and of its speed. */
#define _POSIX_C_SOURCE 199309L
#include "classifier.h"
#include "classifier_context.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + 1e-9 * (double)t.tv_nsec;
}

static long file_size(FILE* f)
{
    fseek(f, 0, SEEK_END);
    long size = ftell(f);
    rewind(f);
    return size;
}

int main(int argc, char** argv)
{
    if (argc < 4) {
        fputs("usage: classify_rows KNOWLEDGE ROWS.f32 OUT [REPEATS]\n", stderr);
        return 2;
    }
    FILE* kf = fopen(argv[1], "rb");
    FILE* rf = fopen(argv[2], "rb");
    if (kf == NULL || rf == NULL) {
        fputs("cannot open the knowledge or the rows\n", stderr);
        return 1;
    }
    int32_t count = knowledge_size(kf);
    float* knowledge = calloc(count > 0 ? (size_t)count : 1, sizeof(float));
    rewind(kf);
    knowledge_load(kf, knowledge, count);
    if (count <= 0 || classifier_init(knowledge) != STATUS_OK) {
        fputs("knowledge refused\n", stderr);
        return 1;
    }
    size_t n = (size_t)file_size(rf) / (INPUT_LENGTH * sizeof(float));
    float* rows = malloc(n * INPUT_LENGTH * sizeof(float) + 1);
    float* probabilities = malloc(n * CLASS_COUNT * sizeof(float) + 1);
    unsigned char* ids = malloc(n + 1);
    if (fread(rows, sizeof(float) * INPUT_LENGTH, n, rf) != n) {
        fputs("short read of the rows\n", stderr);
        return 1;
    }
    int repeats = argc > 4 ? atoi(argv[4]) : 1;
    int use_context = argc > 5 && strcmp(argv[5], "context") == 0;
    static ClassifierContext context;
    if (classifier_context_init(&context, knowledge, count) != STATUS_OK) {
        fputs("knowledge refused by the context\n", stderr);
        return 1;
    }
    double best = 1e300;
    for (int r = 0; r < repeats; ++r) {
        double start = now();
        for (size_t i = 0; i < n; ++i) {
            uint16_t class_id = 0;
            if (use_context) {
                classifier_context_run(&context, rows + i * INPUT_LENGTH, probabilities + i * CLASS_COUNT,
                                       &class_id);
            } else {
                classifier_run(rows + i * INPUT_LENGTH, probabilities + i * CLASS_COUNT, &class_id);
            }
            ids[i] = (unsigned char)class_id;
        }
        double elapsed = now() - start;
        best = elapsed < best ? elapsed : best;
    }
    FILE* out = fopen(argv[3], "wb");
    if (out == NULL || fwrite(probabilities, sizeof(float) * CLASS_COUNT, n, out) != n ||
        fwrite(ids, 1, n, out) != n || fclose(out) != 0) {
        fputs("cannot write the results\n", stderr);
        return 1;
    }
    printf("%.6f\n", best);
    return 0;
}
