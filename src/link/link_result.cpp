#include "link/link_result.h"

#include <cerrno>
#include <cstring>

const char* link_status_name(link_status status)
{
    switch (status) {
    case link_status::ok: return "ok";
    case link_status::bad_argument: return "bad_argument";
    case link_status::no_such_port: return "no_such_port";
    case link_status::permission: return "permission";
    case link_status::in_use: return "in_use";
    case link_status::not_a_port: return "not_a_port";
    case link_status::no_driver: return "no_driver";
    case link_status::no_cable: return "no_cable";
    case link_status::cable_failed: return "cable_failed";
    case link_status::not_connected: return "not_connected";
    case link_status::refused: return "refused";
    case link_status::no_answer: return "no_answer";
    case link_status::lost: return "lost";
    case link_status::stopped: return "stopped";
    case link_status::io_error: return "io_error";
    }
    return "io_error";
}

std::string port_failure_text(link_status status, int err, const std::string& port)
{
    switch (status) {
    case link_status::no_such_port: return "no such port: " + port;
    case link_status::in_use: return port + " is in use by another program";
    case link_status::permission: return port + ": permission denied";
    case link_status::not_a_port: return "cannot open " + port + " as a serial port";
    default: return "cannot open " + port + ": " + std::strerror(err);
    }
}

link_result port_open_failure(int err, const std::string& port)
{
    link_status s = link_status::io_error;
    if (err == ENOENT || err == ENXIO || err == ENODEV) s = link_status::no_such_port;
    else if (err == EACCES || err == EPERM) s = link_status::permission;
    else if (err == EBUSY) s = link_status::in_use;
    else if (err == EINVAL) s = link_status::bad_argument;
    return {s, err, port_failure_text(s, err, port)};
}
