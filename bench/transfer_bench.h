// Transfer benchmark: what the program's upload and download and the floor
// programs beside them share. The serial meter runs on a thread of its own in
// real time, as stowline-sim runs it; the M900 is the bridge stand-in on the
// real clock. Both pace bytes at the device's baud.
#pragma once

#include "sim_serial.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

// The device kinds both transfer benchmarks run, in their order.
struct bench_case {
    const char* label;
    sim_kind kind;
    const char* version;  // the M900's firmware; empty on serial
};
inline const bench_case kCases[] = {
    {"M600 serial 9600", sim_kind::m600, ""},
    {"cv-relay serial 115200", sim_kind::cv_relay, ""},
    {"M900 bridge 1.12", sim_kind::m900, "1.12"},
    {"M900 bridge 1.12.3 (acks)", sim_kind::m900, "1.12.3"},
};

// The bridge stand-in as the M900 at `version`, paced on the real clock,
// holding `stored` (when given) in slots 1, 2, ...
void prepare_bridge(const char* version, const std::vector<GunProfile>* stored);

// The floors of one device kind: the meter (or bridge) set up, then the
// floor program run against it; -1 when the meter did not end up with what
// was sent, or the download did not end as it should.
// A download's floor reads at the ticks of the poll; its second floor
// (`second`) takes at most one line per tick on serial, as the program's
// serial poll once did, and on the bridge reads each frame as soon as it has
// arrived.
double floor_upload(const bench_case& c, const std::vector<GunProfile>& profiles, double phase);
double floor_download(const bench_case& c, const std::vector<GunProfile>& profiles, double phase, bool second = false);
double median(std::vector<double> v);

// Milliseconds on the monotonic clock.
double now_ms();
// A real sleep until `t_ms` (now_ms time); at once when it has passed.
void sleep_until_ms(double t_ms);

// One command the upload sends, and whether the pause, pump and drain of
// send-and-settle follow it (the bridge's first ":A-" goes out bare).
struct upload_command {
    std::string line;
    bool settle = true;
};
// The upload's commands for `profiles` in slot order, as the link sends them.
std::vector<upload_command> upload_commands(const std::vector<GunProfile>& profiles, bool relay, float version,
                                            bool bridge);

// The serial meter on a thread of its own: a pseudo-terminal, paced at the
// kind's baud on the real clock, serviced as stowline-sim services it.
struct serial_meter_thread {
    sim_serial s;
    std::atomic<bool> stop{false};
    std::thread thread;

    bool open(sim_kind kind);  // the meter's profiles may be set after this, before start
    void start();
    // Stops servicing once nothing is left on its way (or after `drain_ms`).
    void finish(double drain_ms = 3000);
    void close();
};

// A profile of the benchmarks: named BENCH01, BENCH02, ..., every field the
// protocol carries set, the drag models and twist directions varying with `i`.
GunProfile bench_profile(int i);

// The floor programs (transfer_floor.cpp): only what the protocol forces.
// Each returns the seconds from its first byte to its end; `phase_ms` is
// where in its period the floor's receive poll first ticks.
double floor_upload_serial(const std::string& port, int baud, const std::vector<upload_command>& commands);
double floor_upload_bridge(const std::vector<upload_command>& commands, double phase_ms);
// `expected`: the profiles the device holds (bulk) or the numbers asked for
// (indexed). False through `ok` when the transfer did not end as it should.
// `one_line_per_tick`: take at most one line per tick, as the program's serial
// poll does.
double floor_download_serial(const std::string& port, int baud, bool indexed, int numbers, double phase_ms,
                             bool one_line_per_tick, bool* ok);
// `on_arrival`: the bridge is read every millisecond, not at the poll's
// ticks, so each frame is taken as soon as it has arrived.
double floor_download_bridge(bool acks, double phase_ms, bool on_arrival, bool* ok);
