// The program's link connected to a simulated meter of one kind, driven
// without threads: the program's sleeps move the simulated time and let the
// meter act, its pumps run the receive poll, and received lines are
// recorded (and, with `acking`, acknowledged as the download does it).
#pragma once

#include "link/profile_lines.h"
#include "sim_serial.h"

#include <functional>
#include <string>
#include <vector>

struct sim_rig {
    sim_rig(sim_kind kind, const char* version = "");
    ~sim_rig();
    sim_rig(const sim_rig&) = delete;
    sim_rig& operator=(const sim_rig&) = delete;

    sim_kind kind;
    sim_serial serial;
    std::vector<std::string> got;  // lines the program received
    bool acking = false;

    bool bridge() const { return kind == sim_kind::m900; }
    sim_meter& meter();
    // send_command; false when it was not sent.
    bool send(const std::string& line);
    // Sends an upload of these profiles the way the program does.
    void upload(const std::vector<profile_line_set>& profiles);
    // Lets both sides work until `done` (or about two seconds), then a little
    // longer, so that a line too many would show.
    void run_until(const std::function<bool()>& done);
    void run_until_lines(size_t n)
    {
        run_until([this, n] { return got.size() >= n; });
    }
    // A few steps without moving the time.
    void settle();

private:
    void step(int wait_ms);
    bool after_invalid = false;
};

// A profile with a name and twist of the test's choosing, its other fields
// the new-profile values with a custom curve.
GunProfile test_gun(const char* name, float bt = 10.0f, int dc = 0);
// The lines the program's upload sends for it now (relay mode, version).
profile_line_set lines_now(const GunProfile& p);
// The five lines in order.
std::vector<std::string> five(const profile_line_set& l);
