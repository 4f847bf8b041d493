#include "link/command_channel.h"

#include "base/console.h"
#include "link/frame_codec.h"
#include "link/link_object.h"
#include "link/link_state.h"
#include "link/platform/bridge_defs.h"
#include "link/platform/hid_uart.h"
#include "link/platform/serial_port.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "base/numbers.h"

namespace {

constexpr size_t command_buffer_size = 256;
constexpr size_t com_line_size = 1024;
constexpr int clear_to_send_checks = 101;

// The COM line being assembled survives between polls, so a line whose end
// has not arrived yet is completed by a later poll.
char com_line[com_line_size];
size_t com_line_length = 0;
bool com_line_overflow = false;

// The receive side's frame assembler.
frame_assembler frame_rx;

// Lines are handed on one at a time: a line that arrives while the handler
// of an earlier one runs (its pumps and waits read the carrier) waits here
// and follows it, so no handler ever runs inside another.
std::deque<std::string> pending_lines;
bool delivering = false;
// Inside the poll the toolkit does not run the poll again: the poll reads on
// by itself only at its outermost level.
int poll_depth = 0;
// Command frames sent: a poll that sent one (the acknowledgement of a line)
// reads on while the device answers.
unsigned commands_sent = 0;

// The shortest frame the device sends (an acknowledgement: flag, 6 bytes,
// CRC, flag) on the bridge's UART, 10 bits a byte: the soonest the answer to
// a command, or the next frame, can have arrived. Rounded up to whole ms.
constexpr unsigned shortest_frame_bytes = 10;
constexpr unsigned frame_read_ms = (shortest_frame_bytes * 10 * 1000 + bridge_meter_baud - 1) / bridge_meter_baud;
// How long the poll waits for the acknowledgement of its command before it
// leaves the rest to its next run.
constexpr unsigned acknowledgement_reads = hid_poll_interval_ms / frame_read_ms;

// A write the bridge failed (not one that only timed out) means it is gone.
uint32_t hid_write_bytes(const uint8_t* bytes, uint32_t n)
{
    uint32_t written = 0;
    if (the_link().hid_device == nullptr) return 0;
    const HID_UART_STATUS status = HidUart_Write(the_link().hid_device, bytes, n, &written);
    if (status != HID_UART_SUCCESS && status != HID_UART_WRITE_TIMED_OUT) link_carrier_failed();
    return written;
}

void receive_com()
{
    for (;;) {
        unsigned char byte;
        const long got = serial_read(the_link().com_handle, &byte, 1);
        if (got < 0 && the_link().com_handle != -1) link_carrier_failed();
        if (got != 1) return;
        if (byte == 0) continue;
        const bool end = byte == '\r' || byte == '\n';
        if (com_line_overflow) {
            // Resynchronise at the next line end.
            if (end) {
                com_line_overflow = false;
                com_line_length = 0;
            }
            continue;
        }
        if (com_line_length >= com_line_size - 1) {
            console_message("Dropped a received line longer than %d characters...\n",
                            static_cast<int>(com_line_size - 1));
            com_line_length = 0;
            com_line_overflow = !end;
            continue;
        }
        com_line[com_line_length++] = static_cast<char>(byte);
        if (end) {
            com_line[com_line_length] = '\0';
            com_line_length = 0;
            deliver_line(com_line);
        }
    }
}

void handle_message(const uint8_t* msg, size_t len)
{
    // The kind is the message's first 16 bits, little-endian.
    const uint16_t kind = static_cast<uint16_t>(msg[0] | (len > 1 ? msg[1] << 8 : 0));
    switch (kind) {
    case message_kind_text: {
        if (len < message_header_size) return;
        char text[frame_buffer_size + 1];
        const size_t n = len - message_header_size;
        std::memcpy(text, msg + message_header_size, n);
        text[n] = '\0';
        deliver_line(text);
        break;
    }
    case message_kind_version:
        the_link().device_version = parse_device_version(len > 4 ? msg + 4 : msg, len > 4 ? len - 4 : 0);
        console_message("--->>> Version: %6.4f\n", static_cast<double>(the_link().device_version));
        break;
    case message_kind_ack: {
        const int value = len >= 6 ? (msg[4] | (msg[5] << 8)) : 0;
        console_message("---> Ack: %d\n", value);
        the_link().clear_to_send = 1;
        break;
    }
    default: break;
    }
}

// Every frame waiting in the bridge; true when any byte came.
bool receive_hid()
{
    for (bool took = false;; took = true) {
        uint8_t byte = 0;
        uint32_t got = 0;
        if (the_link().hid_device == nullptr) return took;
        if (HidUart_Read(the_link().hid_device, &byte, 1, &got) != HID_UART_SUCCESS) {
            link_carrier_failed();
            return took;
        }
        if (got == 0) return took;
        if (!frame_assembler_push(byte)) continue;
        uint8_t msg[frame_buffer_size];
        const size_t len = frame_decode(frame_rx.buffer, frame_rx.count, msg, sizeof msg);
        frame_assembler_reset();
        if (len == 0) {
            console_message("Got a bad frame...\n");
            continue;
        }
        handle_message(msg, len);
    }
}

// A poll that acknowledged a line (or sent any command) does not wait for its
// next run: the device answers at once, and a firmware that waits for each
// acknowledgement sends its next line only then. The bridge is read again as
// soon as the next frame can have arrived, for as long as bytes keep coming
// or the acknowledgement of the command is awaited; the first read that finds
// nothing more to wait for ends the poll.
void receive_hid_until_idle()
{
    const unsigned sent_before = commands_sent;
    bool took = receive_hid();
    unsigned quiet = 0;
    while (poll_depth == 1 && the_link().hid_connected && !the_link().upload_active && commands_sent != sent_before) {
        if (took) quiet = 0;
        else if (the_link().clear_to_send || ++quiet > acknowledgement_reads) break;
        // A frame on its way goes on arriving byte by byte: read again soon.
        the_link().calls.sleep_ms(took ? 1 : frame_read_ms);
        took = receive_hid();
    }
}

}  // namespace

