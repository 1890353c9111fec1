/* A firmware that classifies one EMG signal with the library and prints the
 * class: a starting point for a product. The knowledge is the EMG example's,
 * turned into C by
 *     python3 -m ombrel.knowledge export-c examples/emg/knowledge.bin --name emg_knowledge
 * so it lives in flash: classifier_init attaches it in place, read-only, and
 * the library's RAM is its own state record. Output goes through
 * semihosting (emit_line); on a board, write the line to a UART instead. */
#include "classifier.h"
#include "emg_knowledge.h"
#include "emit_line.h"

#include <stdint.h>

/* The first signal of examples/emg/signals.csv (a "Rock" gesture): on a
 * device, 64 samples from the sensor. */
static const float SIGNAL[INPUT_LENGTH] = {
    -114.0f, 7.0f,   4.0f,   -23.0f, 19.0f,  12.0f, -116.0f, 9.0f,   106.0f, -3.0f,  14.0f,
    24.0f,   -12.0f, -14.0f, 127.0f, 20.0f,  -25.0f, -4.0f,  -15.0f, -9.0f,  -16.0f, 5.0f,
    -28.0f,  37.0f,  -26.0f, 8.0f,   -1.0f,  3.0f,   -1.0f,  5.0f,   71.0f,  -28.0f, -21.0f,
    -9.0f,   -1.0f,  -6.0f,  16.0f,  0.0f,   5.0f,   -34.0f, 26.0f,  12.0f,  -4.0f,  1.0f,
    -11.0f,  -9.0f,  -90.0f, 2.0f,   17.0f,  19.0f,  0.0f,   7.0f,   -5.0f,  -17.0f, 3.0f,
    8.0f,    -15.0f, -17.0f, 7.0f,   0.0f,   7.0f,   -21.0f, -18.0f, -55.0f,
};

static const char* const CLASS_NAMES[CLASS_COUNT + 1] = {"unknown", "Scissors", "Rock", "Paper",
                                                         "NoSign"};

/* "class 2 (Rock), probability 99.9 %": the winner's probability in tenths
 * of a percent, rounded, without printf. */
static void print_class(uint16_t class_id, float probability)
{
    char line[64];
    char* out = line;
    const char* parts[] = {"class ", "", " (", CLASS_NAMES[class_id], "), probability "};
    for (unsigned p = 0; p < sizeof parts / sizeof parts[0]; ++p) {
        if (p == 1) {
            *out++ = (char)('0' + class_id);
        }
        for (const char* c = parts[p]; *c != '\0'; ++c) {
            *out++ = *c;
        }
    }
    const uint32_t tenths = (uint32_t)(probability * 1000.0f + 0.5f);
    if (tenths >= 100u) {
        if (tenths >= 1000u) {
            *out++ = '1';
        }
        *out++ = (char)('0' + tenths / 100u % 10u);
    }
    *out++ = (char)('0' + tenths / 10u % 10u);
    *out++ = '.';
    *out++ = (char)('0' + tenths % 10u);
    *out++ = ' ';
    *out++ = '%';
    *out = '\0';
    emit_line(line);
}

int main(void)
{
    if (classifier_init(emg_knowledge) != STATUS_OK) {
        emit_line("the knowledge was refused");
        return 1;
    }
    float probabilities[CLASS_COUNT];
    uint16_t class_id = 0;
    if (classifier_run(SIGNAL, probabilities, &class_id) != STATUS_OK || class_id == 0) {
        emit_line("no class");
        return 1;
    }
    print_class(class_id, probabilities[class_id - 1]);
    return 0;
}
