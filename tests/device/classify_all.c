/* The device test's program, the same source on the device and on the
 * desktop: attaches every run's knowledge and classifies every signal,
 * printing one line per call with the status, the class id and the bits of
 * the four probabilities, so that the two outputs compare as text. */
#include "classifier.h"
#include "device_inputs.h"
#include "emit_line.h"

#include <stdint.h>
#include <string.h>

static char* put_text(char* out, const char* text)
{
    while (*text != '\0') {
        *out++ = *text++;
    }
    return out;
}

static char* put_decimal(char* out, uint32_t value)
{
    char digits[10];
    int count = 0;
    do {
        digits[count++] = (char)('0' + value % 10u);
        value /= 10u;
    } while (value != 0u);
    while (count > 0) {
        *out++ = digits[--count];
    }
    return out;
}

static char* put_bits(char* out, float value)
{
    uint32_t word;
    memcpy(&word, &value, sizeof word);
    for (int shift = 28; shift >= 0; shift -= 4) {
        *out++ = "0123456789abcdef"[(word >> shift) & 0xFu];
    }
    return out;
}

int main(void)
{
    /* "NAME 4294967295 -2147483648 65535" and four " xxxxxxxx". */
    char line[96];
    for (uint32_t r = 0; r < DEVICE_RUN_COUNT; ++r) {
        const DeviceRun* run = &DEVICE_RUNS[r];
        const LibraryStatus init = classifier_init(run->knowledge);
        char* out = put_text(line, run->name);
        out = put_text(out, " init ");
        out = put_decimal(out, (uint32_t)init);
        *out = '\0';
        emit_line(line);
        for (uint32_t i = 0; i < run->signal_count; ++i) {
            float probabilities[CLASS_COUNT] = {0.0f, 0.0f, 0.0f, 0.0f};
            uint16_t class_id = 0;
            const LibraryStatus status =
                classifier_run(run->signals + (size_t)i * INPUT_LENGTH, probabilities, &class_id);
            out = put_text(line, run->name);
            *out++ = ' ';
            out = put_decimal(out, i);
            *out++ = ' ';
            out = put_decimal(out, (uint32_t)status);
            *out++ = ' ';
            out = put_decimal(out, class_id);
            for (int k = 0; k < CLASS_COUNT; ++k) {
                *out++ = ' ';
                out = put_bits(out, probabilities[k]);
            }
            *out = '\0';
            emit_line(line);
        }
    }
    return 0;
}
