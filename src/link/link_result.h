// What a call of the link or its platform layer came to: ok, or which
// failure, with the system's error number (errno, or the bridge's status)
// where there is one and a sentence that names what failed. The window turns
// it into a status text, the command-line tool into a message and an exit
// status; nobody has to try again to learn why.
#pragma once

#include <string>

enum class link_status {
    ok,
    bad_argument,   // a port number out of range, a speed the port does not take
    no_such_port,   // no port of that name (ENOENT, ENXIO, ENODEV, not a COMn name)
    permission,     // the system refused access (EACCES, EPERM)
    in_use,         // another program has the port (EBUSY)
    not_a_port,     // it opened, but is no serial port (its terminal settings failed)
    no_driver,      // nothing runs the link's timers
    no_cable,       // the bridge is not plugged in
    cable_failed,   // the bridge is there but did not open or take its settings
    not_connected,  // no carrier is open
    refused,        // the device did not take a command
    no_answer,      // the device did not answer
    lost,           // the carrier failed under the link (a pulled cable)
    stopped,        // stopped on request (Ctrl-C)
    io_error,       // any other system error
};

struct link_result {
    link_status status = link_status::ok;
    int err = 0;      // errno, or the bridge's status; 0 when none
    std::string why;  // empty when ok
    bool ok() const { return status == link_status::ok; }
    explicit operator bool() const { return ok(); }
};

inline link_result link_failure(link_status status, int err, std::string why) { return {status, err, std::move(why)}; }

// "ok", "no_such_port", ... as the enum spells it.
const char* link_status_name(link_status status);

// A port that did not open: the failure an errno means at the open itself,
// and its sentence naming `port` ("no such port: COM9", "/dev/ttyUSB0 is in
// use by another program").
link_result port_open_failure(int err, const std::string& port);
// The sentence of a port failure of `status`.
std::string port_failure_text(link_status status, int err, const std::string& port);
