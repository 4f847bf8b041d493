// The settings file: 1028 bytes, the editor's unit system (int32, little
// endian) followed by the wrist-GPS folder (1024 bytes, NUL-terminated UTF-8).
// Reading and writing only; the toolkit side decides when.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "settings/device_modes.h"  // kKolvanFolderBytes

constexpr size_t settings_folder_size = kKolvanFolderBytes;
constexpr size_t settings_file_size = 4 + settings_folder_size;

struct settings_record {
    int32_t input_units;
    char kolvan_folder[settings_folder_size];
};
static_assert(sizeof(settings_record) == settings_file_size, "settings record is the file layout");
static_assert(offsetof(settings_record, kolvan_folder) == 4, "folder follows the unit system");

// Returns whether the file opened. Bytes a short file lacks read as zero; a
// folder without NUL in its field is cut at 1023 bytes.
bool read_settings_file(const char* path, int& input_units, char folder[settings_folder_size]);

// What the program takes from the settings file, in place of the raw read:
// a file that is not exactly 1028 bytes keeps only a unit system of 1, 2 or
// 3 and never its folder; in a whole file a folder that is not NUL-ended
// UTF-8 text, not a full path, or names something other than a folder (a
// missing one is a wrist unit not plugged in, and stays) is dropped. Damage
// is told once on the console and the defaults (Mixed, no folder) take its
// place. A settings file that is a folder is damaged too ("it is a folder").
// Returns whether the file opened; `problem` says what was damaged.
bool read_settings_checked(const char* path, int& input_units, char folder[settings_folder_size],
                           std::string* problem = nullptr);

// Writes through a temporary file renamed over `path`, so a failed write
// leaves the old file. The folder is written as its 1024-byte field.
bool write_settings_file(const char* path, int input_units, const char folder[settings_folder_size]);

// The serial port last connected for each device kind that uses one
// ("m600", "cv-relay"), in a small text file of its own beside the settings
// file, one "kind=port" line each: the settings file keeps its fixed layout.
extern const char* const last_ports_path;  // "ports.ini" in the working folder
// The port of `kind`; "" when none was kept (or the file cannot be read).
std::string read_last_port(const char* path, const char* kind);
// Keeps `port` for `kind`, and the other kinds' lines as they are. A port
// name that is empty or holds a line end is not kept.
bool write_last_port(const char* path, const char* kind, const std::string& port);
