// Choosing the device kind in the selection window (mode flags, hidden
// controls, the M900 bridge, the relabelled relay buttons), the wrist-GPS
// folder chooser, and reading/writing settings.ini around them.
#pragma once

#include <gtk/gtk.h>

extern const char* const settings_path;  // "settings.ini" in the working folder

void load_settings();
// Writes the settings, but only once they were read this run: quitting from
// the selection window keeps what the file holds.
void save_settings();

void choose_device_kolvan(GtkWidget* button);
void choose_device_m900(GtkWidget* button);
void choose_device_m600(GtkWidget* button);
void choose_device_cv_relay(GtkWidget* button);

// Changing the device kind during a run: the main window makes way for the
// selection window, with every control a kind hides shown again and the
// relay's labels undone; the caller has closed the link and settled the
// profile's changes. The next choice keeps this run's units and folder.
void show_device_selection_again();

void choose_kolvan_folder(GtkWidget* button);
// What the chooser's accept does with the folder it returns (UTF-8).
void apply_kolvan_folder(const char* folder);
