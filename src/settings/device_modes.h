// The run's device-kind flags and the wrist-GPS folder: set once by the
// device-kind choice (and the settings file), read by the profile lists, the
// profile commands and the link.
#pragma once

#include <cstddef>

constexpr size_t kKolvanFolderBytes = 1024;

// Read-only here: set_device_kind changes them.
extern const int& relay_mode;                   // 1: the cv-relay device was chosen
extern const int& kolvan_folder_mode;           // 1: the wrist-GPS unit; the device side is kolvan_folder
extern char kolvan_folder[kKolvanFolderBytes];  // UTF-8, NUL-terminated; empty when none was chosen

// The device kind chosen: the cv-relay device (`relay`), the wrist-GPS unit
// (`kolvan_folder`), or neither. The device-kind choice is its one caller
// in the program (the command-line tool's choice for its own run).
void set_device_kind(bool relay, bool kolvan_folder);

// Back to the start of a run: no device kind chosen, no folder.
void device_modes_reset();

// Stores `path` in kolvan_folder; false (and nothing changed) when it does
// not fit the field.
bool set_kolvan_folder(const char* path);
