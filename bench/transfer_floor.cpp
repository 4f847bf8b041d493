// The floor of each transfer: a program that does only what the protocol
// forces, against the same simulated meter. Upload: the same bytes written,
// the same pauses after each command, and on the bridge the wait for the
// acknowledgement of the last command, read at the poll's cadence. Download:
// the same requests, and a bare reader that takes what arrived at each tick
// of the poll, counts the profiles' ends, asks for the next number (indexed)
// and acknowledges each line where the firmware asks for it. Its poll ticks
// on an exact schedule (no drift, no late tick) and no pause is longer than
// asked: nothing of the program's own work is in it. On serial a second
// download floor takes at most one line per tick, as the program's serial
// poll did: the cost of that cadence, apart from the program's own work. On
// the bridge the second download floor reads every millisecond: each frame
// as soon as it has arrived, the device's own pace.
#include "transfer_bench.h"

#include "link/frame_codec.h"
#include "link/link_state.h"
#include "link/platform/bridge_defs.h"
#include "link/platform/hid_uart.h"
#include "link/platform/serial_port.h"
#include "link/profile_lines.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr double kSettle = 250.0;
constexpr double kPreamblePause = 10.0;   // after the 7E 7E preamble of every frame
constexpr double kInitiatePause = 500.0;  // before a bulk download's requests

// The floor's receive poll: ticks at phase + k * period, each running `tick`.
struct ticker {
    double next;
    double period;
    std::function<void()> tick;

    // Sleeps until `t`, running the ticks that fall before it.
    void wait_until(double t)
    {
        while (next <= t) {
            sleep_until_ms(next);
            next += period;
            tick();
        }
        sleep_until_ms(t);
    }
    // Ticks until `done` holds (checked after each tick), at most `limit_ms`.
    bool wait_for(const std::function<bool()>& done, double limit_ms)
    {
        const double end = now_ms() + limit_ms;
        while (!done()) {
            if (now_ms() > end) return false;
            sleep_until_ms(next);
            next += period;
            tick();
        }
        return true;
    }
};

bool write_all(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 100);
        } else {
            return false;
        }
    }
    return true;
}

// A bare line reader: what has arrived, cut at line ends.
struct line_reader {
    std::string partial;
    template <class F>
    void take(const char* bytes, size_t n, F&& on_line)
    {
        for (size_t i = 0; i < n; ++i) {
            partial.push_back(bytes[i]);
            if (bytes[i] == '\r' || bytes[i] == '\n') {
                if (partial.size() > 1) on_line(partial);
                partial.clear();
            }
        }
    }
};

int count_of(const std::string& line)
{
    int n = 0;
    std::sscanf(line.c_str() + 3, "%*[ ,]%d", &n);
    return n;
}

bool starts(const std::string& line, const char* prefix) { return line.compare(0, std::strlen(prefix), prefix) == 0; }

// The bridge, opened as the program opens it, with the connect message.
struct bridge {
    HID_UART_DEVICE dev = nullptr;
    frame_assembler rx;
    bool clear = true;  // the last command was acknowledged

    bool open()
    {
        if (HidUart_Open(&dev, 0, bridge_vendor_id, bridge_product_id) != 0) return false;
        if (HidUart_SetUartConfig(dev, bridge_meter_baud, bridge_data_bits_8, bridge_parity_none,
                                  bridge_stop_bits_short, bridge_flow_none) != 0 ||
            HidUart_SetTimeouts(dev, bridge_read_timeout_ms, bridge_write_timeout_ms) != 0)
            return false;
        send(message_code_connect, "");
        return true;
    }
    void close()
    {
        if (dev) HidUart_Close(dev);
        dev = nullptr;
    }
    // Preamble, its pause, the frame in one write.
    void send(uint16_t code, const std::string& text)
    {
        uint8_t message[message_header_size + message_max_text];
        const size_t n = build_text_message(message, code, text.data(), text.size());
        uint8_t frame[frame_buffer_size];
        const size_t length = frame_encode(message, n, frame);
        const uint8_t preamble[2] = {frame_flag, frame_flag};
        uint32_t written = 0;
        HidUart_Write(dev, preamble, 2, &written);
        sleep_until_ms(now_ms() + kPreamblePause);
        HidUart_Write(dev, frame, static_cast<uint32_t>(length), &written);
    }
    // Everything that has arrived: acknowledgements clear the way, text
    // messages are handed to `on_line`.
    template <class F>
    void read(F&& on_line)
    {
        for (;;) {
            uint8_t buf[512];
            uint32_t got = 0;
            if (HidUart_Read(dev, buf, sizeof buf, &got) != 0 || got == 0) return;
            for (uint32_t i = 0; i < got; ++i) {
                if (!frame_assembler_push(rx, buf[i])) continue;
                uint8_t msg[frame_buffer_size];
                const size_t len = frame_decode(rx.buffer, rx.count, msg, sizeof msg);
                frame_assembler_reset(rx);
                if (len < 4) continue;
                const int kind = msg[0] | (msg[1] << 8);
                if (kind == message_kind_ack) clear = true;
                if (kind == message_kind_text && len >= message_header_size)
                    on_line(std::string(reinterpret_cast<const char*>(msg + message_header_size),
                                        len - message_header_size));
            }
        }
    }
};

}  // namespace

