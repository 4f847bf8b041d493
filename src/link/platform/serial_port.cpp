#include "link/platform/serial_port.h"

#include "base/owned.h"

#include <string>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

link_result serial_open_port(const char* path, int baud, int* fd_out)
{
    *fd_out = -1;
    const std::string name = path ? path : "";
    speed_t speed;
    if (baud == 9600) speed = B9600;
    else if (baud == 115200) speed = B115200;
    else return {link_status::bad_argument, EINVAL, "cannot open " + name + " at " + std::to_string(baud) + " baud"};
    if (name.empty()) return port_open_failure(ENOENT, name);
    unique_fd fd(open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return port_open_failure(errno, name);
    // It opened: a failure from here on is a device that is no serial port,
    // or one that another program holds.
    auto fail = [&] {
        const int e = errno;
        fd.reset();
        if (e == EBUSY) return port_open_failure(e, name);
        return link_result{link_status::not_a_port, e, port_failure_text(link_status::not_a_port, e, name)};
    };
    // One program per port: an advisory lock that other serial programs
    // honour too, then the terminal's exclusive mode, which refuses further
    // opens outright (for all but the superuser). A port held is EBUSY.
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) errno = EBUSY;
        return fail();
    }
    termios tio;
    if (tcgetattr(fd.get(), &tio) != 0) return fail();
    if (ioctl(fd.get(), TIOCEXCL) != 0) return fail();
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0 || tcsetattr(fd.get(), TCSANOW, &tio) != 0)
        return fail();
    *fd_out = fd.release();
    return {};
}

int serial_open(const char* path, int baud)
{
    int fd = -1;
    const link_result r = serial_open_port(path, baud, &fd);
    if (!r) errno = r.err;
    return fd;
}

long serial_read(int fd, void* buffer, size_t n)
{
    if (fd < 0) return -1;
    for (;;) {
        const ssize_t rc = read(fd, buffer, n);
        if (rc > 0) return rc;
        if (rc == 0) {
            // A hung-up terminal reads as end of file; tell it from "nothing yet".
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return -1;
            return 0;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        return -1;
    }
}

long serial_write(int fd, const void* buffer, size_t n)
{
    if (fd < 0) return -1;
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(10 + 10 * static_cast<long long>(n));
    const auto* p = static_cast<const unsigned char*>(buffer);
    size_t done = 0;
    while (done < n) {
        const ssize_t rc = write(fd, p + done, n - done);
        if (rc > 0) {
            done += static_cast<size_t>(rc);
            continue;
        }
        if (rc < 0 && errno == EINTR) continue;
        if (rc < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        if (left <= 0) break;
        pollfd pfd{fd, POLLOUT, 0};
        const int pr = poll(&pfd, 1, static_cast<int>(left));
        if (pr < 0 && errno == EINTR) continue;
        if (pr <= 0 || (pfd.revents & (POLLHUP | POLLERR | POLLNVAL))) break;
    }
    if (done == 0 && n > 0) return -1;
    return static_cast<long>(done);
}

void serial_close(int fd)
{
    if (fd < 0) return;
    // The exclusive mode outlives this descriptor while another one (a
    // simulator's) keeps the terminal open; the lock goes with the close.
    ioctl(fd, TIOCNXCL);
    close(fd);
}

bool serial_port_gone(int fd)
{
    if (fd < 0) return true;
    pollfd p{fd, POLLOUT, 0};
    return poll(&p, 1, 0) < 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool com_name_to_path(const char* name, char* path, size_t size)
{
    if (name == nullptr || size == 0) return false;
    const char* digits = nullptr;
    if (strncasecmp(name, "\\\\.\\com", 7) == 0) digits = name + 7;
    else if (strncasecmp(name, "com", 3) == 0) digits = name + 3;
    if (digits == nullptr || *digits < '1' || *digits > '9') return false;
    char* end = nullptr;
    const long n = std::strtol(digits, &end, 10);
    if (*end != '\0' || n < 1 || n > 255) return false;
    std::snprintf(path, size, "/dev/ttyS%ld", n - 1);
    return true;
}
