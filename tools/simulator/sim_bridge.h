// The simulated M900 cable for tests: a bridge chip (UART off until enabled,
// configuration recorded, data reports both ways) with the meter on its UART
// side. The hidapi calls of the stand-in library drive it; tests steer it here.
//
// The meter acknowledges each command frame (code 94) with a kind-4 frame
// and hands each command line to the profile-keeping meter of sim_meter.h
// (`meter`: stored profiles, line faults, what it sent), whose lines go back
// as kind-0 frames. It all happens inside the program's hid_write and
// hid_read calls, so a test needs no thread. The firmware version is the
// test's choice: sim_bridge_set_version("1.12.3") before connecting makes
// the meter answer the connect message with that version message and, from
// 1.12001 on, wait for the program's ":AK" after each line.
//
// Time: a clock of its own, moved by sim_bridge_advance (call it from the
// program's sleep hook), or the real time with `real_clock`. It paces bytes
// at the UART's 38400 baud both ways with `paced`, and times out a missing
// ":AK" (sim_meter.h).
//
// Frame faults: `acks_to_skip` (the next n commands go unacknowledged),
// `skip_ack_for` (the next command beginning with that text goes
// unacknowledged), `corrupt_next` (the next frame sent carries a bad CRC),
// and per line the meter's sim_fault::bad_frame.
#pragma once

#include "link/frame_codec.h"
#include "sim_meter.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

struct sim_bridge_state {
    bool present = true;          // false: no cable plugged in
    bool fail_config = false;     // the configuration report is refused
    int open_count = 0;
    bool uart_enabled = false;
    bool configured = false;
    uint8_t config[9] = {};       // last configuration report
    std::vector<std::vector<uint8_t>> feature_reports;  // every report set
    std::vector<std::vector<uint8_t>> output_reports;   // every data report written
    std::vector<uint8_t> uart_rx;    // bytes that reached the meter
    size_t dropped_while_disabled = 0;
    std::deque<uint8_t> uart_tx;     // bytes on their way to the program

    // The meter.
    frame_assembler meter_rx;
    std::vector<std::vector<uint8_t>> messages;  // decoded frames from the program
    std::vector<std::string> command_lines;      // texts of code-94 messages
    int bad_frames = 0;
    bool auto_ack = true;
    int acks_to_skip = 0;       // fault: the next n commands go unacknowledged
    uint16_t ack_value = 0;
    bool corrupt_next = false;  // fault: the next frame sent carries a bad CRC
    std::string skip_ack_for;   // fault: no acknowledgement for the next command so beginning

    sim_meter meter{sim_kind::m900};
    std::string version;  // the version text it reports; empty: none
    bool paced = false;
    bool real_clock = false;
    double clock_ms = 0;  // the virtual clock
    double real_start_ms = -1;
    sim_wire to_meter, to_program;
};

sim_bridge_state& sim_bridge();
// Back to power-on: present, UART disabled, nothing recorded.
void sim_bridge_reset();

// Frames from the meter to the program.
void sim_bridge_send_message(const uint8_t* message, size_t n);
void sim_bridge_send_text(const std::string& text, uint16_t code = 0);
void sim_bridge_send_version(const char* ten_chars);
void sim_bridge_send_ack(uint16_t value);
void sim_bridge_send_raw(const uint8_t* bytes, size_t n);  // garbage, hand-made frames

// The configuration report the meter expects: 38400 8N1, no flow control.
bool sim_bridge_config_matches_meter();

// The firmware version (at most ten characters, "1.12.3"): sent in answer to
// the connect message; sets meter.version as the program reads it, and the
// acknowledgement mode from 1.12001 on.
void sim_bridge_set_version(const std::string& text);
// Moves the virtual clock on and lets the meter act.
void sim_bridge_advance(unsigned ms);

// The stand-in's side: bytes the program wrote to the UART, and one step of
// the meter (what has arrived is taken in, what is due goes out).
void sim_bridge_uart_write(const uint8_t* bytes, size_t n);
void sim_bridge_step();
