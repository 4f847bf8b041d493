#include "link/upload.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/console.h"
#include "collections/profile_folders.h"
#include "link/carriers.h"
#include "link/command_channel.h"
#include "link/download.h"
#include "link/link_object.h"
#include "link/link_state.h"
#include "link/profile_lines.h"
#include "profile/gun_profile.h"

namespace {

struct outgoing_profile {
    std::string name;
    profile_line_set lines;
};

// Reads one file of the device folder. An older 428-byte file would go out
// with an empty name and zero units, and a file of another size is no
// profile: each is refused with the reason, as is a record the lines cannot
// carry.
bool read_outgoing(const std::string& folder, const std::string& file, outgoing_profile* out, std::string* why)
{
    GunProfile p{};
    const ProfileFileRead r = read_profile_file(folder + "/" + file, p);
    if (!r && !r.not_a_profile) {
        console_message("Could not open file: %s\n", file.c_str());
        *why = "it could not be opened";
        return false;
    }
    if (!r || r.legacy) {
        *why = r.legacy ? "it is not a whole profile; open it in the editor and save it first" : r.reason;
        return false;
    }
    out->name = profile_name(p);
    return build_profile_lines(p, relay_mode == 1, the_link().device_version, &out->lines, why);
}

// The device list's files of `folder` (".pro" and ".PRO"), in its byte order.
std::vector<std::string> folder_files(const std::string& folder)
{
    return scan_profile_folder(folder, true, 1 << 16).names;
}

// send-and-settle: the command, then the pause, a pump, a drain of the COM
// input. False when the command was not sent.
bool settle(const std::string& line)
{
    if (the_link().link_stop_requested || !send_command(line.c_str())) return false;
    the_link().calls.sleep_ms(kSettleMs);
    the_link().calls.pump();
    com_drain_input();
    console_message("cmdStr: %s\n", line.c_str());
    return true;
}

void step(double fraction)
{
    the_link().calls.progress_fraction(fraction);
    the_link().calls.pump();
}

struct upload_run {
    transfer_outcome* out;
    void say(const std::string& text)
    {
        the_link().calls.status(text.c_str());
        if (out) out->status = text;
    }
    void add(const std::string& name, int slot, profile_result r, const std::string& reason = {})
    {
        if (out) out->profiles.push_back({name, slot, r, reason});
    }
};

}  // namespace

const char* profile_result_text(profile_result r)
{
    switch (r) {
    case profile_result::sent: return "sent";
    case profile_result::saved: return "saved";
    default: return "skipped";
    }
}

link_result upload_profiles() { return upload_profiles(kDeviceMirrorFolder, nullptr); }

link_result upload_profiles(const std::string& folder, transfer_outcome* outcome)
{
    transfer_outcome scratch;
    upload_run run{outcome ? outcome : &scratch};
    *run.out = transfer_outcome{};
    if (link_refuse_without_driver()) {
        run.out->status = link_no_driver_text;
        return link_failure(link_status::no_driver, 0, link_no_driver_text);
    }
    run.out->started = true;
    the_link().upload_active = 1;
    // A missing acknowledgement of an earlier command must not hold this one.
    the_link().clear_to_send = 1;

    std::vector<std::string> files = folder_files(folder);
    std::vector<std::string> refused;
    const int over = static_cast<int>(files.size()) - kUploadFileLimit;
    if (over > 0) {
        for (size_t i = kUploadFileLimit; i < files.size(); ++i)
            run.add(profile_row_text(files[i]), 0, profile_result::skipped,
                    "only the first " + std::to_string(kUploadFileLimit) + " files are sent");
        files.resize(kUploadFileLimit);
    }
    std::vector<outgoing_profile> profiles;
    for (const std::string& file : files) {
        outgoing_profile o;
        std::string why;
        if (read_outgoing(folder, file, &o, &why)) {
            profiles.push_back(o);
        } else {
            console_message("Not sending %s: %s\n", file.c_str(), why.c_str());
            refused.push_back(profile_row_text(file) + " (" + why + ")");
            run.add(profile_row_text(file), 0, profile_result::skipped, why);
        }
    }
    const int n = static_cast<int>(profiles.size());
    if (n == 0 && !refused.empty()) {
        // Sending none would empty the device for files the user wants on it.
        the_link().upload_active = 0;
        std::string text = "Nothing sent, the device keeps its profiles; not sent:";
        for (const std::string& r : refused) text += " " + r + ";";
        text.back() = '.';
        run.say(text);
        run.out->finished = true;
        return {};
    }

    int sent = 0;
    auto stopped = [&] {
        the_link().calls.progress_hide();
        the_link().upload_active = 0;
        for (int i = sent; i < n; ++i)
            run.add(profiles[static_cast<size_t>(i)].name, i + 1, profile_result::skipped,
                    the_link().link_stop_requested ? "the upload was stopped"
                    : !link_is_connected()         ? "the device was disconnected"
                    : i == sent                    ? "the device did not take a command"
                                                   : "the upload stopped before it");
        link_status why;
        if (the_link().link_stop_requested) {
            why = link_status::stopped;
            run.say("The upload was stopped; the device keeps what it received...");
        } else if (link_is_connected()) {
            why = link_status::refused;
            run.say("The upload stopped: the device did not take a command; it keeps what it received...");
        } else {
            why = link_status::lost;
            run.say("Device disconnected during Send Profiles: " + std::to_string(sent) + " of " + std::to_string(n) +
                    " profiles were sent completely...");
        }
        return link_failure(why, 0, run.out->status);
    };

    if (the_link().hid_connected && !send_command(":A-\r")) return stopped();
    if (!settle(":A-\r") || !settle(count_line(n))) return stopped();
    char text[96];
    std::snprintf(text, sizeof text, "Sending %d profiles...", n);
    the_link().calls.progress_show(text);
    step(0.0);

    for (int i = 0; i < n; ++i) {
        const outgoing_profile& o = profiles[static_cast<size_t>(i)];
        if (!settle(slot_line(i + 1))) return stopped();
        std::snprintf(text, sizeof text, "Sending profile: %s...", o.name.c_str());
        the_link().calls.progress_show(text);
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
        run.add(o.name, i + 1, profile_result::sent);
        sent = i + 1;
    }

    the_link().calls.progress_hide();
    com_drain_input();
    the_link().upload_active = 0;

    std::string done = std::to_string(n) + (n == 1 ? " profile" : " profiles") + " sent to the device";
    if (over > 0) done += "; only the first " + std::to_string(kUploadFileLimit) + " files were sent";
    if (!refused.empty()) {
        done += "; not sent:";
        for (const std::string& r : refused) done += " " + r + ";";
        done.pop_back();
    }
    run.say(done + "...");
    run.out->finished = true;
    return {};
}

upload_question upload_question_for(const std::string& folder)
{
    upload_question q;
    const size_t files = folder_files(folder).size();
    q.count = static_cast<int>(std::min<size_t>(files, kUploadFileLimit));
    q.needed = q.count == 0 || !device_side_filled_by_download(folder);
    q.text = "Send " + std::to_string(q.count) + (q.count == 1 ? " profile" : " profiles") + " to the device?";
    q.detail = q.count == 0 ? "The device side is empty: every profile on the device will be erased."
                            : "They replace every profile on the device: the device's other profiles will be erased.";
    return q;
}
