/* Frames on the serial link, in both directions:
 *
 *   0xA5 0x5A  type (1 byte)  length (2 bytes, little-endian)  payload  CRC-32
 *
 * The CRC-32 (the IEEE 802.3 / zlib one, little-endian) covers the type,
 * the length and the payload. A receiver hunts for the two sync bytes, so
 * that noise before a frame (a boot loader's output) is skipped. */
#ifndef OMBREL_VALIDATE_FRAME_H
#define OMBREL_VALIDATE_FRAME_H

#include <stdint.h>

enum {
    FRAME_SYNC_0 = 0xA5,
    FRAME_SYNC_1 = 0x5A,
    /* Longest wait between two bytes of one frame. At 115,200 baud a byte
     * takes 87 us; the host writes a frame in one go. */
    FRAME_BYTE_TIMEOUT_MS = 100
};

/* Why a frame was refused: sent back in a bad-frame answer. */
typedef enum {
    FRAME_OK = 0,
    FRAME_BAD_CRC = 1,   /* the CRC does not match the bytes */
    FRAME_TOO_LONG = 2,  /* the length exceeds the receive buffer */
    FRAME_TRUNCATED = 3, /* a byte did not come within FRAME_BYTE_TIMEOUT_MS */
    FRAME_UNKNOWN = 4,   /* a type the board does not know */
    FRAME_BAD_LENGTH = 5 /* a length that does not fit the type */
} FrameResult;

/* The CRC-32 of `length` bytes, continuing from `crc` (0 to start). */
uint32_t frame_crc32(uint32_t crc, const uint8_t* bytes, uint32_t length);

/* Waits for a frame and reads it into payload[0 .. capacity-1]. Sets
 * *type and *length (as received, also when the frame is refused).
 * Returns FRAME_OK, FRAME_BAD_CRC, FRAME_TOO_LONG or FRAME_TRUNCATED. */
FrameResult frame_read(uint8_t* type, uint8_t* payload, uint16_t capacity, uint16_t* length);

/* Sends one frame. */
void frame_write(uint8_t type, const uint8_t* payload, uint16_t length);

#endif
