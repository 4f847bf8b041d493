// The program's flows: start-up (locale, toolkit, the UI definition, start
// values of the profile and the combos, the hooks, the signal table, the
// selection window) and quitting. The GUI tests run the same start-up
// without entering the main loop.
#pragma once

#include <gtk/gtk.h>

// The whole start-up: the selection window on the screen first, then the
// rest of the program in its start state, and the signal table; no event has
// been handled when it returns. False when the toolkit cannot start (no
// display, or another program runs with this working folder).
bool start_application(int* argc, char*** argv);

// Shows `window` and returns once it is drawn on the screen (or after half a
// second when the display does not show it). The main loop does not run
// meanwhile: what comes in the time (a click, a key, a close, a screen
// reader's request) waits, in its order, until the main loop handles it.
void show_window_first(GtkWidget* window);

// start_application, then the main loop; the exit status.
int run_application(int argc, char** argv);

// The locale the program runs in: "en_US" when the system has it, else
// "C.UTF-8"; numbers always use ".". Returns the name that was set.
const char* set_program_locale();

// Connects the whole signal table.
void connect_signals();

// Asks about unsaved changes of the profile (once), then saves the settings,
// stops the receive poll and leaves the main loop; false when the user
// cancelled and the program goes on.
bool quit_application();

// Takes the working folder's lock; when another program holds it, says so in
// a dialog and returns false. A folder that cannot be locked is used anyway.
bool take_working_folder();
