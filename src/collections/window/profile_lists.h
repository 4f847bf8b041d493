// The two profile lists of the main window: their columns, filling them from
// the PC and device-side folders, the refresh pump of the transfers, loading
// the profile of a selected row, and emptying the device mirror folder.
#pragma once

#include <gtk/gtk.h>

// Rows put into `dls` by the last device scan.
extern int device_profile_count;

void setup_profile_list_columns();
int scan_pc_profiles();
int scan_device_profiles();
void add_pc_profile_row(const char* file_name);
void add_device_profile_row(const char* file_name);
// Both scans, then up to five pending main-loop iterations.
void refresh_profile_lists();

void on_pc_list_cursor_changed(GtkTreeView* view);
void on_device_list_cursor_changed(GtkTreeView* view);

// Deletes the mirror folder's profiles (not in folder mode), then rescans the
// device side.
void clear_device_folder();
