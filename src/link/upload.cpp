#include "link/upload.h"

#include <cstdio>
#include <string>
#include <vector>

#include "base/console.h"
#include "collections/profile_folders.h"
#include "link/carriers.h"
#include "link/command_channel.h"
#include "link/link_state.h"
#include "link/profile_lines.h"
#include "profile/gun_profile.h"

namespace {

struct outgoing_profile {
    std::string name;
    profile_line_set lines;
};

// Reads one file of the device folder. A file shorter than a record (the old
// layout among them) would go out with an empty name and zero units: it is
// refused with the reason, as is a record the lines cannot carry.
bool read_outgoing(const std::string& file, outgoing_profile* out, std::string* why)
{
    const std::string path = std::string(kDeviceMirrorFolder) + "/" + file;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        console_message("Could not open file: %s\n", file.c_str());
        *why = "it could not be opened";
        return false;
    }
    GunProfile p{};
    const size_t got = std::fread(&p, 1, sizeof p, f);
    std::fclose(f);
    if (got < sizeof p) {
        *why = "it is not a whole profile; open it in the editor and save it first";
        return false;
    }
    out->name = profile_name(p);
    return build_profile_lines(p, relay_mode == 1, device_version, &out->lines, why);
}

// send-and-settle: the command, then the pause, a pump, a drain of the COM
// input. False when the command was not sent.
bool settle(const std::string& line)
{
    if (!send_command(line.c_str())) return false;
    link_hooks.sleep_ms(kSettleMs);
    link_hooks.pump();
    com_drain_input();
    console_message("cmdStr: %s\n", line.c_str());
    return true;
}

// Profiles whose every line went out in this run, of how many.
int sent_whole = 0;
int sending = 0;

void step(double fraction)
{
    link_hooks.progress_fraction(fraction);
    link_hooks.pump();
}

int stopped()
{
    link_hooks.progress_hide();
    upload_active = 0;
    if (link_is_connected()) {
        link_hooks.status("The upload stopped: the device did not take a command; it keeps what it received...");
    } else {
        char text[128];
        std::snprintf(text, sizeof text,
                      "Device disconnected during Send Profiles: %d of %d profiles were sent completely...", sent_whole,
                      sending);
        link_hooks.status(text);
    }
    return 0;
}

}  // namespace

int upload_profiles()
{
    upload_active = 1;
    // A missing acknowledgement of an earlier command must not hold this one.
    clear_to_send = 1;

    // Slots follow the device list: its rows (".pro" and ".PRO"), in its
    // byte order.
    FolderScan scan = scan_profile_folder(kDeviceMirrorFolder, true, 1 << 16);
    std::vector<std::string> refused;
    const int over = static_cast<int>(scan.names.size()) - kUploadFileLimit;
    if (over > 0) scan.names.resize(kUploadFileLimit);
    std::vector<outgoing_profile> profiles;
    for (const std::string& file : scan.names) {
        outgoing_profile o;
        std::string why;
        if (read_outgoing(file, &o, &why)) {
            profiles.push_back(o);
        } else {
            console_message("Not sending %s: %s\n", file.c_str(), why.c_str());
            refused.push_back(profile_row_text(file) + " (" + why + ")");
        }
    }
    const int n = static_cast<int>(profiles.size());
    sent_whole = 0;
    sending = n;
    if (n == 0 && !refused.empty()) {
        // Sending none would empty the device for files the user wants on it.
        upload_active = 0;
        std::string text = "Nothing sent, the device keeps its profiles; not sent:";
        for (const std::string& r : refused) text += " " + r + ";";
        text.back() = '.';
        link_hooks.status(text.c_str());
        return 1;
    }

    if (hid_connected && !send_command(":A-\r")) return stopped();
    if (!settle(":A-\r") || !settle(count_line(n))) return stopped();
    char text[96];
    std::snprintf(text, sizeof text, "Sending %d profiles...", n);
    link_hooks.progress_show(text);
    step(0.0);

    for (int i = 0; i < n; ++i) {
        const outgoing_profile& o = profiles[static_cast<size_t>(i)];
        if (!settle(slot_line(i + 1))) return stopped();
        std::snprintf(text, sizeof text, "Sending profile: %s...", o.name.c_str());
        link_hooks.progress_show(text);
        step(0.1);
        if (!settle(o.lines.name)) return stopped();
        step(0.25);
        if (!settle(o.lines.main)) return stopped();
        step(0.5);
        if (!settle(o.lines.mv_table)) return stopped();
        step(0.7);
        if (!settle(o.lines.drag)) return stopped();
        step(0.9);
        if (!settle(o.lines.mach)) return stopped();
        step(1.0);
        if (!settle(":AS\r")) return stopped();
        ++sent_whole;
    }

    link_hooks.progress_hide();
    com_drain_input();
    upload_active = 0;

    std::string done = std::to_string(n) + (n == 1 ? " profile" : " profiles") + " sent to the device";
    if (over > 0) done += "; only the first " + std::to_string(kUploadFileLimit) + " files were sent";
    if (!refused.empty()) {
        done += "; not sent:";
        for (const std::string& r : refused) done += " " + r + ";";
        done.pop_back();
    }
    link_hooks.status((done + "...").c_str());
    return 1;
}
