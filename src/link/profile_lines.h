// The text lines that carry a profile to and from a device: building them
// from a record (":AN", ":AP" in its three forms, ":AV", ":AC", ":AM", with
// their checksums) and reading received ones back into a record. Pure text
// work: the upload, the download and the simulated meter share it.
#pragma once

#include <string>

#include "profile/gun_profile.h"

// The longest line either side sends; longer ones are cut (received) or not
// sent (built).
constexpr size_t kMaxLineLength = 255;

// How the device's profiles are read: all after one request (the meters), or
// one number at a time (the relay device).
enum class transfer_style { bulk, indexed };

// Which ":AP" form a device takes: 3 for a meter that reported version 1.12
// (or 1.12.0); otherwise 1 for a left or no twist, 2 for a right twist.
int choose_main_form(bool relay, float device_version, float bt);

// Short lines.
std::string count_line(int n);         // ":AG,%02d\r"
std::string slot_line(int slot);       // ":AU,%02d\r"
std::string request_line(int number);  // ":AD,%02d\r"

// The five lines of one profile, each ending in "\r", the data lines with
// their checksum suffix.
struct profile_line_set {
    std::string name;      // ":AN,%s" (relay device) or ":AN,*%s"
    std::string main;      // ":AP ..."
    std::string mv_table;  // ":AV ..."
    std::string drag;      // ":AC ...": the drag coefficients of the custom curve
    std::string mach;      // ":AM ...": its Mach numbers
};

// Builds the lines of `p` for a device. False, with `why` saying it, when the
// record cannot be sent as it is: a value that is not a finite number, a name
// holding a control character, or a line that would pass kMaxLineLength.
bool build_profile_lines(const GunProfile& p, bool relay, float device_version, profile_line_set* out,
                         std::string* why);

// Reading. A line is cut into tokens at spaces and commas; a missing token
// reads as 0, a token that does not begin with a number as 0, and at most
// kMaxLineLength characters of a line are used.

// The name an ":AN" line carries: the text after its first comma up to the
// next comma, without the line end; a leading '|' or '*' is dropped and the
// rest kept to 10 characters; never more than 31 bytes, cut at a character
// boundary.
std::string received_name(const char* line);

// ":AN": clears `p`, writes the download defaults and the name.
void begin_received_profile(GunProfile& p, const char* line);
// ":AP": the main fields, read as the style and version ask.
void read_main_line(GunProfile& p, const char* line, transfer_style style, float device_version);
// ":AV": the muzzle-velocity/temperature table.
void read_mv_table_line(GunProfile& p, const char* line);
// ":AC" and ":AM": the 32 drag coefficients and the 32 Mach numbers of cc.
void read_drag_line(GunProfile& p, const char* line);
void read_mach_line(GunProfile& p, const char* line);
