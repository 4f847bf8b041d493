// Shell services every window uses: widget lookup in the one builder, the
// status bar, the progress window, the red/black "Profile Name:" label, the
// about window, and the quit sequence.
#pragma once

#include <gtk/gtk.h>

extern GtkBuilder* ui_builder;
extern int progress_visible;

// Widget by builder id; nullptr for an unknown id.
GtkWidget* get_widget(const char* id);
// Any builder object (stores, models) by id.
GObject* get_object(const char* id);

// One message in the status bar id_sb, replacing the previous one.
void status_message(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

gboolean progress_show(const char* label);
gboolean progress_set_fraction(double fraction);
gboolean progress_hide();

// 1: unsaved (red label); anything else: saved (black).
void mark_profile_state(int state);

void show_about(GtkWidget* widget);
// Hides the emitting widget; keeps it for the next use.
gboolean hide_on_close(GtkWidget* widget);

// The first widget of `type` in `widget` or below it (depth first).
GtkWidget* find_descendant(GtkWidget* widget, GType type);

// Sets `label` (mnemonic or plain) of a button whose child is a label or a box
// holding one.
void set_button_label(GtkWidget* button, const char* text);
// Loads `file` into an image widget only when it loads without error.
void set_image_file(GtkWidget* image, const char* file);

void quit_application();
