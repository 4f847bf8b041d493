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

FolderScan scan_profile_folder(const std::string& folder, bool upper_too, int capacity)
{
    FolderScan scan;
    if (folder.empty()) return scan;
    unique_dir dir(folder.c_str());
    if (!dir) return scan;
    scan.opened = true;
    scan.names.reserve(static_cast<size_t>(std::min(capacity, 1024)));
    while (const dirent* e = dir.next()) {
        if (!has_profile_extension(e->d_name, upper_too)) continue;
        if (!is_regular_entry(folder, e)) continue;
        if (std::strlen(e->d_name) >= kRowTextBytes || !valid_utf8(e->d_name)) {
            scan.incomplete = true;
            continue;
        }
        scan.names.emplace_back(e->d_name);
    }
    // Over capacity the first names in byte order are kept, whatever order
    // the folder gives them in: the list and the upload agree on them.
    std::sort(scan.names.begin(), scan.names.end(), compare_names);
    if (static_cast<int>(scan.names.size()) > capacity) {
        scan.names.resize(static_cast<size_t>(capacity));
        scan.incomplete = true;
    }
    return scan;
}

FolderScan scan_pc_folder() { return scan_profile_folder(kPcProfileFolder, false, kPcScanCapacity); }

FolderScan scan_device_folder()
{
    std::string folder = kolvan_folder_mode ? std::string(kolvan_folder) : std::string(kDeviceMirrorFolder);
    return scan_profile_folder(folder, true, kDeviceScanCapacity);
}

std::string profile_row_text(const std::string& file_name)
{
    return file_name.size() >= 4 ? file_name.substr(0, file_name.size() - 4) : std::string();
}

bool profile_name_is_safe(const char* name)
{
    if (!name) return false;
    if (std::strstr(name, "..")) return false;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p)
        if (*p == '/' || *p == '\\' || *p < 0x20 || *p == 0x7f) return false;
    return true;
}

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
