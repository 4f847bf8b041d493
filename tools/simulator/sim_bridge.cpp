#include "sim_bridge.h"

#include "link/command_channel.h"
#include "link/platform/bridge_defs.h"

#include <chrono>
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

static double bridge_now()
{
    sim_bridge_state& b = sim_bridge();
    if (!b.real_clock) return b.clock_ms;
    using namespace std::chrono;
    const double now = duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
    if (b.real_start_ms < 0) b.real_start_ms = now;
    return now - b.real_start_ms;
}

// The time the meter acts at while it takes in a byte that arrived earlier;
// negative otherwise (then it is now).
static double acting_at = -1;

static double meter_now() { return acting_at >= 0 ? acting_at : bridge_now(); }

// Bytes from the meter's UART: in the bridge's receive FIFO at once, or
// after their time on the wire when paced.
static void uart_send(const uint8_t* bytes, size_t n)
{
    sim_bridge_state& b = sim_bridge();
    if (b.paced) sim_wire_put(b.to_program, std::string(bytes, bytes + n), sim_kind_baud(sim_kind::m900), meter_now());
    else b.uart_tx.insert(b.uart_tx.end(), bytes, bytes + n);
}

void sim_bridge_send_raw(const uint8_t* bytes, size_t n) { uart_send(bytes, n); }

void sim_bridge_send_message(const uint8_t* message, size_t n)
{
    sim_bridge_state& b = sim_bridge();
    uint16_t crc = crc16_x25(message, n);
    if (b.corrupt_next) {
        b.corrupt_next = false;
        crc ^= 0x0101;
    }
    // The meter frames like the program: escape 0x7D, 0x7E and 0x03.
    std::vector<uint8_t> frame{frame_flag};
    auto put = [&frame](uint8_t x) {
        if (x == frame_escape || x == frame_flag || x == 0x03) {
            frame.push_back(frame_escape);
            frame.push_back(static_cast<uint8_t>(x ^ 0x20));
        } else {
            frame.push_back(x);
        }
    };
    for (size_t i = 0; i < n; ++i) put(message[i]);
    put(static_cast<uint8_t>(crc & 0xFF));
    put(static_cast<uint8_t>(crc >> 8));
    frame.push_back(frame_flag);
    uart_send(frame.data(), frame.size());
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
    if (code == message_code_connect && !b.version.empty()) sim_bridge_send_version(b.version.c_str());
    if (code != message_code_command) return;
    const std::string line(reinterpret_cast<const char*>(message + message_header_size), n - message_header_size);
    b.command_lines.push_back(line);
    bool ack = b.auto_ack;
    if (b.acks_to_skip > 0) {
        --b.acks_to_skip;
        ack = false;
    } else if (!b.skip_ack_for.empty() && line.compare(0, b.skip_ack_for.size(), b.skip_ack_for) == 0) {
        b.skip_ack_for.clear();
        ack = false;
    }
    if (ack) sim_bridge_send_ack(b.ack_value);
    sim_meter_receive(b.meter, line, meter_now());
}

// The meter's lines due at `at_ms`, framed.
static void meter_act(double at_ms)
{
    sim_bridge_state& b = sim_bridge();
    for (const sim_meter_output& out : sim_meter_take(b.meter, at_ms)) {
        if (out.noise) {
            uart_send(reinterpret_cast<const uint8_t*>(out.bytes.data()), out.bytes.size());
            continue;
        }
        if (out.bad_frame) b.corrupt_next = true;
        sim_bridge_send_text(out.bytes);
    }
}

static void uart_receive(const uint8_t* bytes, size_t n)
{
    sim_bridge_state& b = sim_bridge();
    for (size_t i = 0; i < n; ++i) {
        b.uart_rx.push_back(bytes[i]);
        // A UART at the wrong settings hears noise, not frames.
        if (!sim_bridge_config_matches_meter()) continue;
        if (frame_assembler_push(b.meter_rx, bytes[i])) meter_take_frame();
    }
}

void sim_bridge_uart_write(const uint8_t* bytes, size_t n)
{
    sim_bridge_state& b = sim_bridge();
    if (b.paced) sim_wire_put(b.to_meter, std::string(bytes, bytes + n), sim_kind_baud(sim_kind::m900), bridge_now());
    else uart_receive(bytes, n);
    sim_bridge_step();
}

void sim_bridge_step()
{
    sim_bridge_state& b = sim_bridge();
    const double now = bridge_now();
    std::vector<double> times;
    const std::string arrived = sim_wire_take(b.to_meter, now, &times);
    for (size_t i = 0; i < arrived.size(); ++i) {
        acting_at = times[i];
        uart_receive(reinterpret_cast<const uint8_t*>(arrived.data() + i), 1);
        meter_act(times[i]);
    }
    acting_at = -1;
    meter_act(now);
    const std::string due = sim_wire_take(b.to_program, now);
    b.uart_tx.insert(b.uart_tx.end(), due.begin(), due.end());
}

void sim_bridge_advance(unsigned ms)
{
    sim_bridge().clock_ms += ms;
    sim_bridge_step();
}

void sim_bridge_set_version(const std::string& text)
{
    sim_bridge_state& b = sim_bridge();
    b.version = text.substr(0, 10);
    // The meter knows what the program will make of its version text.
    b.meter.version = parse_device_version(reinterpret_cast<const uint8_t*>(b.version.data()), b.version.size());
    b.meter.acks = b.meter.version >= 1.12001f;
}
