#include "link/frame_codec.h"

#include "base/console.h"

#include <cstring>

uint16_t crc16_x25(const uint8_t* data, size_t n)
{
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0x8408) : static_cast<uint16_t>(crc >> 1);
    }
    return static_cast<uint16_t>(~crc);
}

size_t build_text_message(uint8_t* out, uint16_t code, const char* text, size_t length)
{
    if (text == nullptr) length = 0;
    if (length > message_max_text) length = message_max_text;
    const uint16_t body = static_cast<uint16_t>(length + 2);
    out[0] = 0;
    out[1] = 0;
    out[2] = static_cast<uint8_t>(body & 0xFF);
    out[3] = static_cast<uint8_t>(body >> 8);
    out[4] = static_cast<uint8_t>(code & 0xFF);
    out[5] = static_cast<uint8_t>(code >> 8);
    if (length > 0) std::memcpy(out + message_header_size, text, length);
    return message_header_size + length;
}

static bool needs_escape(uint8_t b) { return b == frame_escape || b == frame_flag || b == 0x03; }

static size_t put_escaped(uint8_t* out, size_t pos, uint8_t b)
{
    if (needs_escape(b)) {
        out[pos++] = frame_escape;
        out[pos++] = static_cast<uint8_t>(b ^ 0x20);
    } else {
        out[pos++] = b;
    }
    return pos;
}

size_t frame_encode(const uint8_t* message, size_t n, uint8_t out[frame_buffer_size])
{
    const uint16_t crc = crc16_x25(message, n);
    size_t pos = 0;
    out[pos++] = frame_flag;
    // Below 510 an escaped pair still fits; from 507 on, CRC and flag may not.
    for (size_t i = 0; i < n && pos < 510; ++i) pos = put_escaped(out, pos, message[i]);
    if (pos >= 507) return 0;
    pos = put_escaped(out, pos, static_cast<uint8_t>(crc & 0xFF));
    pos = put_escaped(out, pos, static_cast<uint8_t>(crc >> 8));
    out[pos++] = frame_flag;
    return pos;
}

bool frame_assembler_push(frame_assembler& a, uint8_t byte)
{
    if (!a.inside) {
        if (byte == frame_flag) {
            a.inside = true;
            a.count = 0;
        }
        return false;
    }
    if (byte == frame_flag) {
        if (a.count == 0) return false;  // repeated flag: still opening
        a.inside = false;
        return true;
    }
    if (a.count < frame_buffer_size) a.buffer[a.count++] = byte;
    return false;
}

void frame_assembler_reset(frame_assembler& a)
{
    a.inside = false;
    a.count = 0;
}

size_t frame_decode(const uint8_t* in, size_t n, uint8_t* out, size_t out_size)
{
    if (n == 0 || out_size == 0) {
        console_message("PACKET LENGTH FAIL!\n");
        return 0;
    }
    const size_t limit = out_size < frame_buffer_size ? out_size : frame_buffer_size;
    size_t len = 0;
    for (size_t i = 0; i < n && len < limit; ++i) {
        uint8_t b = in[i];
        if (b == frame_escape && i + 1 < n) b = static_cast<uint8_t>(in[++i] ^ 0x20);
        out[len++] = b;
    }
    if (len < 4) {
        console_message("PACKET LENGTH FAIL!\n");
        return 0;
    }
    const uint16_t got = static_cast<uint16_t>(out[len - 2] | (out[len - 1] << 8));
    if (crc16_x25(out, len - 2) != got) return 0;
    return len - 2;
}