bool frame_assembler_push(uint8_t byte) { return frame_assembler_push(frame_rx, byte); }
void frame_assembler_reset() { frame_assembler_reset(frame_rx); }

float parse_device_version(const uint8_t* chars, size_t n)
{
    char source[11] = {};
    for (size_t i = 0; i < 10 && i < n; ++i) source[i] = static_cast<char>(chars[i]);
    char text[8] = {};
    std::memcpy(text, source, 4);
    if (source[4] == '.') {
        text[4] = source[5];
        text[5] = source[6];
    }
    // Only a decimal number counts: "inf", "nan" or noise read as 0.
    double value = 0.0;
    if (!read_decimal(text, &value) || text[0] < '0' || text[0] > '9') return 0.0f;
    return static_cast<float>(value);
}

void com_line_reset()
{
    com_line_length = 0;
    com_line_overflow = false;
}

void command_channel_reset()
{
    com_line_reset();
    frame_assembler_reset();
    pending_lines.clear();
    delivering = false;
    poll_depth = 0;
    commands_sent = 0;
}

int send_frame_message(uint16_t code, const char* text, size_t length)
{
    if (text == nullptr) length = 0;
    uint8_t message[message_header_size + message_max_text];
    const size_t n = build_text_message(message, code, text, length);
    // The receive side keeps its partly received frame: the bridge carries
    // both directions at once, and dropping it would lose a device line.
    uint8_t frame[frame_buffer_size];
    const size_t frame_length = frame_encode(message, n, frame);

    const uint8_t preamble[2] = {frame_flag, frame_flag};
    hid_write_bytes(preamble, sizeof preamble);
    the_link().calls.sleep_ms(10);
    uint32_t total = 0;
    for (size_t i = 0; i < frame_length; ++i) total += hid_write_bytes(frame + i, 1);

    const int shown = static_cast<int>(n - message_header_size);
    console_message("---> Outgoing: %.*s\n", shown, shown > 0 ? text : "");
    return total != 0;
}

int send_command(const char* text)
{
    if (text == nullptr) return 0;
    const size_t n = strnlen(text, command_buffer_size);
    if (n >= command_buffer_size) {
        console_message("-----> TX refused: command longer than %d characters\n",
                        static_cast<int>(command_buffer_size - 1));
        return 0;
    }
    char copy[command_buffer_size];
    std::memcpy(copy, text, n + 1);
    char trace[command_buffer_size + 16];
    std::snprintf(trace, sizeof trace, "-----> TX: %s\n\n", copy);
    console_write(trace, true);

    if (!the_link().hid_connected) {
        // A line cut short is not sent: the device would take a garbled one.
        const long written = serial_write(the_link().com_handle, copy, n);
        if (written != static_cast<long>(n) && the_link().com_handle != -1 && serial_port_gone(the_link().com_handle))
            link_carrier_failed();
        if (written > 0 && static_cast<size_t>(written) < n)
            console_message("-----> TX cut short: %ld of %d bytes written\n", written, static_cast<int>(n));
        return written == static_cast<long>(n) ? static_cast<int>(n) : 0;
    }

    // Each check that fails waits 10 ms and pumps, so the poll can take in the
    // acknowledgement, and reads the bridge when the pump did not: the
    // acknowledgement comes within a few ms, the poll's next run may be
    // 200 ms away. No pause follows the last check.
    for (int check = 1; !the_link().clear_to_send; ++check) {
        if (check == clear_to_send_checks) {
            the_link().calls.progress_hide();
            return 0;
        }
        the_link().calls.sleep_ms(10);
        the_link().calls.pump();
        if (!the_link().clear_to_send) receive_hid();
        if (!the_link().hid_connected) return 0;  // the bridge went while waiting
    }
    // A frame that did not go out gets no acknowledgement: report it unsent
    // and keep the channel clear.
    if (!send_frame_message(message_code_command, copy, n)) return 0;
    the_link().clear_to_send = 0;
    ++commands_sent;
    return static_cast<int>(n > 0 ? n : 1);
}

void acknowledge_line()
{
    if (the_link().device_version >= 1.12001f) send_command(":AK\r");
}

bool receive_poll()
{
    ++poll_depth;
    if (the_link().hid_connected) receive_hid_until_idle();
    else receive_com();
    --poll_depth;
    return true;
}

void deliver_line(const char* line)
{
    if (the_link().upload_active) return;
    if (delivering) {
        pending_lines.emplace_back(line);
        return;
    }
    delivering = true;
    the_link().calls.line_handler(line);
    while (!pending_lines.empty()) {
        std::string next = std::move(pending_lines.front());
        pending_lines.pop_front();
        if (!the_link().upload_active) the_link().calls.line_handler(next.c_str());
    }
    delivering = false;
}
