// The program's flows: start-up (locale, toolkit, the UI definition, start
// values of the profile and the combos, the hooks, the signal table, the
// selection window) and quitting. The GUI tests run the same start-up
// without entering the main loop.
#pragma once

// Steps up to showing the selection window; returns false when the toolkit
// cannot start (no display).
bool start_application(int* argc, char*** argv);

// start_application, then the main loop; the exit status.
int run_application(int argc, char** argv);

// The locale the program runs in: "en_US" when the system has it, else
// "C.UTF-8"; numbers always use ".". Returns the name that was set.
const char* set_program_locale();

// Connects the whole signal table.
void connect_signals();

// Saves the settings, stops the receive poll and leaves the main loop.
void quit_application();
