// Opening and closing the two carriers: a COM port (a device path, or a
// "COMn" name) at the baud of the device kind, and the USB HID-UART bridge
// with its connect message. Draining the COM input.
#pragma once

// Status text shown when the bridge cannot be opened.
extern const char* const hid_missing_text;

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
// then sets the lamp and starts the poll when it is 0.
int hid_connect_link();

// The one reset: closes whatever carrier is open, stops the receive poll,
// and brings the link state, the command channel with its buffers and the
// download back to where the program starts.
void link_reset();
