// The program's flows: start-up (locale, toolkit, the working folder's lock,
// the hooks, the selection window, then each unit in its start state, the
// signal table) and quitting. The GUI tests run the same start-up
// without entering the main loop.
#pragma once

#include <gtk/gtk.h>

// The whole start-up: the selection window on the screen first, then the
// rest of the program in its start state, and the signal table; no event has
// been handled when it returns. False when the toolkit cannot start (no
// display, or another program runs with this working folder).
bool start_application(int* argc, char*** argv);

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
