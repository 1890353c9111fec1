/* Cost firmware: classifier_run between two markers, for the first
 * COST_SIGNALS EMG signals with a knowledge of N = 0 and with the EMG
 * knowledge (N = 23). tools/device_cost.sh counts the instructions QEMU
 * executes between the markers; an empty pair measures the call overhead. */
#include "classifier.h"
#include "device_inputs.h"

enum { COST_SIGNALS = 16 };

__attribute__((noinline)) void cost_begin(void) { __asm__ volatile(""); }
__attribute__((noinline)) void cost_end(void) { __asm__ volatile(""); }

static void measure(const float* knowledge, const float* signals)
{
    classifier_init(knowledge);
    for (int i = 0; i < COST_SIGNALS; ++i) {
        float probabilities[CLASS_COUNT];
        uint16_t class_id;
        cost_begin();
        classifier_run(signals + i * INPUT_LENGTH, probabilities, &class_id);
        cost_end();
    }
}

int main(void)
{
    cost_begin(); /* overhead: nothing between the markers */
    cost_end();
    const float* emg_signals = DEVICE_RUNS[0].signals;
    measure(DEVICE_RUNS[2].knowledge, emg_signals); /* n0 */
    measure(DEVICE_RUNS[0].knowledge, emg_signals); /* emg, N = 23 */
    return 0;
}
