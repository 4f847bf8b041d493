// The simulated serial meter: a pseudo-terminal whose slave the program opens
// like any port, playing the M600 (9600 baud) or the cv-relay (115200 baud).
// Records every line it receives, sends lines, and injects faults.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

enum class sim_kind { m600, cv_relay };

struct sim_serial {
    sim_kind kind = sim_kind::m600;
    int master = -1;
    int slave = -1;  // held open so the master never reads as hung up
    std::string slave_path;
    std::string link_path;  // published name in the ports folder, or empty
    std::vector<std::string> lines;  // received lines, terminator included
    std::string partial;             // bytes of a line not yet ended
};

int sim_kind_baud(sim_kind kind);
const char* sim_kind_name(sim_kind kind);

// Opens the pseudo-terminal in raw mode at the kind's baud; with `publish`
// the slave is linked into the ports folder as "<kind>-<pid>".
bool sim_serial_open(sim_serial& s, sim_kind kind, bool publish);
// Closes the master (the program's port vanishes) and removes the link.
void sim_serial_close(sim_serial& s);

// Takes in what the program sent, waiting up to `wait_ms` for the first
// byte. Returns the number of lines completed.
size_t sim_serial_poll(sim_serial& s, int wait_ms);

bool sim_serial_send(sim_serial& s, const std::string& bytes);
// Sends `line` in two writes split at `at`, with a pause between them.
bool sim_serial_send_split(sim_serial& s, const std::string& line, size_t at, int pause_ms);
// Sends `n` bytes of noise (no line ends, no NUL), repeatable by `seed`.
bool sim_serial_send_garbage(sim_serial& s, size_t n, unsigned seed);

// The baud rate the slave side is set to now (what the program chose), 0 if
// unknown.
int sim_serial_slave_baud(const sim_serial& s);
