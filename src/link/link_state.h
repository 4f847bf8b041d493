// The link state shared by both carriers (COM port, HID-UART bridge) and the
// command channel, its one reset, and the hooks through which the link
// reaches whatever drives it (the window, a test, a command-line tool).
#pragma once

#include "settings/device_modes.h"  // relay_mode

// The receive poll's cadence per carrier.
constexpr unsigned com_poll_interval_ms = 100;
constexpr unsigned hid_poll_interval_ms = 200;

// COM carrier: the open port's descriptor, -1 when none.
extern int com_handle;
extern int com_connected;
// HID carrier: the HidUart device handle, null when none. The name clashes
// with hidapi's type: hidapi's header stays out of every file that sees this.
extern void* hid_device;
extern int hid_connected;
extern unsigned int poll_timer_id;
extern int clear_to_send;
extern float device_version;
extern int upload_active;

// Back to the start values (no carrier open, version 1.11, clear to send).
// The program starts from them; tests call it between cases.
void link_state_reset();

bool link_is_connected();

// What the link asks of its driver. Each does nothing until it is filled in
// (sleep_ms: a real sleep), so the link runs without a window.
struct link_hook_set {
    void (*pump)();                    // "pump events": keep the window alive, re-read the lists
    void (*status)(const char* text);  // one status-bar message
    void (*progress_show)(const char* text);
    void (*progress_fraction)(double fraction);
    void (*progress_hide)();
    void (*sleep_ms)(unsigned ms);
    void (*line_handler)(const char* line);  // every received line, while no upload runs
    // A one-shot timer: `fire` runs once after `ms` unless stopped first (it
    // returns false); the id is 0 when no timer could be started.
    unsigned (*start_timer)(unsigned ms, bool (*fire)());
    void (*stop_timer)(unsigned id);
};
extern link_hook_set link_hooks;
// The hooks that do nothing.
link_hook_set link_hooks_default();
