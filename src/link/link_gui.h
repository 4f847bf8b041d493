// The link's toolkit side: the port list, the Connect button, the lamp, the
// receive-poll timers of both carriers, and the hooks through which the
// GTK-free link reaches the status bar, the progress window and the pump.
#pragma once

#include <gtk/gtk.h>

#include "link/platform/port_list.h"

// Points the link's hooks at the shell (status bar, progress, event pump).
void link_gui_init();

// Enumeration callback of start-up: appends the port and makes it active.
int add_port_to_list(void* user_data, const serial_port_info* info);
// Fills id_com_ts with this machine's serial ports.
void fill_port_list();

void on_connect_clicked(GtkWidget* widget);

// The M900 connection of the device choice: opens the bridge, lamp, poll.
void hid_connect();

// Stops the receive poll (quitting).
void stop_receive_poll();

// Shows "gd.png" or "rd.png" in the lamp and says so to screen readers.
void set_connection_lamp(bool connected);
