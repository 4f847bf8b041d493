// The "Solution Preview" window: the trajectory of the profile as the editor
// form shows it now (unsaved edits included, the profile and its saved mark
// untouched), with the shot's conditions, the table, the chart, the
// assumptions, and the range card saved to a file or printed.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "ballistics/solver.h"
#include "profile/gun_profile.h"

// The button, the menu item (Ctrl+T): shows the window, up to date.
void open_solution_preview(GtkWidget* widget);
// The form changed (Enter, a choice, another profile shown): the preview
// follows on the next idle moment, when it is shown.
void preview_form_changed();
// Reads the form and the conditions again and redraws, now.
void update_solution_preview();
// Connects the window's own controls and the menu item's shortcut; once, at start.
void connect_preview_signals();

// The window's handlers.
void on_preview_condition_entered(GtkWidget* widget);
void on_preview_coriolis_toggled(GtkWidget* widget);
void on_preview_reset_clicked(GtkWidget* widget);
gboolean hide_solution_preview(GtkWidget* widget);
void save_range_card(GtkWidget* widget);
void print_range_card(GtkWidget* widget);

// What the preview shows now: the profile, the shot's conditions, the unit
// system.
const GunProfile& preview_profile();
const shot_conditions& preview_conditions();
int preview_units();
// While the truing dialog is open: the table marks the rows at `ranges_yd`,
// and with `trued` the chart shows its path, the path before dashed under
// it. No ranges and no profile: back to the plain preview.
void preview_show_truing(const std::vector<double>& ranges_yd, const GunProfile* trued);
// The True... button: the truing dialog (truing_dialog.h).
void on_preview_true_clicked(GtkWidget* widget);

// The last solution shown (the table's rows) and its unit system, for tests.
const solution& preview_solution();
// Writes the range card as the window shows it to `path` (PDF, PNG or CSV by
// its ending); false with the reason in the status of the window otherwise.
bool save_range_card_to(const std::string& path);
// Prints the range card; with `export_pdf` it goes to that PDF file without
// a dialog (the same drawing through the print operation).
bool print_range_card_to(const char* export_pdf);
