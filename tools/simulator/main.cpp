// stowline-sim: serves a simulated serial meter on a pseudo-terminal that
// Stowline lists among its ports. The meter keeps the profiles an upload
// sends and answers downloads (from and into a folder with --profiles); every
// line the program sends is printed, and each line typed on standard input
// is sent to the program (a carriage return is added).
#include "sim_serial.h"
#include "sim_tool.h"

#include <chrono>
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

static double now_ms()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

int main(int argc, char** argv)
{
    sim_options options;
    std::string error;
    if (!sim_parse_options(argc, argv, &options, &error)) {
        std::fprintf(stderr, "stowline-sim: %s\n%s", error.c_str(), sim_usage);
        return 2;
    }
    const sim_kind kind = options.kind;
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
    s.paced = options.paced;
    s.meter.faults = options.faults;
    s.meter.silent_after = options.silent_after;
    if (!options.profiles.empty()) {
        std::vector<std::string> skipped;
        if (!sim_load_folder(s.meter, options.profiles, &skipped)) {
            std::fprintf(stderr, "stowline-sim: cannot read the folder %s\n", options.profiles.c_str());
            sim_serial_close(s);
            return 1;
        }
        for (const std::string& why : skipped) std::printf("not served: %s\n", why.c_str());
        std::printf("Serving %zu profiles from %s\n", s.meter.profiles.size(), options.profiles.c_str());
    }
    if (!options.profiles.empty())
        sim_keep_in_folder(s.meter, options.profiles,
                           [](const std::string& text) { std::printf("%s\n", visible(text).c_str()); });
    s.meter.on_store = [save = s.meter.on_store](int slot, const sim_stored_profile& p) {
        std::printf("stored in slot %d: %s\n", slot, visible(profile_name(p.record)).c_str());
        if (save) save(slot, p);
    };
    std::printf("Simulated %s at %d baud on %s\n", sim_kind_name(kind), sim_kind_baud(kind), s.slave_path.c_str());
    if (!s.link_path.empty()) std::printf("Listed in Stowline's port list as %s\n", s.link_path.c_str());
    else std::printf("Could not publish the port; open %s by its path\n", s.slave_path.c_str());
    std::printf("Type a line to send it to the program; Ctrl-C quits.\n");
    std::fflush(stdout);

    size_t shown = 0, shown_sent = 0, shown_rejected = 0;
    int warned_baud = 0;
    std::string typed;
    bool stdin_open = true;
    double last = now_ms();
    while (!stop_requested) {
        // Short steps while bytes wait for their time on the wire.
        const bool busy = !s.unwritten.empty() || !s.to_program.bytes.empty() || !s.to_meter.bytes.empty() ||
                          !s.meter.queue.empty();
        pollfd fds[2] = {{s.master, POLLIN, 0}, {stdin_open ? STDIN_FILENO : -1, POLLIN, 0}};
        poll(fds, 2, busy ? 2 : 50);
        if (fds[1].revents != 0) {
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
        const double now = now_ms();
        const unsigned elapsed = static_cast<unsigned>(now - last);
        last += elapsed;
        sim_serial_service(s, elapsed);
        for (; shown < s.lines.size(); ++shown) {
            std::printf("received: %s\n", visible(s.lines[shown]).c_str());
            const int baud = sim_serial_slave_baud(s);
            if (baud != 0 && baud != sim_kind_baud(kind) && baud != warned_baud) {
                std::printf("warning: the port is set to %d baud, this device runs at %d\n", baud,
                            sim_kind_baud(kind));
                warned_baud = baud;
            }
        }
        for (; shown_sent < s.meter.sent.size(); ++shown_sent)
            std::printf("sent: %s\n", visible(s.meter.sent[shown_sent]).c_str());
        for (; shown_rejected < s.meter.rejected.size(); ++shown_rejected)
            std::printf("rejected (slot %d): %s\n", s.meter.rejected[shown_rejected].slot,
                        s.meter.rejected[shown_rejected].why.c_str());
        std::fflush(stdout);
    }
    sim_serial_close(s);
    std::printf("stopped\n");
    return 0;
}
