// The link state shared by both carriers (COM port, HID-UART bridge) and the
// command channel, and the hooks and driver through which the link reaches
// whatever runs it (the window, a test, a command-line tool). The lowest unit
// of the link: connecting, disconnecting and the one reset are the carriers'
// (carriers.h), above the command channel and the download.
#pragma once

#include <csignal>

#include "settings/device_modes.h"  // relay_mode

// The receive poll's cadence per carrier.
constexpr unsigned com_poll_interval_ms = 100;
constexpr unsigned hid_poll_interval_ms = 200;

// COM carrier: the open port's descriptor, -1 when none.
extern int com_handle;
// The Connect button's state and the receive poll's timer id (0 when none)
// belong to the link: others read them; link_connect_port,
// link_disconnect_port, link_connect_bridge and link_reset (carriers.h)
// change them.
extern const int& com_connected;
extern const unsigned int& poll_timer_id;
// HID carrier: the HidUart device handle, null when none. The name clashes
// with hidapi's type: hidapi's header stays out of every file that sees this.
extern void* hid_device;
extern int hid_connected;
extern int clear_to_send;
extern float device_version;
extern int upload_active;
// Set from a signal handler (Ctrl-C in a terminal program): an upload stops
// before its next command. link_reset clears it.
extern volatile std::sig_atomic_t link_stop_requested;

// Back to the start values (no carrier open, version 1.11, clear to send),
// the receive poll stopped. link_reset (carriers.h) also closes the carriers.
void link_state_reset();

bool link_is_connected();

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

// What runs the link's timers and pauses. A timer's `fire` runs after `ms`
// and again every `ms` for as long as it returns true; the id is 0 when no
// timer could be started. `sleep_ms` pauses while timers keep running;
// `pump` runs what is due now (the window also redraws and re-reads lists).
struct link_driver {
    unsigned (*start_timer)(unsigned ms, bool (*fire)());
    void (*stop_timer)(unsigned id);
    void (*sleep_ms)(unsigned ms);
    void (*pump)();
};

// What the link asks of its caller. The reporting hooks do nothing until
// filled in; received lines go to the download (link_hooks_default in
// carriers.h); the driver's part is missing until one is given (sleep_ms is a
// real sleep meanwhile), and a transfer or connection then refuses to start.
struct link_hook_set {
    void (*pump)();                    // "pump events": keep the window alive, re-read the lists
    void (*status)(const char* text);  // one status-bar message
    void (*progress_show)(const char* text);
    void (*progress_fraction)(double fraction);
    void (*progress_hide)();
    void (*sleep_ms)(unsigned ms);
    void (*line_handler)(const char* line);  // every received line, while no upload runs (the download's)
    unsigned (*start_timer)(unsigned ms, bool (*fire)());
    void (*stop_timer)(unsigned id);
    // A download emptied the device folder it fills.
    void (*device_folder_changed)();
};
extern link_hook_set link_hooks;
// The hooks that report nothing and drop every line, without a driver; the
// carriers start link_hooks from this with the download's line handler.
link_hook_set link_hooks_silent();
// Puts a driver's four calls into link_hooks.
void link_use_driver(const link_driver& driver);
// False while no driver has been given: the timers could not run, and a
// silent device would hold the caller for ever.
bool link_driver_ready();
// The status and trace text of a transfer started without a driver.
extern const char* const link_no_driver_text;
// True (and nothing starts) when no driver is there: says so on the status
// hook and the trace.
bool link_refuse_without_driver();
