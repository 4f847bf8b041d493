// Bringing the windows up: the UI definition built into the program, loaded
// into the one builder in two parts (the selection window first, so it can
// show before the rest is read), the window icons, and the wait for a
// window's first paint.
#pragma once

#include <gtk/gtk.h>

#include <initializer_list>

// Makes the builder and loads the selection window (with the pictures its
// buttons show) from the part of the definition that holds them.
void load_selection_window();
// Loads every other top-level object of the definition.
void load_rest_of_ui();

// Gives the windows `ids` the program's icon; none when the picture does not
// load.
void set_window_icons(std::initializer_list<const char*> ids);

// Shows `window` and returns once it is drawn on the screen (or after half a
// second when the display does not show it). The main loop does not run
// meanwhile: what comes in the time (a click, a key, a close, a screen
// reader's request) waits, in its order, until the main loop handles it.
void show_window_first(GtkWidget* window);
