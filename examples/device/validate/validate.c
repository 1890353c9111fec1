/* The validation firmware: the library and one knowledge in flash, driven
 * over the board's UART by `python3 -m ombrel.device validate`, which sends
 * signals and compares every answer with the library on the desktop.
 *
 * Frames (frame.h) from the host, payloads little-endian:
 *   'H'  u32 nonce: asks for the hello;
 *   'C'  u32 first, u16 count (1 to VALIDATE_WINDOW), count x 64 u32: the
 *        signals' float bits; `first` numbers the first of them.
 * Frames from the board:
 *   'h'  the hello (send_hello), at start-up with nonce 0 and in answer to
 *        'H' with its nonce: a second start-up hello means the board reset;
 *   'r'  u32 first, u16 count, then per signal: i32 status, u16 class id,
 *        4 x u32 probability bits, u32 counter units of classifier_run;
 *   'e'  u8 reason (FrameResult), u8 type, u16 length: a frame refused.
 * The board answers every frame it reads, with 'e' when it refuses one.
 * No dynamic memory: every buffer below is static. */
#include "classifier.h"
#include "frame.h"
#include "port.h"
#include "validate_knowledge.h"

#include <string.h>

#ifndef VALIDATE_WINDOW
#define VALIDATE_WINDOW 16 /* signals per frame: 4 KiB of receive buffer */
#endif
#ifndef VALIDATE_FLAGS
#define VALIDATE_FLAGS "(not given to the build)"
#endif
#ifdef __clang__
#define VALIDATE_COMPILER "clang " __clang_version__
#elif defined(__GNUC__)
#define VALIDATE_COMPILER "gcc " __VERSION__
#else
#define VALIDATE_COMPILER "unknown"
#endif

enum {
    PROTOCOL_VERSION = 1,
    SIGNAL_BYTES = 4 * INPUT_LENGTH,
    ANSWER_BYTES = 4 + 2 + 4 * CLASS_COUNT + 4,
    REQUEST_HEAD = 6, /* first, count */
};

_Static_assert(VALIDATE_WINDOW >= 1 && REQUEST_HEAD + VALIDATE_WINDOW * SIGNAL_BYTES <= 0xFFFF,
               "a window's frame must fit the 16-bit length");

static uint8_t request[REQUEST_HEAD + VALIDATE_WINDOW * SIGNAL_BYTES];
static uint8_t answer[REQUEST_HEAD + VALIDATE_WINDOW * ANSWER_BYTES];
/* Counter units of the timed bracket around a call that does nothing. */
static uint32_t counter_overhead;

static uint8_t* put_u16(uint8_t* to, uint32_t value)
{
    to[0] = (uint8_t)value;
    to[1] = (uint8_t)(value >> 8);
    return to + 2;
}

static uint8_t* put_u32(uint8_t* to, uint32_t value)
{
    return put_u16(put_u16(to, value & 0xFFFFu), value >> 16);
}

static uint32_t get_u32(const uint8_t* from)
{
    return (uint32_t)from[0] | (uint32_t)from[1] << 8 | (uint32_t)from[2] << 16 |
           (uint32_t)from[3] << 24;
}

/* A string as a length byte and its characters (at most 255). */
static uint8_t* put_text(uint8_t* to, const char* text)
{
    const size_t length = strlen(text) < 255u ? strlen(text) : 255u;
    *to++ = (uint8_t)length;
    memcpy(to, text, length);
    return to + length;
}

/* 'h': u32 nonce, u8 protocol version, u8 counter unit, u16 window,
 * u16 N, i32 classifier_init status, then five strings: library id,
 * the knowledge's SHA-256 as export-c records it, board, compiler, flags. */
