// Link state shared by both carriers (COM port, HID-UART bridge), the hooks
// through which the toolkit layer is reached, and opening/closing carriers.
// No toolkit here: the glue sets the hooks and runs the timers.
#pragma once

#include "settings/device_modes.h"  // relay_mode

// COM carrier: the open port's descriptor, -1 when none.
extern int com_handle;
extern int com_connected;
// HID carrier: the HidUart device handle, null when none.
extern void* hid_device;
extern int hid_connected;
extern unsigned int poll_timer_id;
extern int clear_to_send;
extern float device_version;
extern int upload_active;
extern int gun_counter;
extern int gun_is_saved;

// Hooks; each defaults to doing nothing (sleep: a real sleep).
extern void (*link_pump)();                          // "pump events"
extern void (*link_status)(const char* text);        // status-bar text
extern void (*link_line_handler)(const char* line);  // the download handler
extern void (*link_progress_hide)();
extern void (*link_sleep_ms)(unsigned ms);

// Status text shown when the bridge cannot be opened.
extern const char* const hid_missing_text;

bool link_is_connected();

// Opens "COM%d" (n from 1 to 127) at the baud of `relay_mode`; on this
// platform COMn is /dev/ttyS(n-1). Returns 1 when open and configured.
int com_open(int n);
// Opens a device path (a USB adapter, a simulator's pseudo-terminal).
int com_open_path(const char* path);
// A port-list entry: a path is opened as it is, otherwise the number of a
// "COMn" name is taken (split at 'C', 'O', 'M').
int com_open_name(const char* name);
int com_close();
void com_drain_input();

// Opens and configures the bridge; 0 on success, nonzero on failure.
int hid_open();
// The link half of connecting to the M900: hid_open, then hid_connected = 1,
// the 7E 7E preamble, a 10 ms pause and the connect message. On failure the
// status hook gets hid_missing_text. Returns hid_open's result; the caller
// then sets the lamp and starts the 200 ms poll when it is 0.
int hid_connect_link();