double floor_upload_serial(const std::string& port, int baud, const std::vector<upload_command>& commands)
{
    const int fd = serial_open(port.c_str(), baud);
    if (fd < 0) return -1;
    const double t0 = now_ms();
    for (const upload_command& c : commands) {
        write_all(fd, c.line);
        if (c.settle) sleep_until_ms(now_ms() + kSettle);
    }
    const double t = now_ms() - t0;
    serial_close(fd);
    return t / 1000.0;
}

double floor_upload_bridge(const std::vector<upload_command>& commands, double phase_ms)
{
    bridge b;
    if (!b.open()) return -1;
    sleep_until_ms(now_ms() + 300);  // the version message, before timing
    b.read([](const std::string&) {});
    b.clear = true;
    const double t0 = now_ms();
    ticker poll{t0 + phase_ms, hid_poll_interval_ms, [&b] { b.read([](const std::string&) {}); }};
    for (const upload_command& c : commands) {
        if (!poll.wait_for([&b] { return b.clear; }, 5000)) {
            b.close();
            return -1;
        }
        b.send(message_code_command, c.line);
        b.clear = false;
        if (c.settle) poll.wait_until(now_ms() + kSettle);
    }
    const double t = now_ms() - t0;
    b.close();
    return t / 1000.0;
}

double floor_download_serial(const std::string& port, int baud, bool indexed, int numbers, double phase_ms,
                             bool one_line_per_tick, bool* ok)
{
    *ok = false;
    const int fd = serial_open(port.c_str(), baud);
    if (fd < 0) return -1;
    const double t0 = now_ms();
    int expected = indexed ? numbers : -1, ends = 0;
    double end_at = -1;
    line_reader lines;
    auto on_line = [&](const std::string& line) {
        if (starts(line, ":AG")) expected = count_of(line);
        if (!starts(line, ":AS")) return;
        ++ends;
        if (indexed && ends < numbers) write_all(fd, request_line(ends + 1));
    };
    std::string waiting;  // arrived, not yet taken (one line per tick)
    ticker poll{t0 + phase_ms, com_poll_interval_ms, [&] {
                    char buf[4096];
                    for (;;) {
                        const ssize_t n = read(fd, buf, sizeof buf);
                        if (n <= 0) break;
                        if (one_line_per_tick) waiting.append(buf, static_cast<size_t>(n));
                        else lines.take(buf, static_cast<size_t>(n), on_line);
                    }
                    if (one_line_per_tick) {
                        // Up to and including the first line end, NULs skipped.
                        size_t i = 0;
                        while (i < waiting.size() && waiting[i] != '\r' && waiting[i] != '\n') ++i;
                        if (i < waiting.size()) {
                            std::string part;
                            for (size_t k = 0; k <= i; ++k)
                                if (waiting[k] != '\0') part.push_back(waiting[k]);
                            lines.take(part.data(), part.size(), on_line);
                            waiting.erase(0, i + 1);
                        }
                    }
                    if (end_at < 0 && expected >= 0 && ends >= expected) end_at = now_ms();
                }};
    if (indexed) {
        write_all(fd, request_line(1));
    } else {
        poll.wait_until(t0 + kInitiatePause);
        for (const char* c : {"\r", "\r", ":A-\r", ":AD\r"}) write_all(fd, c);
    }
    *ok = poll.wait_for([&] { return end_at >= 0; }, 120000);
    serial_close(fd);
    return (end_at - t0) / 1000.0;
}

double floor_download_bridge(bool acks, double phase_ms, bool on_arrival, bool* ok)
{
    *ok = false;
    bridge b;
    if (!b.open()) return -1;
    sleep_until_ms(now_ms() + 300);
    b.read([](const std::string&) {});
    b.clear = true;
    const double t0 = now_ms();
    int expected = -1, ends = 0;
    double end_at = -1;
    // A command from within the reader waits for the last one's
    // acknowledgement by reading the bridge itself.
    auto command = [&b](const std::string& line) {
        const double limit = now_ms() + 2000;
        while (!b.clear && now_ms() < limit) b.read([](const std::string&) {});
        b.send(message_code_command, line);
        b.clear = false;
    };
    std::function<void(const std::string&)> on_line = [&](const std::string& line) {
        if (starts(line, ":AG")) expected = count_of(line);
        if (starts(line, ":AS")) ++ends;
        if (acks) command(":AK\r");
    };
    const double period = on_arrival ? 1.0 : hid_poll_interval_ms;
    ticker poll{t0 + std::fmod(phase_ms, period), period, [&] {
                    b.read(on_line);
                    if (end_at < 0 && expected >= 0 && ends >= expected) end_at = now_ms();
                }};
    poll.wait_until(t0 + kInitiatePause);
    b.send(message_code_command, ":AQ\r");  // framed, not waited for
    b.send(message_code_command, ":A-\r");
    b.clear = false;
    // ":AD" waits for the acknowledgement of ":A-", read at the poll's cadence.
    if (!poll.wait_for([&b] { return b.clear; }, 5000)) {
        b.close();
        return -1;
    }
    b.send(message_code_command, ":AD\r");
    b.clear = false;
    *ok = poll.wait_for([&] { return end_at >= 0; }, 120000);
    b.close();
    return (end_at - t0) / 1000.0;
}
