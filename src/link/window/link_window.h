// The link's part of the main window: the port list (following the ports as
// they come and go), the Connect button, the connection lamp, the
// receive-poll timers of both carriers, opening the M900 cable when that
// device kind is chosen or its cable appears, and the two transfer buttons.
#pragma once

#include <gtk/gtk.h>

#include "link/platform/port_list.h"

// Enumeration callback of start-up: appends the port and makes it active.
int add_port_to_list(void* user_data, const serial_port_info* info);
// Start-up: the port combo's cells, then id_com_ts filled with this
// machine's serial ports (the last one found is active); from then on the
// system's device events keep the list and the M900 cable up to date.
void prepare_port_list();
// Brings id_com_ts up to the ports there are now: a port gone leaves it (the
// open one is disconnected first), a new one is appended. A row the user
// picked stays active while it exists; a new port becomes active when no row
// is, when the active one was only the program's pick and no port is open,
// or when it is the port the link was lost on.
void refresh_port_list();
// The M900's cable came (opened when wanted) or went (the link is lost).
void on_bridge_event(bool added);
// The window's part of a link that closed by itself: lamp, button, poll.
void show_link_lost(const char* port);

void on_connect_clicked(GtkWidget* widget);
// The M900's cable by hand: Connect Cable opens it (and lets it open by
// itself when plugged again), Disconnect Cable closes it until the next
// Connect Cable.
void on_cable_clicked(GtkWidget* widget);

// Send Profiles and Get Profiles. Neither starts while a transfer runs.
void on_upload_clicked(GtkWidget* widget);
void on_download_clicked(GtkWidget* widget);

// The M900 connection of the device choice: opens the bridge, lamp, poll;
// without its cable, the bridge opens when the cable appears.
void hid_connect();

// After the choice of a device kind with a COM port: selects the port last
// connected for that kind when it is listed (a port that comes later is
// selected when it is that one), else the only simulator of that kind, else
// none. A simulator of another kind is never selected by the program.
void select_port_for_kind();
// Before the device kind changes: closes whatever carrier is open and
// forgets the kind's port; false (and the status says why) while a transfer
// runs.
bool release_link_for_new_kind();

// Stops the receive poll (quitting).
void stop_receive_poll();

// Shows "gd.png" or "rd.png" in the lamp and says so to screen readers.
void set_connection_lamp(bool connected);
