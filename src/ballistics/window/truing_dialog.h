// The truing dialog of the solution preview: the user types ranges and the
// elevation holds they needed, sees the holds the profile predicts before
// and after truing, and applies the trued velocity and drop scale factors
// to the form, or cancels.
#pragma once

#include <gtk/gtk.h>

// Shows the dialog over `parent` for the profile and conditions the preview
// shows now.
void open_truing_dialog(GtkWindow* parent);
// Closes it as Cancel does (the preview closing).
void close_truing_dialog();

// Its parts, for tests: "dialog", "unit" (the hold unit menu), "range1" ..
// "range6", "hold1" .., "before1" .., "after1" .., "difference1" .., "note",
// "apply", "cancel". Null before the first open or for an unknown name.
GtkWidget* truing_dialog_part(const char* name);
