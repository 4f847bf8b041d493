#include "sim_bridge.h"

#include "link/platform/bridge_defs.h"

#include <cstring>

sim_bridge_state& sim_bridge()
{
    static sim_bridge_state state;
    return state;
}

void sim_bridge_reset() { sim_bridge() = sim_bridge_state{}; }

bool sim_bridge_config_matches_meter()
{
    const sim_bridge_state& b = sim_bridge();
    const uint8_t expected[bridge_config_report_size] = {bridge_report_uart_config, 0x00, 0x00, 0x96, 0x00,
                                                         bridge_parity_none, bridge_flow_none, bridge_data_bits_8,
                                                         bridge_stop_bits_short};
    return b.configured && std::memcmp(b.config, expected, sizeof expected) == 0;
}

void sim_bridge_send_raw(const uint8_t* bytes, size_t n)
{
    sim_bridge_state& b = sim_bridge();
    b.uart_tx.insert(b.uart_tx.end(), bytes, bytes + n);
}

void sim_bridge_send_message(const uint8_t* message, size_t n)
{
    sim_bridge_state& b = sim_bridge();
    uint16_t crc = crc16_x25(message, n);
    if (b.corrupt_next) {
        b.corrupt_next = false;
        crc ^= 0x0101;
    }
    // The meter frames like the program: escape 0x7D, 0x7E and 0x03.
    auto put = [&b](uint8_t x) {
        if (x == frame_escape || x == frame_flag || x == 0x03) {
            b.uart_tx.push_back(frame_escape);
            b.uart_tx.push_back(static_cast<uint8_t>(x ^ 0x20));
        } else {
            b.uart_tx.push_back(x);
        }
    };
    b.uart_tx.push_back(frame_flag);
    for (size_t i = 0; i < n; ++i) put(message[i]);
    put(static_cast<uint8_t>(crc & 0xFF));
    put(static_cast<uint8_t>(crc >> 8));
    b.uart_tx.push_back(frame_flag);
}

void sim_bridge_send_text(const std::string& text, uint16_t code)
{
    uint8_t message[message_header_size + message_max_text];
    const size_t n = build_text_message(message, code, text.data(), text.size());
    sim_bridge_send_message(message, n);
}

void sim_bridge_send_version(const char* ten_chars)
{
    uint8_t message[14] = {3, 0, 10, 0};
    std::memcpy(message + 4, ten_chars, strnlen(ten_chars, 10));
    sim_bridge_send_message(message, sizeof message);
}

void sim_bridge_send_ack(uint16_t value)
{
    const uint8_t message[6] = {4, 0, 2, 0, static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    sim_bridge_send_message(message, sizeof message);
}

// The meter's side of one complete frame from the program.
static void meter_take_frame()
{
    sim_bridge_state& b = sim_bridge();
    uint8_t message[frame_buffer_size];
    const size_t n = frame_decode(b.meter_rx.buffer, b.meter_rx.count, message, sizeof message);
    frame_assembler_reset(b.meter_rx);
    if (n == 0) {
        ++b.bad_frames;
        return;
    }
    b.messages.emplace_back(message, message + n);
    if (n < message_header_size || message[0] != 0) return;
    const uint16_t code = static_cast<uint16_t>(message[4] | (message[5] << 8));
    if (code != message_code_command) return;
    b.command_lines.emplace_back(reinterpret_cast<const char*>(message + message_header_size), n - message_header_size);
    if (b.acks_to_skip > 0) {
        --b.acks_to_skip;
        return;
    }
    if (b.auto_ack) sim_bridge_send_ack(b.ack_value);
}

void sim_bridge_uart_receive(const uint8_t* bytes, size_t n)
{
    sim_bridge_state& b = sim_bridge();
    for (size_t i = 0; i < n; ++i) {
        b.uart_rx.push_back(bytes[i]);
        // A UART at the wrong settings hears noise, not frames.
        if (!sim_bridge_config_matches_meter()) continue;
        if (frame_assembler_push(b.meter_rx, bytes[i])) meter_take_frame();
    }
}
