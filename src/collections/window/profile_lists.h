// The two profile lists of the main window: their columns, filling them from
// the PC and device-side folders, the refresh pump of the transfers, loading
// the profile of a selected row, and emptying the device mirror folder.
#pragma once

#include <gtk/gtk.h>

#include <string>

// Rows put into `dls` by the last device scan.
extern int device_profile_count;

void setup_profile_list_columns();
int scan_pc_profiles();
int scan_device_profiles();
void add_pc_profile_row(const char* file_name);
void add_device_profile_row(const char* file_name);
// Both scans, then up to five pending main-loop iterations.
void refresh_profile_lists();

// A moved cursor or selection is looked at once the event is handled: a row
// other than the shown profile's asks about unsaved changes and loads it;
// afterwards only the shown profile's row is highlighted, in one list.
void on_pc_list_cursor_changed(GtkTreeView* view);
void on_device_list_cursor_changed(GtkTreeView* view);

// The form now shows the profile of that row (loaded, or saved on the PC).
void note_shown_profile(bool device_side, const std::string& name);
// The form shows a profile of no row (New Profile): nothing is highlighted.
void note_profile_left_lists();
// "The Velmora folder ... is not there..." for the chosen wrist-GPS folder.
std::string velmora_folder_gone();

// Deletes the mirror folder's profiles (not in folder mode), then rescans the
// device side.
void clear_device_folder();
