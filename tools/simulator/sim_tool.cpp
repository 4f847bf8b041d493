#include "sim_tool.h"

#include "collections/profile_folders.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

const char* const sim_usage =
    "usage: stowline-sim --m600|--cv-relay [--profiles DIR] [--real-time|--unpaced]\n"
    "                    [--bad-checksum LINE[@N]] [--lose LINE[@N]] [--garbage LINE[@N]]\n"
    "                    [--silent-after N]\n";

namespace {

bool whole_number(const char* text, int low, int* out)
{
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || n < low || n > 100000) return false;
    *out = static_cast<int>(n);
    return true;
}

// "LINE[@N]": the beginning of the lines aimed at (":AP"), and which of them.
bool line_selector(const char* text, sim_line_fault* f)
{
    std::string s = text;
    const size_t at = s.find('@');
    f->nth = 1;
    if (at != std::string::npos) {
        if (!whole_number(s.c_str() + at + 1, 1, &f->nth)) return false;
        s.resize(at);
    }
    if (s.size() < 2 || s[0] != ':') return false;
    f->prefix = s;
    return true;
}

}  // namespace

bool sim_parse_options(int argc, const char* const* argv, sim_options* o, std::string* error)
{
    *o = sim_options{};
    int kinds = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto fail = [&](const std::string& why) {
            *error = why;
            return false;
        };
        if (arg == "--m600" || arg == "--cv-relay") {
            o->kind = arg == "--m600" ? sim_kind::m600 : sim_kind::cv_relay;
            ++kinds;
        } else if (arg == "--real-time" || arg == "--unpaced") {
            o->paced = arg == "--real-time";
        } else if (arg == "--profiles" || arg == "--silent-after" || arg == "--bad-checksum" || arg == "--lose" ||
                   arg == "--garbage") {
            if (value == nullptr) return fail(arg + " needs a value");
            ++i;
            if (arg == "--profiles") {
                o->profiles = value;
            } else if (arg == "--silent-after") {
                if (!whole_number(value, 0, &o->silent_after)) return fail("--silent-after takes a number");
            } else {
                sim_line_fault f;
                f.what = arg == "--lose" ? sim_fault::lose
                         : arg == "--garbage" ? sim_fault::garbage
                                              : sim_fault::bad_checksum;
                if (!line_selector(value, &f)) return fail(arg + " takes LINE[@N], such as :AP@2");
                o->faults.push_back(f);
            }
        } else {
            return fail("unknown option " + arg);
        }
    }
    if (kinds != 1) return (*error = "choose one device: --m600 or --cv-relay", false);
    return true;
}

bool sim_load_folder(sim_meter& m, const std::string& folder, std::vector<std::string>* skipped)
{
    const FolderScan scan = scan_profile_folder(folder, false, kPcScanCapacity);
    if (!scan.opened) return false;
    for (const LeftOutFile& f : scan.left_out) skipped->push_back(shown_file_name(f.name, 300) + ": " + f.why);
    if (scan.beyond_capacity) skipped->push_back(std::to_string(scan.beyond_capacity) + " more files: too many");
    int slot = 0;
    for (const std::string& file : scan.names) {
        const std::string path = (fs::path(folder) / file).string();
        auto skip = [&](const std::string& why) { skipped->push_back(file + ": " + why); };
        if (slot == sim_kind_profile_limit(m.kind)) {
            skip("the device holds " + std::to_string(slot) + " profiles");
            continue;
        }
        std::error_code ec;
        const auto size = fs::file_size(path, ec);  // also refuses what is not a regular file
        GunProfile p{};
        std::string why;
        if (ec || !fs::is_regular_file(path) || !read_profile_file(path, p)) skip("cannot be read");
        else if (size < kProfileSize) skip("an old, short profile file: open it in Stowline and save it first");
        else if (profile_name(p).empty()) skip("the profile has no name");
        else if (!sim_meter_store(m, slot + 1, p, &why)) skip(why);
        else ++slot;
    }
    return true;
}

bool sim_save_profile(const std::string& folder, const GunProfile& record, std::string* path, std::string* why)
{
    const std::string name = profile_name(record);
    if (name.empty()) return (*why = "the profile has no name", false);
    if (!profile_name_is_safe(name.c_str())) return (*why = "its name could leave the folder", false);
    *path = (fs::path(folder) / (name + ".pro")).string();
    return write_profile_bytes(*path, record, why);
}

void sim_keep_in_folder(sim_meter& m, const std::string& folder, std::function<void(const std::string&)> report)
{
    m.on_store = [folder, report](int, const sim_stored_profile& p) {
        std::string path, why;
        if (sim_save_profile(folder, p.record, &path, &why)) report("wrote " + path);
        else report("not written: " + profile_name(p.record) + " (" + why + ")");
    };
}
