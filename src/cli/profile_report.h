// Texts for a terminal: a profile field by field, the fields where two
// profiles differ, and a serial port as the window's port list shows it.
#pragma once

#include <string>

#include "cli/profile_fields.h"
#include "link/platform/port_list.h"

// Every value of the record, one a line in record order: its name, value,
// storage unit and, for codes, what the code means. With `units` (1 Mixed,
// 2 English, 3 Metric; 0 for none) each line the editor shows also carries
// the text the editor's form shows for it under that unit system.
std::string show_text(const GunProfile& p, int units);

// One line for each value that differs between `a` and `b` (bit for bit: a
// NaN payload or the sign of a zero counts): "name: A unit -> B unit".
// Empty when none differ.
std::string diff_text(const GunProfile& a, const GunProfile& b);

// A port as the "COM Port" list shows it: the name (at most 63 bytes), and
// two spaces and the system's description where it says more than the name.
std::string port_line(const serial_port_info& info);
