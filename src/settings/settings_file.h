// The settings file: 1028 bytes, the editor's unit system (int32, little
// endian) followed by the wrist-GPS folder (1024 bytes, NUL-terminated UTF-8).
// Reading and writing only; the toolkit side decides when.
#pragma once

#include <cstddef>
#include <cstdint>

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

// Writes through a temporary file renamed over `path`, so a failed write
// leaves the old file. The folder is written as its 1024-byte field.
bool write_settings_file(const char* path, int input_units, const char folder[settings_folder_size]);
