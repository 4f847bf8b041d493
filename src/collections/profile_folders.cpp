#include "collections/profile_folders.h"

#include "base/utf8.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "base/console.h"
#include "base/file_replace.h"
#include "base/owned.h"
#include "settings/device_modes.h"

const char* const kPcProfileFolder = "../Profiles";
const char* const kDeviceMirrorFolder = "../Device";

// The sizes of a whole profile file: the record and its older layout.
constexpr size_t kWholeProfileBytes = 556;
constexpr size_t kOlderProfileBytes = 428;

namespace {

// A folder entry that is a regular file, or a link to one.
bool is_regular_entry(const std::string& folder, const dirent* e)
{
    if (e->d_type == DT_REG) return true;
    if (e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) return false;
    struct stat st;
    return ::stat((folder + "/" + e->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool fail(FileFailure* why, int error)
{
    if (why) why->error = error;
    return false;
}

}  // namespace

bool compare_names(const std::string& a, const std::string& b) { return std::strcmp(a.c_str(), b.c_str()) < 0; }

bool has_profile_extension(const char* name, bool upper_too)
{
    size_t n = std::strlen(name);
    if (n < 4) return false;
    const char* ext = name + n - 4;
    return std::strcmp(ext, ".pro") == 0 || (upper_too && std::strcmp(ext, ".PRO") == 0);
}

namespace {

// Reads the folder; with `upper_seen` also collects the names ending in
// ".PRO" that `upper_too` leaves out.
FolderScan scan_folder(const std::string& folder, bool upper_too, int capacity, std::vector<std::string>* upper_seen)
{
    FolderScan scan;
    if (folder.empty()) return scan;
    unique_dir dir(folder.c_str());
    if (!dir) return scan;
    scan.opened = true;
    scan.names.reserve(static_cast<size_t>(std::min(capacity, 1024)));
    while (const dirent* e = dir.next()) {
        if (!has_profile_extension(e->d_name, upper_too)) {
            if (upper_seen && has_profile_extension(e->d_name, true)) upper_seen->emplace_back(e->d_name);
            continue;
        }
        if (!is_regular_entry(folder, e)) {
            struct stat st;
            if ((e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) &&
                ::lstat((folder + "/" + e->d_name).c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
                ::access((folder + "/" + e->d_name).c_str(), F_OK) != 0)
                scan.left_out.push_back({e->d_name, "a link to nothing"});
            continue;
        }
        if (std::strlen(e->d_name) >= kRowTextBytes) scan.left_out.push_back({e->d_name, "name too long"});
        else if (!valid_utf8(e->d_name)) scan.left_out.push_back({e->d_name, "name not UTF-8"});
        else scan.names.emplace_back(e->d_name);
    }
    // Over capacity the first names in byte order are kept, whatever order
    // the folder gives them in: the list and the upload agree on them.
    std::sort(scan.names.begin(), scan.names.end(), compare_names);
    if (static_cast<int>(scan.names.size()) > capacity) {
        scan.beyond_capacity = scan.names.size() - static_cast<size_t>(capacity);
        scan.names.resize(static_cast<size_t>(capacity));
    }
    return scan;
}

std::string lower_twin(const std::string& upper_name) { return upper_name.substr(0, upper_name.size() - 4) + ".pro"; }

// X.PRO beside X.pro: the row X opens X.pro, so X.PRO is never reached.
void leave_out_case_twins(FolderScan& scan, const std::vector<std::string>& upper_seen)
{
    auto listed = [&scan](const std::string& name) {
        return std::binary_search(scan.names.begin(), scan.names.end(), name, compare_names);
    };
    std::vector<std::string> twins;
    for (const std::string& name : scan.names)
        if (has_profile_extension(name.c_str(), true) && !has_profile_extension(name.c_str(), false) &&
            listed(lower_twin(name)))
            twins.push_back(name);
    for (const std::string& name : upper_seen)
        if (listed(lower_twin(name))) twins.push_back(name);
    for (const std::string& name : twins) {
        auto at = std::lower_bound(scan.names.begin(), scan.names.end(), name, compare_names);
        if (at != scan.names.end() && *at == name) scan.names.erase(at);
        scan.left_out.push_back({name, "a case twin of " + lower_twin(name)});
    }
}

FolderScan finish(FolderScan scan)
{
    std::sort(scan.left_out.begin(), scan.left_out.end(),
              [](const LeftOutFile& a, const LeftOutFile& b) { return compare_names(a.name, b.name); });
    scan.incomplete = !scan.left_out.empty() || scan.beyond_capacity > 0;
    return scan;
}

FolderScan scan_list_folder(const std::string& folder, bool upper_too, int capacity)
{
    std::vector<std::string> upper_seen;
    FolderScan scan = scan_folder(folder, upper_too, capacity, upper_too ? nullptr : &upper_seen);
    leave_out_case_twins(scan, upper_seen);
    return finish(std::move(scan));
}

}  // namespace

FolderScan scan_profile_folder(const std::string& folder, bool upper_too, int capacity)
{
    return finish(scan_folder(folder, upper_too, capacity, nullptr));
}

FolderScan scan_pc_folder() { return scan_list_folder(kPcProfileFolder, false, kPcScanCapacity); }

FolderScan scan_device_folder()
{
    std::string folder = kolvan_folder_mode ? std::string(kolvan_folder) : std::string(kDeviceMirrorFolder);
    return scan_list_folder(folder, true, kDeviceScanCapacity);
}

std::string shown_file_name(const std::string& name, size_t max_chars)
{
    std::string out;
    size_t chars = 0;
    for (size_t i = 0; i < name.size();) {
        if (chars == max_chars) return out + "...";
        const unsigned char c = static_cast<unsigned char>(name[i]);
        size_t n = c < 0x80                 ? 1
                   : c >= 0xC2 && c <= 0xDF ? 2
                   : c >= 0xE0 && c <= 0xEF ? 3
                   : c >= 0xF0 && c <= 0xF4 ? 4
                                            : 0;
        if (n == 1) {
            out += c < 0x20 || c == 0x7f ? '?' : static_cast<char>(c);
        } else if (n > 1 && i + n <= name.size() && valid_utf8(name.data() + i, n)) {
            out.append(name, i, n);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
            n = 1;
        }
        i += n;
        ++chars;
    }
    return out;
}

std::string left_out_summary(const FolderScan& scan)
{
    const size_t named = std::min<size_t>(2, scan.left_out.size());
    const size_t more = scan.left_out.size() - named + scan.beyond_capacity;
    std::string text;
    for (size_t i = 0; i < named; ++i) {
        if (i) text += more ? ", " : " and ";
        text += shown_file_name(scan.left_out[i].name) + " (" + scan.left_out[i].why + ")";
    }
    if (more == 0) return text;
    if (named == 0) return std::to_string(more) + " beyond the first " + std::to_string(scan.names.size());
    return text + " and " + std::to_string(more) + " more";
}

std::string left_out_lines(const FolderScan& scan)
{
    std::string lines;
    for (const LeftOutFile& f : scan.left_out)
        lines += "Left out of the list: " + shown_file_name(f.name, 300) + ": " + f.why + "\n";
    if (scan.beyond_capacity)
        lines += "Left out of the list: " + std::to_string(scan.beyond_capacity) + " more beyond the first " +
                 std::to_string(scan.names.size()) + "\n";
    return lines;
}

std::string profile_row_text(const std::string& file_name)
{
    return file_name.size() >= 4 ? file_name.substr(0, file_name.size() - 4) : std::string();
}

std::string profile_name_problem(const char* name)
{
    if (!name) return "there is no name";
    if (std::strchr(name, '/')) return "a profile name cannot contain /";
    if (std::strchr(name, '\\')) return "a profile name cannot contain \\";
    if (std::strstr(name, "..")) return "a profile name cannot contain ..";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p)
        if (*p < 0x20 || *p == 0x7f) return "a profile name cannot contain a control character (a tab, a line end)";
    return "";
}

bool profile_name_is_safe(const char* name) { return profile_name_problem(name).empty(); }

std::string pc_profile_path(const char* name)
{
    return (std::filesystem::path(kPcProfileFolder) / (std::string(name) + ".pro")).string();
}

bool device_folder_is_set() { return !kolvan_folder_mode || kolvan_folder[0] != '\0'; }

std::string device_profile_path(const char* name)
{
    std::filesystem::path folder = kolvan_folder_mode ? kolvan_folder : kDeviceMirrorFolder;
    return (folder / (std::string(name) + ".pro")).string();
}

int device_profile_limit() { return relay_mode ? kRelayDeviceProfileLimit : kDeviceProfileLimit; }

bool device_has_room(int device_profile_count) { return device_profile_count < device_profile_limit(); }

bool copy_profile_file(const std::string& from, const std::string& to, CopyMode mode, FileFailure* why,
                       bool profiles_only)
{
    unique_fd src(::open(from.c_str(), O_RDONLY | O_CLOEXEC | (profiles_only ? O_NONBLOCK : 0)));
    if (!src) return fail(why, errno);
    struct stat st;
    if (::fstat(src.get(), &st) != 0) return fail(why, errno);
    if (S_ISDIR(st.st_mode)) return fail(why, EISDIR);
    if (profiles_only && !S_ISREG(st.st_mode)) {
        if (why) why->not_a_profile = true;
        return false;
    }
    // Refuse early rather than write a whole copy that cannot be placed.
    if (mode == CopyMode::fail_if_exists && ::access(to.c_str(), F_OK) == 0) return fail(why, EEXIST);

    std::vector<unsigned char> data;
    unsigned char buf[65536];
    for (;;) {
        ssize_t n = ::read(src.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(why, errno);
        if (n == 0) break;
        data.insert(data.end(), buf, buf + n);
        // Nothing longer than a profile is a profile: stop reading there.
        if (profiles_only && data.size() > kWholeProfileBytes) break;
    }
    src.reset();
    if (profiles_only && data.size() != kWholeProfileBytes && data.size() != kOlderProfileBytes) {
        if (why) {
            why->not_a_profile = true;
            why->size = static_cast<size_t>(st.st_size);
        }
        return false;
    }
    errno = 0;
    if (write_file_replacing(to, data.data(), data.size(),
                             mode == CopyMode::replace ? Placement::replace : Placement::keep_existing))
        return true;
    return fail(why, errno ? errno : EIO);
}

bool delete_profile_file(const std::string& path, FileFailure* why)
{
    if (::unlink(path.c_str()) == 0) return true;
    return fail(why, errno);
}

int device_folder_error()
{
    const char* folder = kolvan_folder_mode ? kolvan_folder : kDeviceMirrorFolder;
    struct stat st;
    if (::stat(folder, &st) != 0) return errno;
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
    return ::access(folder, R_OK | X_OK) == 0 ? 0 : errno;
}

bool ensure_folder(const std::string& folder)
{
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return std::filesystem::is_directory(folder, ec);
}

int delete_device_mirror_files()
{
    if (kolvan_folder_mode) return 0;
    // Collect first: deleting while reading the folder may skip entries.
    std::vector<std::string> names;
    {
        unique_dir dir(kDeviceMirrorFolder);
        while (const dirent* e = dir.next())
            if (has_profile_extension(e->d_name, true)) names.emplace_back(e->d_name);
    }
    int deleted = 0;
    for (const std::string& n : names) {
        char path[512];
        std::snprintf(path, sizeof path, "%s/%s", kDeviceMirrorFolder, n.c_str());
        console_message("Deleting... %s\n", path);
        if (::unlink(path) == 0) ++deleted;
    }
    return deleted;
}
