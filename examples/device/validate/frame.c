#include "frame.h"

#include "port.h"

#include <stdbool.h>

/* The reflected polynomial 0xEDB88320 four bits at a time: entry i is the
 * CRC register after shifting in the nibble i (64 bytes of flash instead of
 * the byte table's 1 KiB; a few instructions per byte more). */
static const uint32_t NIBBLE_TABLE[16] = {
    0x00000000u, 0x1DB71064u, 0x3B6E20C8u, 0x26D930ACu, 0x76DC4190u, 0x6B6B51F4u,
    0x4DB26158u, 0x5005713Cu, 0xEDB88320u, 0xF00F9344u, 0xD6D6A3E8u, 0xCB61B38Cu,
    0x9B64C2B0u, 0x86D3D2D4u, 0xA00AE278u, 0xBDBDF21Cu,
};

static uint32_t crc_byte(uint32_t register_bits, uint8_t byte)
{
    register_bits ^= byte;
    register_bits = (register_bits >> 4) ^ NIBBLE_TABLE[register_bits & 0xFu];
    return (register_bits >> 4) ^ NIBBLE_TABLE[register_bits & 0xFu];
}

uint32_t frame_crc32(uint32_t crc, const uint8_t* bytes, uint32_t length)
{
    uint32_t register_bits = ~crc;
    for (uint32_t i = 0; i < length; ++i) {
        register_bits = crc_byte(register_bits, bytes[i]);
    }
    return ~register_bits;
}

/* Reads `count` bytes, each within FRAME_BYTE_TIMEOUT_MS of the last. */
static bool read_bytes(uint8_t* to, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        if (!port_read_byte(&to[i], FRAME_BYTE_TIMEOUT_MS)) {
            return false;
        }
    }
    return true;
}

/* Waits, without limit, for the two sync bytes in a row. */
static void hunt_sync(void)
{
    uint8_t previous = 0;
    for (;;) {
        uint8_t byte = 0;
        if (!port_read_byte(&byte, FRAME_BYTE_TIMEOUT_MS)) {
            previous = 0;
            continue;
        }
        if (previous == FRAME_SYNC_0 && byte == FRAME_SYNC_1) {
            return;
        }
        previous = byte;
    }
}

FrameResult frame_read(uint8_t* type, uint8_t* payload, uint16_t capacity, uint16_t* length)
{
    uint8_t header[3];
    uint8_t crc_bytes[4];
    hunt_sync();
    *type = 0;
    *length = 0;
    if (!read_bytes(header, sizeof header)) {
        return FRAME_TRUNCATED;
    }
    *type = header[0];
    *length = (uint16_t)(header[1] | header[2] << 8);
    if (*length > capacity) {
        return FRAME_TOO_LONG;
    }
    if (!read_bytes(payload, *length) || !read_bytes(crc_bytes, sizeof crc_bytes)) {
        return FRAME_TRUNCATED;
    }
    const uint32_t received = (uint32_t)crc_bytes[0] | (uint32_t)crc_bytes[1] << 8 |
                              (uint32_t)crc_bytes[2] << 16 | (uint32_t)crc_bytes[3] << 24;
    const uint32_t crc = frame_crc32(frame_crc32(0, header, sizeof header), payload, *length);
    return crc == received ? FRAME_OK : FRAME_BAD_CRC;
}

void frame_write(uint8_t type, const uint8_t* payload, uint16_t length)
{
    const uint8_t header[5] = {FRAME_SYNC_0, FRAME_SYNC_1, type, (uint8_t)length,
                               (uint8_t)(length >> 8)};
    const uint32_t crc = frame_crc32(frame_crc32(0, header + 2, 3), payload, length);
    for (unsigned i = 0; i < sizeof header; ++i) {
        port_write_byte(header[i]);
    }
    for (uint32_t i = 0; i < length; ++i) {
        port_write_byte(payload[i]);
    }
    for (unsigned shift = 0; shift < 32; shift += 8) {
        port_write_byte((uint8_t)(crc >> shift));
    }
}
