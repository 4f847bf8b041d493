// stowline-sim: serves a simulated serial meter on a pseudo-terminal that
// Stowline lists among its ports; prints what the program sends and sends
// each line typed on standard input (a carriage return is added).
#include "sim_serial.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <unistd.h>

static volatile std::sig_atomic_t stop_requested = 0;

static void on_signal(int) { stop_requested = 1; }

static std::string visible(const std::string& line)
{
    std::string out;
    for (unsigned char c : line) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else out += static_cast<char>(c);
    }
    return out;
}

int main(int argc, char** argv)
{
    sim_kind kind;
    if (argc == 2 && std::strcmp(argv[1], "--m600") == 0) kind = sim_kind::m600;
    else if (argc == 2 && std::strcmp(argv[1], "--cv-relay") == 0) kind = sim_kind::cv_relay;
    else {
        std::fprintf(stderr, "usage: stowline-sim --m600|--cv-relay\n");
        return 2;
    }
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    sim_serial s;
    if (!sim_serial_open(s, kind, true)) {
        std::perror("stowline-sim: cannot open a pseudo-terminal");
        return 1;
    }
    std::printf("Simulated %s at %d baud on %s\n", sim_kind_name(kind), sim_kind_baud(kind), s.slave_path.c_str());
    if (!s.link_path.empty()) std::printf("Listed in Stowline's port list as %s\n", s.link_path.c_str());
    else std::printf("Could not publish the port; open %s by its path\n", s.slave_path.c_str());
    std::printf("Type a line to send it to the program; Ctrl-C quits.\n");
    std::fflush(stdout);

    size_t shown = 0;
    int warned_baud = 0;
    std::string typed;
    bool stdin_open = true;
    while (!stop_requested) {
        pollfd in{STDIN_FILENO, POLLIN, 0};
        if (stdin_open && poll(&in, 1, 0) > 0) {
            char buf[512];
            const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0) stdin_open = false;
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] == '\n') {
                    sim_serial_send(s, typed + "\r");
                    typed.clear();
                } else {
                    typed.push_back(buf[i]);
                }
            }
        }
        sim_serial_poll(s, 50);
        for (; shown < s.lines.size(); ++shown) {
            std::printf("received: %s\n", visible(s.lines[shown]).c_str());
            const int baud = sim_serial_slave_baud(s);
            if (baud != 0 && baud != sim_kind_baud(kind) && baud != warned_baud) {
                std::printf("warning: the port is set to %d baud, this device runs at %d\n", baud,
                            sim_kind_baud(kind));
                warned_baud = baud;
            }
        }
        std::fflush(stdout);
    }
    sim_serial_close(s);
    std::printf("stopped\n");
    return 0;
}
