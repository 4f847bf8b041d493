// Helpers for the GUI tests: every test executable starts the program's own
// start-up in a fresh working folder (bin/ with the pictures, ../Profiles,
// ../Device) under Xvfb and then drives widgets by their builder ids.
#pragma once

#include <gtk/gtk.h>

#include <string>

// The working folder's parent: <tmp>/ holding bin/, Profiles/, Device/.
const std::string& test_root();

// Runs pending main-loop iterations without blocking.
void pump_events();

std::string entry_text(const char* id);
// Types `text` into an entry (replacing it) the way the toolkit would on
// input: the "changed" handler runs.
void set_entry_text(const char* id, const char* text);
// Enter in an entry.
void press_enter(const char* id);

bool is_sensitive(const char* id);
bool is_visible(const char* id);
std::string label_markup_colour();  // "Red" or "Black" of label5
std::string label_text(const char* id);
std::string combo_text(const char* id);
int combo_rows(const char* id);
void set_combo_text(const char* id, const char* text);
void click(const char* id);
void set_toggle(const char* id, bool active);
bool toggle_active(const char* id);
// The status bar's top message.
std::string status_text();

// Answers the next dialog that runs (gtk_dialog_run or a shown message
// dialog) with `response`, from a timeout in its nested main loop.
void answer_next_dialog(int response);
