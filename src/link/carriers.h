// Opening and closing the two carriers: a COM port (a device path, or a
// "COMn" name) at the baud of the device kind, and the USB HID-UART bridge
// with its connect message. Draining the COM input. Closing a carrier that
// failed under the link (a pulled cable) at once. The top of the link:
// connecting and disconnecting with the receive poll, the hooks' defaults
// and the one reset.
#pragma once

#include "link/link_result.h"
#include "link/link_state.h"

// Opens the port of a port-list entry (a path, or "COMn"); on success the
// link is connected (com_connected 1) and the receive poll runs every 100 ms.
// Otherwise why the port did not open (in_use: another program has it), or
// no_driver when nothing runs the timers.
link_result link_connect_port(const char* name);
// Closes the port, stops the poll, com_connected 0.
void link_disconnect_port();
// The M900: opens the bridge (the status callback says how it went) and
// starts its 200 ms poll. no_cable, cable_failed or no_driver when not.
link_result link_connect_bridge();
// Starts (again) the receive poll through the driver.
void link_start_receive_poll(unsigned interval_ms);

// The table that reports nothing, without a driver; received lines go to the
// download. The link uses it from the start.
link_callbacks link_callbacks_default();

// Status text shown when the bridge cannot be opened.
extern const char* const hid_missing_text;

// Opens "COM%d" (n from 1 to 127) at the baud of `relay_mode`; on this
// platform COMn is /dev/ttyS(n-1). ok when open and configured.
link_result com_open(int n);
// Opens a device path (a USB adapter, a simulator's pseudo-terminal); the
// result says why it did not open (in_use: another program has the port).
link_result com_open_path(const char* path);
// A port-list entry: a path is opened as it is, otherwise the number of a
// "COMn" name is taken (split at 'C', 'O', 'M'). A failure's sentence names
// the entry.
link_result com_open_name(const char* name);
int com_close();
void com_drain_input();
// The port-list entry the open COM port was opened by; "" when none is open.
const char* com_port_name();

// Opens and configures the bridge: no_cable, or cable_failed with the
// bridge's status in err.
link_result hid_open();
// The link half of connecting to the M900: hid_open, then hid_connected = 1,
// the 7E 7E preamble, a 10 ms pause and the connect message. On failure the
// status callback gets hid_missing_text. Returns hid_open's result; the
// caller then sets the lamp and starts the poll when it is ok.
link_result hid_connect_link();
// Closes the bridge (a Disconnect, a pulled cable): no carrier, clear to send.
void hid_close_link();

// The M900's cable. Choosing that device kind sets bridge_chosen and
// bridge_auto (un-choosing clears both); while bridge_auto is set (by the
// choice and by Connect, cleared by Disconnect) the bridge is opened whenever
// its cable appears.
void link_choose_bridge(bool chosen);
void link_set_bridge_auto(bool on);
bool link_bridge_chosen();
bool link_bridge_auto();
// True when a bridge is plugged in.
bool bridge_present();
// hid_connect_link when a bridge is plugged in; no_cable and no message when
// not.
link_result bridge_connect_if_present();

// A carrier that failed under the link (a read with EIO or a hang-up, a
// failed write, the bridge gone) is closed at once and the driver told
// through the `lost` callback; a running download ends saying what it saved,
// an upload says how many profiles went out whole when it stops, otherwise
// the status says the device was disconnected. Nothing open: nothing done.
void link_lost();
extern const char* const bridge_lost_text;

// The one reset: closes whatever carrier is open, stops the receive poll,
// and brings the link state, the command channel with its buffers and the
// download back to where the program starts.
void link_reset();
