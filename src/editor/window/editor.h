// The profile editor in the main window: showing cvIn in the form, reading the
// form back, New Profile, loading and writing profile files, and the handlers
// of the unit-system radios and the output-unit combos.
#pragma once

#include <gtk/gtk.h>

#include "profile/gun_profile.h"
#include <string>

void show_profile();
void update_unit_labels();
void read_form_into_profile();
// The form read into `p` as read_form_into_profile reads it into cvIn; marks
// nothing.
void read_form_into(GunProfile& p);
// The profile as the form shows it now, its name entry included: cvIn with
// the form's texts over it. The form shows no atmosphere or maximum range:
// those stay what cvIn holds (a loaded file's own, until the form is read
// back into it). Marks nothing.
void read_shown_profile(GunProfile& p);
// A choice that is read with the form (G1/G7, a click unit) or Enter in the
// drop scale factor table: what the form shows changed.
void on_form_choice_changed();
void on_form_entry_changed();
// New Profile; with a widget (the button) it first settles unsaved changes.
void new_profile(GtkWidget* widget);
// Shows cvIn after the bullet library filled it; a custom curve just chosen
// also hides the G1/G7 radios and their caption.
void show_chosen_bullet(bool custom_curve);

// Reads `path` into cvIn (unchanged when it cannot be read), shows it and
// marks it saved; false, with a status message, when it could not be read.
// A file shorter than a profile is refused: the form stays as it was.
bool load_profile_file(const char* path);
// Writes cvIn to `path`; true and marked saved when the whole file was
// written. Else nothing is marked and the status bar says so, or, with
// `reason`, the system's reason ("permission denied") is put there for the
// caller to tell.
bool write_profile_file(const char* path, std::string* reason = nullptr);

// Whether the form or the record holds changes since the profile was
// loaded, saved or made new.
bool profile_has_changes();
// Before the shown profile is replaced: with changes, asks "Save changes to
// <name>?"; true when the caller may go on (saved or discarded).
bool settle_unsaved_changes();

// The form's start state, once the UI definition is loaded: the custom-curve
// note hidden, the unit combos given their rows (the first, MIL, active) and
// the click-value rows insensitive.
void set_up_form();

void on_input_units_toggled(GtkWidget* widget);
void on_output_units_changed(GtkWidget* widget);
