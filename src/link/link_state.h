// The link's public face below the carriers: the callback table a caller
// hands over once, and the queries and commands on the link's state. The
// state itself is one object private to the link (link_object.h); only the
// link's own sources and link_test_access.h see it. Connecting,
// disconnecting and the one reset are the carriers' (carriers.h), above the
// command channel and the download.
#pragma once

#include "link/link_callbacks.h"
#include "settings/device_modes.h"  // relay_mode

// The receive poll's cadence per carrier.
constexpr unsigned com_poll_interval_ms = 100;
constexpr unsigned hid_poll_interval_ms = 200;

// The table that reports nothing and drops every line, without a driver.
link_callbacks link_callbacks_silent();
// Hands the table to the link; a null member is taken from
// link_callbacks_default (carriers.h).
void link_use(const link_callbacks& callbacks);
// The table in use.
const link_callbacks& link_callbacks_in_use();
// False while no driver has been given: the timers could not run, and a
// silent device would hold the caller for ever.
bool link_driver_ready();
// The status and trace text of a transfer started without a driver.
extern const char* const link_no_driver_text;
// True (and nothing starts) when no driver is there: says so on the status
// callback and the trace.
bool link_refuse_without_driver();

// Back to the start values (no carrier open, version 1.11, clear to send),
// the receive poll stopped. link_reset (carriers.h) also closes the carriers.
void link_state_reset();

// Queries.
bool link_is_connected();
bool link_port_connected();    // the COM side's Connect state
bool link_bridge_connected();  // the bridge carrier is open
bool link_port_open();         // a COM port is open
unsigned link_poll_timer();    // the receive poll's timer id, 0 when none
float link_device_version();   // the bridge's firmware version, 1.11 until it says
bool link_upload_active();

// Asks a running upload to stop before its next command (safe in a signal
// handler: a terminal program's Ctrl-C). link_reset clears it.
void link_request_stop();

// The COM side's Connect state and the poll's timer id, set by the carriers
// as they connect and start the poll.
void link_set_port_connected(int connected);
void link_set_poll_timer(unsigned id);
// Stops the receive poll through the driver (started by the carriers).
void link_stop_receive_poll();

// A carrier failed under the link (a read with EIO or a hang-up, a failed
// write, the bridge gone): the command channel says so here, and the handler
// the carriers gave (link_lost) closes it and ends what was running. The
// lower units of the link reach that handler only through this call.
void link_carrier_failed();
void link_set_carrier_failed_handler(void (*handler)());
