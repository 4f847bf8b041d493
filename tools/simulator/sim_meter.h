// The simulated meter itself, shared by the serial simulator (sim_serial.h)
// and the bridge stand-in (sim_bridge.h): lines from the program in, lines
// to the program out, the time given by the caller. No I/O, no threads.
//
// A test reaches it as `s.meter` of a sim_serial (after sim_serial_open) or
// as `sim_bridge().meter` (after sim_bridge_reset, and after
// sim_bridge_set_version when the version matters, since the version decides
// how lines are built and read).
//
// What it keeps. An upload is parsed line by line as the device does it:
// ":AG,nn" empties the memory (the upload replaces what was there), ":AU,nn"
// opens slot nn, then ":AN", ":AP", ":AV", ":AC", ":AM" (each data line's
// checksum checked), and ":AS" stores the profile in its slot, but only when
// all five lines came and every checksum passed; anything else lands in
// `rejected` with the reason, and every data line with a bad checksum in
// `bad_checksum_lines`. A test reads what was stored in `profiles` (slot ->
// the five lines as received, and `record`: what the program makes of those
// lines when it downloads them from this meter, read by its own readers in
// the kind's style at `version`). It sets stored profiles directly with
// sim_meter_store (a record, built into lines as an upload would) or
// sim_meter_store_lines (lines of its own, e.g. a hostile name).
//
// What it answers. ":AD" gets ":AG,nn" and every stored profile's lines,
// each followed by ":AS", in slot order; ":AD,nn" gets that slot's lines and
// ":AS", or ":AN,INVALID" and ":AS" for an empty slot. Every kind answers
// both. Requests are answered in the order they came, a request that
// arrives while an answer is going out after it. Nothing else is answered.
//
// Acknowledgements. With `acks` set (the M900 from firmware 1.12001 on;
// sim_bridge_set_version sets it from the version text) the meter hands out
// one line, then waits for the program's ":AK" before the next, except after
// the ":AS" of an INVALID slot, which the program does not acknowledge. A
// lost ":AK" does not stall it: after `ack_timeout_ms` (2000 ms, ten of the
// bridge's poll periods and well inside the program's 6 s watchdog) it goes
// on with the next line.
//
// Faults, set by the test before the lines they aim at go out:
//   faults.push_back({sim_fault::bad_checksum, ":AP", 2});  the 2nd ":AP" it
//       sends from now on carries wrong checksum digits (data lines only)
//   {sim_fault::lose, ":AV", 1}      the next ":AV" is not sent (the meter
//                                    believes it was: in ack mode it waits)
//   {sim_fault::lose, ":AS", 1}      a lost end of profile
//   {sim_fault::garbage, ":AN", 1, 40, seed}  40 bytes of noise (no line
//                                    end, no NUL) go out before the line
//   {sim_fault::bad_frame, ":AC", 1} on the bridge, that line's frame
//                                    carries a bad CRC (no effect on serial)
//   An empty prefix aims at any line. Each fault strikes once and is gone.
//   silent_after = n                 n more lines go out, then nothing at
//                                    all (what is due is dropped) until the
//                                    test sets it back to -1.
// `sent` lists every line that went out, as it went (faults applied).
#pragma once

#include "link/profile_lines.h"
#include "profile/gun_profile.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

enum class sim_kind { m600, cv_relay, m900 };

// 9600, 115200, and for the M900 38400: the UART behind its bridge.
int sim_kind_baud(sim_kind kind);
const char* sim_kind_name(sim_kind kind);
// Profiles the device holds: 30, or 34 for the relay device.
int sim_kind_profile_limit(sim_kind kind);
// Bulk for the meters, indexed for the relay device (its relay name lines
// carry no asterisk).
transfer_style sim_kind_style(sim_kind kind);

enum class sim_fault { bad_checksum, lose, garbage, bad_frame };

struct sim_line_fault {
    sim_fault what = sim_fault::lose;
    std::string prefix;        // the lines aimed at, by their beginning; empty: any
    int nth = 1;               // the nth such line sent from now on
    size_t garbage_bytes = 32;  // garbage only
    unsigned seed = 1;          // garbage only: the same seed, the same noise
};

struct sim_stored_profile {
    profile_line_set lines;  // as received, line ends and checksums included
    GunProfile record{};
};

struct sim_rejected_profile {
    int slot = 0;                    // 0: no ":AU" came before it
    std::vector<std::string> lines;  // what came for it, as received
    std::string why;
};

// One piece of output for the carrier.
struct sim_meter_output {
    std::string bytes;
    bool noise = false;      // garbage: raw bytes, never framed on the bridge
    bool bad_frame = false;  // the bridge frames this line with a bad CRC
};

struct sim_meter {
    sim_meter() = default;
    explicit sim_meter(sim_kind k) : kind(k) {}

    sim_kind kind = sim_kind::m600;
    // The version the program holds for this meter: 1.11 unless the bridge
    // reported another. Decides the ":AP" form of sim_meter_store and how
    // `record` is read.
    float version = 1.11f;
    bool acks = false;
    double ack_timeout_ms = 2000.0;

    std::map<int, sim_stored_profile> profiles;  // by slot, 1-based
    std::vector<sim_rejected_profile> rejected;
    std::vector<std::string> bad_checksum_lines;
    int announced = -1;  // the count of the last ":AG" received, -1 before any
    // Called each time an upload stores a profile.
    std::function<void(int slot, const sim_stored_profile&)> on_store;

    std::vector<sim_line_fault> faults;
    int silent_after = -1;
    std::vector<std::string> sent;
    int ack_timeouts = 0;  // times it went on without an ":AK"

    // Its own workings.
    struct queued {
        std::string line;
        bool wants_ack;
    };
    std::deque<queued> queue;
    bool waiting = false;
    double waiting_since = 0.0;
    struct upload {
        int slot = 0;
        profile_line_set lines;
        std::vector<std::string> received;
        std::vector<std::string> bad;
    };
    bool receiving = false;  // a profile of an upload is open
    upload pending;
};

// Stores `p` in `slot` as an upload to this kind would bring it (lines from
// build_profile_lines). False, with `why`, for a slot outside the device's
// range or a record that cannot be sent.
bool sim_meter_store(sim_meter& m, int slot, const GunProfile& p, std::string* why = nullptr);
// Stores lines as they are (line ends included); `record` is read from them.
void sim_meter_store_lines(sim_meter& m, int slot, const profile_line_set& lines);

// One line from the program, its line end included.
void sim_meter_receive(sim_meter& m, const std::string& line, double now_ms);
// What goes out by `now_ms`, in order.
std::vector<sim_meter_output> sim_meter_take(sim_meter& m, double now_ms);

// `n` bytes of noise without line ends or NUL bytes, repeatable by `seed`.
std::string sim_noise(size_t n, unsigned seed);

// Bytes on a wire: at `baud` each byte arrives ten bit times after the one
// before it (and no sooner than ten bit times after it was put); at baud 0
// at once.
struct sim_wire {
    std::deque<std::pair<char, double>> bytes;  // a byte and its arrival
    double free_at = 0.0;                        // when the last one arrives
};
void sim_wire_put(sim_wire& w, const std::string& bytes, int baud, double now_ms);
// The bytes that have arrived by `now_ms`; `times`, when given, receives
// when each of them arrived.
std::string sim_wire_take(sim_wire& w, double now_ms, std::vector<double>* times = nullptr);
