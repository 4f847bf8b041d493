// The profile folders without the toolkit: the PC and device-side paths of a
// profile name, the name rules, bounded folder scans in byte order, copying
// with or without replacement through a temporary file, deleting, the limit.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

constexpr int kPcScanCapacity = 8192;
constexpr int kDeviceScanCapacity = 50;
// A row's text buffer; longer file names are not shown.
constexpr size_t kRowTextBytes = 128;
constexpr int kDeviceProfileLimit = 30;
constexpr int kRelayDeviceProfileLimit = 34;

extern const char* const kPcProfileFolder;     // "../Profiles"
extern const char* const kDeviceMirrorFolder;  // "../Device"

// A profile file a list does not show, and why ("not UTF-8").
struct LeftOutFile {
    std::string name;
    std::string why;
};

struct FolderScan {
    std::vector<std::string> names;     // whole file names, extension included, sorted
    bool opened = false;                // the folder could be read
    bool incomplete = false;            // names were left out (table full, too long, not UTF-8, ...)
    std::vector<LeftOutFile> left_out;  // the files left out by name, in byte order
    size_t beyond_capacity = 0;         // and how many more the table had no room for
};

// Byte-wise order of two names (strcmp): "GUN10" < "GUN2", "B" < "a".
bool compare_names(const std::string& a, const std::string& b);

// True when the last four bytes are ".pro", or ".PRO" when `upper_too`.
bool has_profile_extension(const char* name, bool upper_too);

// Reads `folder` and keeps only regular files (a link counts as what it
// points to), at most `capacity` matching names, sorted. A name too long for
// a row, one that is not UTF-8 and a link to nothing are left out by name.
FolderScan scan_profile_folder(const std::string& folder, bool upper_too, int capacity);
// The scans of the two lists also leave out a case twin: X.PRO beside X.pro
// (the row X opens X.pro).
FolderScan scan_pc_folder();
// The wrist-GPS folder in folder mode (empty when none is chosen yet), else
// the mirror folder.
FolderScan scan_device_folder();

// The files a scan left out, for one line of the status bar: at most two by
// name (shortened, bytes that are not UTF-8 as \xNN) with their reasons, then
// how many more: "bad\xFF.pro (not UTF-8) and 3 more". Empty when none.
std::string left_out_summary(const FolderScan& scan);
// Every file left out, one "name: why" line each, for the trace.
std::string left_out_lines(const FolderScan& scan);
// A file name as the window can show it: bytes that are not UTF-8 as \xNN,
// control characters as ?, cut to `max_chars` characters with "...".
std::string shown_file_name(const std::string& name, size_t max_chars = 40);

// The list text of a file name: the name less its last four characters.
std::string profile_row_text(const std::string& file_name);

// A name may become a file name only when it cannot leave its folder: no
// path separator, no "..", no control character.
bool profile_name_is_safe(const char* name);
// Why a name is not safe, to follow "Not saved: " ("a profile name cannot
// contain /"); "" for a safe name.
std::string profile_name_problem(const char* name);

std::string pc_profile_path(const char* name);
// kolvan_folder + "/<name>.pro" in folder mode, else "../Device/<name>.pro".
std::string device_profile_path(const char* name);
// False in folder mode while no folder has been chosen.
bool device_folder_is_set();

// 34 with the relay device, else 30.
int device_profile_limit();
bool device_has_room(int device_profile_count);

enum class CopyMode { fail_if_exists, replace };
// Why a copy or delete failed: the errno of the call that failed (EEXIST
// when the target is there), or a source that is no whole profile.
struct FileFailure {
    int error = 0;
    bool not_a_profile = false;  // the source is not a regular file of 556 or 428 bytes
    size_t size = 0;             // with not_a_profile: the bytes the source holds
};
// Copies the file byte for byte through a temporary file beside `to`; a
// failure leaves `to` as it was and no partial file behind. With
// `profiles_only` only a regular file of 556 or 428 bytes is copied.
bool copy_profile_file(const std::string& from, const std::string& to, CopyMode mode, FileFailure* why = nullptr,
                       bool profiles_only = false);
bool delete_profile_file(const std::string& path, FileFailure* why = nullptr);
// 0 when the device side's folder can be read as a folder, else the errno
// (ENOENT when the wrist unit's folder is gone with the unit).
int device_folder_error();
// Creates `folder` (and its parents) when it is missing.
bool ensure_folder(const std::string& folder);

// Deletes the profile files of the mirror folder, tracing "Deleting... %s\n"
// for each; nothing in folder mode. Returns the number deleted.
int delete_device_mirror_files();
