// The bullet library window: its three lists of the built-in table (G1, G7,
// custom curve), the filter that narrows the shown list, and the Yes/No
// question that copies the chosen bullet into cvIn and shows it.
#pragma once

#include <gtk/gtk.h>

#include "library/bullet_record.h"

// Start-up: the columns of the three views, then each list once (0, 1, 10).
void setup_bullet_list_columns();
void fill_bullet_list(int list_kind);

void open_bullet_library(GtkWidget* widget);
// Hides the window and keeps it; TRUE so that a frame close only hides it.
gboolean hide_bullet_library(GtkWidget* widget);
void ask_bullet_confirmation(GtkWidget* widget);
// The question's answer: anything but No applies the row selected now on the
// page current now. Destroys the question.
void apply_chosen_bullet(GtkDialog* dialog, gint response);

// Row of the view's selection in its store, or -1.
int selected_row_index(GtkTreeView* view);
// Table index of store row `row` of the list `list_kind` as it stands now,
// or -1: rows are a filtered subset, so the row number is not the record.
int bullet_table_index(int list_kind, int row);

// Filter entry "changed" and the notebook's "switch-page": the page shown
// lists what matches the entry's text.
void on_bullet_filter_changed();
void on_bullet_page_switched(int page);

// For tests: list `records` instead of the built-in table (at most as many
// as the table has) and fill the three lists again.
void use_bullet_records(const bullet_record* records, int count);
