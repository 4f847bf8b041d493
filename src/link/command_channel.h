// The text command channel over the active carrier: sending command lines
// (framed on the bridge, with its clear-to-send wait), the receive poll of
// both carriers, delivery of received lines and the download watchdog.
#pragma once

#include <cstddef>
#include <cstdint>

// Builds a kind-0 message of `code` and `text` (`length` bytes), frames it
// and writes it after the 7E 7E preamble. Nonzero when a frame byte went out.
int send_frame_message(uint16_t code, const char* text, size_t length);

// Sends one command line (at most 255 characters). Nonzero when handed to
// the carrier whole (COM: the bytes written), 0 when not sent. Its wait for
// the bridge's acknowledgement pumps, and reads the bridge itself when the
// pump did not take the acknowledgement in.
int send_command(const char* text);

// ":AK\r" when the device's firmware asks for acknowledgements (1.12001 on).
void acknowledge_line();

// One run of the poll timer; always true (keep the timer). On the COM port
// it hands on every complete line waiting, in order; on the bridge every
// frame waiting, and after it has sent a command (a line's acknowledgement)
// it reads on as the device answers, until the bridge is idle.
bool receive_poll();

// Hands a received line to the line hook unless an upload runs. A line that
// arrives while the hook handles another follows it, never inside it.
void deliver_line(const char* line);

// Reads the bridge's ten version characters ("1.12.3" -> 1.123); 0 when they
// do not begin with a decimal number.
float parse_device_version(const uint8_t* chars, size_t n);

// Drops the part of a COM line received so far (after closing a port).
void com_line_reset();

// The receive side's frame assembler (bridge carrier): feeds one byte, true
// when a frame is complete; reset empties it and hunts for a flag again.
bool frame_assembler_push(uint8_t byte);
void frame_assembler_reset();

// Empties the COM line and the frame assembler.
void command_channel_reset();
