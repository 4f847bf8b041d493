// The main window's commands on the profile folders: Save Profile, Copy
// Profile under a new name, the two Delete buttons, and Copy to Device /
// Copy to PC with their overwrite questions.
#pragma once

#include <gtk/gtk.h>

void save_profile(GtkWidget* widget);
// Save Profile; true when the file was written (a failure is in the status
// bar with the file's name and the system's reason).
bool save_current_profile();
void copy_profile_as(GtkWidget* widget);
void confirm_delete_profile(GtkWidget* widget);
void delete_pc_profile();
void delete_device_profile();
void copy_profile_between_folders(GtkWidget* widget);
void overwrite_on_device_response(GtkDialog* dialog, gint response, gpointer overwrite_dialog);
void overwrite_on_pc_response(GtkDialog* dialog, gint response, gpointer overwrite_dialog);
