// The simulated M900 cable for tests: a bridge chip (UART off until enabled,
// configuration recorded, data reports both ways) with the meter on its UART
// side. The hidapi calls of the stand-in library drive it; tests steer it here.
#pragma once

#include "link/frame_codec.h"

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
