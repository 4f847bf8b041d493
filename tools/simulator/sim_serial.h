// The simulated serial meter: a pseudo-terminal whose slave the program opens
// like any port, playing the M600 (9600 baud) or the cv-relay (115200 baud).
// Records every line it receives, and behind it the meter of sim_meter.h
// keeps profiles, answers downloads and injects the faults set in `meter`.
//
// A test drives it without threads: the program writes to its port, the
// test calls sim_serial_service from the program's sleep and pump hooks (the
// meter takes in and answers), and the program's receive poll reads the
// answer. Bytes go out at once unless `paced` is set; then they take ten bit
// times a byte at the kind's baud, both ways, on the clock that the elapsed
// times given to sim_serial_service make up.
#pragma once

#include "sim_meter.h"

#include <cstddef>
#include <string>
#include <vector>

struct sim_serial {
    sim_kind kind = sim_kind::m600;
    int master = -1;
    int slave = -1;  // held open so the master never reads as hung up
    std::string slave_path;
    std::string link_path;  // published name in the ports folder, or empty
    std::vector<std::string> lines;  // received lines, terminator included
    std::string partial;             // bytes of a line not yet ended

    sim_meter meter;      // the profiles, the faults, what it sent
    bool paced = false;   // bytes at the kind's baud instead of at once
    double clock_ms = 0;  // the meter's time: what sim_serial_service was given
    sim_wire to_meter, to_program;
    std::string meter_line;  // the meter's side of a line not yet ended
    std::string unwritten;   // due bytes the pseudo-terminal has not taken yet
};

// Opens the pseudo-terminal in raw mode at the kind's baud; with `publish`
// the slave is linked into the ports folder as "<kind>-<pid>".
bool sim_serial_open(sim_serial& s, sim_kind kind, bool publish);
// Closes the master (the program's port vanishes) and removes the link.
void sim_serial_close(sim_serial& s);

// Takes in what the program sent, waiting up to `wait_ms` for the first
// byte. Returns the number of lines completed.
size_t sim_serial_poll(sim_serial& s, int wait_ms);

// One step of the meter, without waiting: takes in what the program wrote,
// advances the meter's time by `elapsed_ms`, lets it act on each line that
// has reached it, and writes to the port what is due. Returns the number of
// lines the meter took in.
size_t sim_serial_service(sim_serial& s, unsigned elapsed_ms);

bool sim_serial_send(sim_serial& s, const std::string& bytes);
// Sends `line` in two writes split at `at`, with a pause between them.
bool sim_serial_send_split(sim_serial& s, const std::string& line, size_t at, int pause_ms);
// Sends `n` bytes of noise (no line ends, no NUL), repeatable by `seed`.
bool sim_serial_send_garbage(sim_serial& s, size_t n, unsigned seed);

// The baud rate the slave side is set to now (what the program chose), 0 if
// unknown.
int sim_serial_slave_baud(const sim_serial& s);
