// Framing of the bridge carrier: kind-0 messages, CRC-16/X.25, 0x7D escapes
// between 0x7E flags, and the byte-wise assembler for received frames.
// Pure data work: no I/O, no toolkit.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t frame_buffer_size = 512;
constexpr size_t message_max_text = 255;
constexpr size_t message_header_size = 6;  // kind, length, code
// Message kinds (the first 16 bits of a message).
constexpr uint16_t message_kind_text = 0;
constexpr uint16_t message_kind_version = 3;
constexpr uint16_t message_kind_ack = 4;
// Codes of kind-0 messages the program sends.
constexpr uint16_t message_code_connect = 8;
constexpr uint16_t message_code_command = 94;
constexpr uint8_t frame_flag = 0x7E;
constexpr uint8_t frame_escape = 0x7D;

uint16_t crc16_x25(const uint8_t* data, size_t n);

// Kind-0 message: kind 0, length = text length + 2, code, text. Text beyond
// 255 bytes is cut; a null text gives an empty one. `out` holds at least
// message_header_size + message_max_text bytes. Returns the message length.
size_t build_text_message(uint8_t* out, uint16_t code, const char* text, size_t length);

// Encodes a message into a frame of at most frame_buffer_size bytes.
// Returns the frame length, 0 when the message does not fit.
size_t frame_encode(const uint8_t* message, size_t n, uint8_t out[frame_buffer_size]);

struct frame_assembler {
    bool inside = false;
    size_t count = 0;
    uint8_t buffer[frame_buffer_size] = {};
};

// Feeds one byte; true when a frame (escaped bytes between flags) is complete.
bool frame_assembler_push(frame_assembler& a, uint8_t byte);
void frame_assembler_reset(frame_assembler& a);

// Unescapes a gathered frame into `out` (at most frame_buffer_size bytes are
// used) and checks its CRC. Returns the message length without the CRC, or 0
// for a bad frame ("PACKET LENGTH FAIL!\n" on the console when too short).
size_t frame_decode(const uint8_t* in, size_t n, uint8_t* out, size_t out_size);