static void send_hello(uint32_t nonce, LibraryStatus init_status)
{
    uint8_t* to = put_u32(answer, nonce);
    *to++ = PROTOCOL_VERSION;
    *to++ = PORT_COUNTER_UNIT;
    to = put_u16(to, VALIDATE_WINDOW);
    to = put_u16(to, VALIDATE_KNOWLEDGE_HIDDEN_UNITS);
    to = put_u32(to, (uint32_t)init_status);
    const char* const texts[] = {LIBRARY_ID, VALIDATE_KNOWLEDGE_SHA256, PORT_BOARD,
                                 VALIDATE_COMPILER, VALIDATE_FLAGS};
    for (unsigned i = 0; i < sizeof texts / sizeof texts[0]; ++i) {
        to = put_text(to, texts[i]);
    }
    frame_write('h', answer, (uint16_t)(to - answer));
}

static void send_refusal(FrameResult reason, uint8_t type, uint16_t length)
{
    uint8_t payload[4] = {(uint8_t)reason, type};
    put_u16(payload + 2, length);
    frame_write('e', payload, sizeof payload);
}

typedef LibraryStatus (*RunFunction)(const float*, float*, uint16_t*);

static LibraryStatus run_nothing(const float* input, float* probabilities, uint16_t* class_id)
{
    (void)input;
    (void)probabilities;
    (void)class_id;
    return STATUS_OK;
}

/* One call between two counter readings; returns the counter units. */
__attribute__((noinline)) static uint32_t timed(RunFunction run, const float* input,
                                                float* probabilities, uint16_t* class_id,
                                                LibraryStatus* status)
{
    const uint32_t start = port_counter();
    *status = run(input, probabilities, class_id);
    const uint32_t stop = port_counter();
    return port_counter_units(stop - start);
}

/* Classifies one signal given as 256 bytes and writes its answer. */
static uint8_t* classify_one(const uint8_t* bits, uint8_t* to)
{
    float signal[INPUT_LENGTH];
    float probabilities[CLASS_COUNT] = {0};
    uint16_t class_id = 0;
    LibraryStatus status = STATUS_OK;
    for (unsigned i = 0; i < INPUT_LENGTH; ++i) {
        const uint32_t word = get_u32(bits + 4 * i);
        memcpy(&signal[i], &word, sizeof word);
    }
    const uint32_t units = timed(classifier_run, signal, probabilities, &class_id, &status);
    to = put_u32(to, (uint32_t)status);
    to = put_u16(to, class_id);
    for (unsigned k = 0; k < CLASS_COUNT; ++k) {
        uint32_t word = 0;
        memcpy(&word, &probabilities[k], sizeof word);
        to = put_u32(to, word);
    }
    return put_u32(to, units > counter_overhead ? units - counter_overhead : 0u);
}

static void classify_window(uint16_t length)
{
    const uint16_t count = (uint16_t)(request[4] | request[5] << 8);
    if (count < 1 || count > VALIDATE_WINDOW || length != REQUEST_HEAD + count * SIGNAL_BYTES) {
        send_refusal(FRAME_BAD_LENGTH, 'C', length);
        return;
    }
    uint8_t* to = put_u16(put_u32(answer, get_u32(request)), count);
    for (uint16_t s = 0; s < count; ++s) {
        to = classify_one(request + REQUEST_HEAD + s * SIGNAL_BYTES, to);
    }
    frame_write('r', answer, (uint16_t)(to - answer));
}

int main(void)
{
    port_init();
    float probabilities[CLASS_COUNT];
    uint16_t class_id = 0;
    LibraryStatus ignored = STATUS_OK;
    counter_overhead = timed(run_nothing, NULL, probabilities, &class_id, &ignored);
    const LibraryStatus init_status = classifier_init(validate_knowledge);
    send_hello(0, init_status);
    for (;;) {
        uint8_t type = 0;
        uint16_t length = 0;
        const FrameResult result = frame_read(&type, request, sizeof request, &length);
        if (result != FRAME_OK) {
            send_refusal(result, type, length);
        } else if (type == 'H' && length == 4) {
            send_hello(get_u32(request), init_status);
        } else if (type == 'C' && length >= REQUEST_HEAD) {
            classify_window(length);
        } else {
            send_refusal(type == 'H' || type == 'C' ? FRAME_BAD_LENGTH : FRAME_UNKNOWN, type, length);
        }
    }
}
