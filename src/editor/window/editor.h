// The profile editor in the main window: showing cvIn in the form, reading the
// form back, New Profile, loading and writing profile files, and the handlers
// of the unit-system radios and the output-unit combos.
#pragma once

#include <gtk/gtk.h>

#include "profile/gun_profile.h"

void show_profile();
void update_unit_labels();
void read_form_into_profile();
// The form read into `p` as read_form_into_profile reads it into cvIn; marks
// nothing.
void read_form_into(GunProfile& p);
void on_form_entry_changed();
void new_profile(GtkWidget* widget);
// Shows cvIn after the bullet library filled it; a custom curve just chosen
// also hides the G1/G7 radios and their caption.
void show_chosen_bullet(bool custom_curve);

// Reads `path` into cvIn (unchanged when it cannot be read), shows it and
// marks it saved.
void load_profile_file(const char* path);
// Writes cvIn to `path`; true and marked saved when the whole file was
// written, else the status bar says so and nothing is marked.
bool write_profile_file(const char* path);

void on_input_units_toggled(GtkWidget* widget);
void on_output_units_changed(GtkWidget* widget);
