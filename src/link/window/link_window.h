// The link's part of the main window: the port list, the Connect button, the
// connection lamp, the receive-poll timers of both carriers, opening the M900
// cable when that device kind is chosen, and the two transfer buttons.
#pragma once

#include <gtk/gtk.h>

#include "link/platform/port_list.h"

// Enumeration callback of start-up: appends the port and makes it active.
int add_port_to_list(void* user_data, const serial_port_info* info);
// Start-up: the port combo's cells, then id_com_ts filled with this
// machine's serial ports (the last one found is active).
void prepare_port_list();

void on_connect_clicked(GtkWidget* widget);

// Send Profiles and Get Profiles. Neither starts while a transfer runs.
void on_upload_clicked(GtkWidget* widget);
void on_download_clicked(GtkWidget* widget);

// The M900 connection of the device choice: opens the bridge, lamp, poll.
void hid_connect();

// Stops the receive poll (quitting).
void stop_receive_poll();

// Shows "gd.png" or "rd.png" in the lamp and says so to screen readers.
void set_connection_lamp(bool connected);
