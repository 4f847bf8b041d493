// The truing dialog of the solution preview: the user types ranges and the
// elevation holds they needed, sees the holds the profile predicts before
// and after truing, and applies the trued velocity and drop scale factors
// to the form, or cancels.
#pragma once

#include <gtk/gtk.h>

#include <vector>

#include "ballistics/solver.h"
#include "profile/gun_profile.h"

// What the dialog asks of the window that opens it: the profile, conditions
// and units it shows now, a way to mark the observed ranges and draw the
// trued path (none: back to the plain view), and Apply.
struct truing_owner {
    const GunProfile& (*profile)();
    const shot_conditions& (*conditions)();
    int (*units)();
    void (*show)(const std::vector<double>& ranges_yd, const GunProfile* trued);
    void (*apply)(const GunProfile& trued);
};

// Shows the dialog over `parent` for what `owner` shows now.
void open_truing_dialog(GtkWindow* parent, const truing_owner& owner);
// Closes it as Cancel does (the preview closing).
void close_truing_dialog();

// Its parts, for tests: "dialog", "unit" (the hold unit menu), "range1" ..
// "range6", "hold1" .., "before1" .., "after1" .., "difference1" .., "note",
// "apply", "cancel". Null before the first open or for an unknown name.
GtkWidget* truing_dialog_part(const char* name);
