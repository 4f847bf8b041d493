#include "sim_serial.h"

#include "link/platform/port_list.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

static bool make_raw(int fd, int baud)
{
    termios tio;
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    const speed_t speed = baud == 115200 ? B115200 : B9600;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

bool sim_serial_open(sim_serial& s, sim_kind kind, bool publish)
{
    s = sim_serial{};
    s.kind = kind;
    s.meter = sim_meter(kind);
    s.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s.master < 0) return false;
    if (grantpt(s.master) != 0 || unlockpt(s.master) != 0) {
        sim_serial_close(s);
        return false;
    }
    char name[128];
    if (ptsname_r(s.master, name, sizeof name) != 0) {
        sim_serial_close(s);
        return false;
    }
    s.slave_path = name;
    s.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s.slave < 0 || !make_raw(s.slave, sim_kind_baud(kind))) {
        sim_serial_close(s);
        return false;
    }
    fcntl(s.master, F_SETFL, fcntl(s.master, F_GETFL) | O_NONBLOCK);
    if (publish) {
        char folder[512];
        simulator_ports_folder(folder, sizeof folder);
        mkdir(folder, 0700);
        std::string link = std::string(folder) + "/" + sim_kind_name(kind) + "-" + std::to_string(getpid());
        unlink(link.c_str());
        if (symlink(name, link.c_str()) == 0) s.link_path = link;
    }
    return true;
}

void sim_serial_close(sim_serial& s)
{
    if (!s.link_path.empty()) unlink(s.link_path.c_str());
    s.link_path.clear();
    if (s.slave >= 0) close(s.slave);
    if (s.master >= 0) close(s.master);
    s.slave = -1;
    s.master = -1;
}

size_t sim_serial_poll(sim_serial& s, int wait_ms)
{
    if (s.master < 0) return 0;
    pollfd p{s.master, POLLIN, 0};
    if (poll(&p, 1, wait_ms) <= 0) return 0;
    size_t completed = 0;
    for (;;) {
        char buf[512];
        const ssize_t n = read(s.master, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        sim_wire_put(s.to_meter, std::string(buf, static_cast<size_t>(n)), s.paced ? sim_kind_baud(s.kind) : 0,
                     s.clock_ms);
        for (ssize_t i = 0; i < n; ++i) {
            s.partial.push_back(buf[i]);
            if (buf[i] == '\r' || buf[i] == '\n') {
                s.lines.push_back(s.partial);
                s.partial.clear();
                ++completed;
            }
        }
    }
    return completed;
}

// The meter answers as soon as a line has reached it.
static void meter_act(sim_serial& s, double at_ms)
{
    for (const sim_meter_output& out : sim_meter_take(s.meter, at_ms))
        sim_wire_put(s.to_program, out.bytes, s.paced ? sim_kind_baud(s.kind) : 0, at_ms);
}

size_t sim_serial_service(sim_serial& s, unsigned elapsed_ms)
{
    if (s.master < 0) return 0;
    // What the program wrote during the step set off at its start.
    sim_serial_poll(s, 0);
    s.clock_ms += elapsed_ms;
    size_t taken = 0;
    std::vector<double> times;
    const std::string arrived = sim_wire_take(s.to_meter, s.clock_ms, &times);
    for (size_t i = 0; i < arrived.size(); ++i) {
        const char c = arrived[i];
        s.meter_line.push_back(c);
        if (c == '\r' || c == '\n') {
            sim_meter_receive(s.meter, s.meter_line, times[i]);
            s.meter_line.clear();
            ++taken;
            meter_act(s, times[i]);
        } else if (s.meter_line.size() > 1024) {
            s.meter_line.clear();  // noise, not a line the meter could hold
        }
    }
    meter_act(s, s.clock_ms);
    s.unwritten += sim_wire_take(s.to_program, s.clock_ms);
    // What the pseudo-terminal does not take now waits for the next step.
    while (!s.unwritten.empty()) {
        const ssize_t n = write(s.master, s.unwritten.data(), s.unwritten.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        s.unwritten.erase(0, static_cast<size_t>(n));
    }
    return taken;
}

bool sim_serial_send(sim_serial& s, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(s.master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{s.master, POLLOUT, 0};
            if (poll(&p, 1, 1000) <= 0) return false;
        } else {
            return false;
        }
    }
    return true;
}

bool sim_serial_send_split(sim_serial& s, const std::string& line, size_t at, int pause_ms)
{
    if (at > line.size()) at = line.size();
    if (!sim_serial_send(s, line.substr(0, at))) return false;
    if (pause_ms > 0) usleep(static_cast<useconds_t>(pause_ms) * 1000u);
    return sim_serial_send(s, line.substr(at));
}

bool sim_serial_send_garbage(sim_serial& s, size_t n, unsigned seed) { return sim_serial_send(s, sim_noise(n, seed)); }

int sim_serial_slave_baud(const sim_serial& s)
{
    if (s.slave_path.empty()) return 0;
    const int fd = open(s.slave_path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 0;
    termios tio;
    int baud = 0;
    if (tcgetattr(fd, &tio) == 0) {
        switch (cfgetospeed(&tio)) {
        case B9600: baud = 9600; break;
        case B19200: baud = 19200; break;
        case B38400: baud = 38400; break;
        case B57600: baud = 57600; break;
        case B115200: baud = 115200; break;
        default: baud = -1; break;
        }
    }
    close(fd);
    return baud;
}
