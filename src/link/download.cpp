#include "link/download.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/console.h"
#include "collections/profile_folders.h"
#include "link/command_channel.h"
#include "link/frame_codec.h"
#include "link/line_checksum.h"
#include "link/link_state.h"
#include "link/profile_lines.h"
#include "profile/gun_profile.h"

int profiles_expected;
int profiles_received;
int checksum_errors;
int gun_counter;
int gun_is_saved;
unsigned watchdog_timer_id;

namespace {

// The data lines a profile needs before its ":AS".
enum data_line : unsigned { line_main = 1, line_mv_table = 2, line_drag = 4, line_mach = 8, all_lines = 15 };

struct download_state {
    bool running = false;
    transfer_style style = transfer_style::bulk;
    GunProfile record{};                     // the profile being received
    int current = 0;                         // its number: gun_counter, or its place in a bulk download
    int position = 0;                        // bulk: ":AN" lines since ":AG", not counting profiles asked again
    bool begun = false;                      // an ":AN" came and its ":AS" has not
    unsigned seen = 0;                       // data lines of the current profile that passed
    std::map<int, int> tries;                // new requests per number
    std::map<int, std::string> asked_again;  // bulk: number -> name, until it comes again
    int saved = 0;
    int invalid = 0;
    std::vector<std::string> skipped;  // "NAME (why)"
    unsigned silence_timer_id = 0;     // bulk: the device's stream
};

download_state dl;

bool bulk() { return dl.style == transfer_style::bulk; }

void set_fraction(double f)
{
    link_hooks.progress_fraction(f);
    link_hooks.pump();
}

void status(const char* text) { link_hooks.status(text); }

void stop_timer(unsigned& id)
{
    if (id) link_hooks.stop_timer(id);
    id = 0;
}

bool silence_fired();

void watch_silence()
{
    stop_timer(dl.silence_timer_id);
    if (dl.running && bulk()) dl.silence_timer_id = link_hooks.start_timer(kDownloadWatchdogMs, silence_fired);
}

void finish()
{
    if (!dl.running) return;
    dl.running = false;
    stop_timer(dl.silence_timer_id);
    stop_timer(watchdog_timer_id);
    link_hooks.progress_hide();
    if (dl.skipped.empty()) {
        status("Download complete...\n");
        console_message("Download complete...\n");
    } else {
        int total = dl.saved + static_cast<int>(dl.skipped.size());
        if (bulk() && profiles_expected - dl.invalid > total) total = profiles_expected - dl.invalid;
        std::string text = "Download incomplete: " + std::to_string(dl.saved) + " of " + std::to_string(total) +
                           " profiles saved; skipped:";
        for (const std::string& s : dl.skipped) text += " " + s + ";";
        text.back() = '.';
        status(text.c_str());
        console_message("%s\n", text.c_str());
    }
    link_hooks.pump();
}

// A profile given up on: told now, listed when the download ends.
void skip(const std::string& name, const char* why)
{
    std::string shown = name.empty() ? "number " + std::to_string(dl.current) : name;
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';  // never a control character on show
    std::string entry = shown + " (" + why + ")";
    console_message("Skipping profile %s\n", entry.c_str());
    std::string text = "Skipped profile " + entry + "...";
    status(text.c_str());
    dl.skipped.push_back(entry);
    ++profiles_received;
}

// Asks for profile `n` (indexed style, or one asked again); false when the
// request could not be sent, which ends the download.
bool request(int n)
{
    stop_timer(watchdog_timer_id);
    gun_is_saved = 0;
    if (!bulk() || !dl.running) watchdog_timer_id = link_hooks.start_timer(kDownloadWatchdogMs, download_watchdog);
    if (send_command(request_line(n).c_str())) return true;
    if (dl.running) {
        char text[96];
        std::snprintf(text, sizeof text, "Could not ask the device for profile %d...", n);
        dl.skipped.push_back("number " + std::to_string(n) + " (the request could not be sent)");
        finish();
        status(text);
    }
    return false;
}

void check_bulk_done()
{
    if (dl.running && bulk() && profiles_expected > 0 && dl.asked_again.empty() &&
        dl.saved + dl.invalid + static_cast<int>(dl.skipped.size()) >= profiles_expected)
        finish();
}

// The indexed style moves on to the next number; after the last, it ends.
void next_number()
{
    ++gun_counter;
    if (gun_counter > kIndexedProfileCount) {
        link_hooks.progress_hide();
        finish();
        return;
    }
    request(gun_counter);
}

void go_on()
{
    if (bulk()) check_bulk_done();
    else next_number();
}

// A profile that did not arrive whole is asked for again by its number, at
// most kProfileRetries times; then it is skipped and the download goes on.
void ask_again_or_skip(const std::string& name, const char* why)
{
    if (++dl.tries[dl.current] > kProfileRetries) {
        skip(name, why);
        go_on();
        return;
    }
    status("Profile transmission contained errors... Downloading again...");
    console_message("Profile transmission contained errors... Downloading again...\n");
    if (bulk()) dl.asked_again[dl.current] = name;
    request(dl.current);
}

bool silence_fired()
{
    dl.silence_timer_id = 0;
    if (!dl.running) return false;
    for (const auto& [n, name] : dl.asked_again) dl.skipped.push_back(name + " (it did not come again)");
    dl.asked_again.clear();
    if (profiles_expected <= 0 && dl.saved == 0 && dl.skipped.empty()) {
        dl.running = false;
        link_hooks.progress_hide();
        status("The device did not answer the download request...");
        console_message("The device did not answer the download request...\n");
        return false;
    }
    const int missing = profiles_expected - dl.saved - dl.invalid - static_cast<int>(dl.skipped.size());
    if (missing > 0) dl.skipped.push_back(std::to_string(missing) + " more (the device stopped sending)");
    finish();
    return false;
}

void on_count(const char* line)
{
    profiles_expected = 0;
    profiles_received = 0;
    int n = 0;
    std::sscanf(line + 3, "%*[ ,]%d", &n);
    profiles_expected = n;
    if (bulk()) {
        dl.position = 0;
        dl.saved = dl.invalid = 0;
        dl.skipped.clear();
        dl.tries.clear();
        dl.asked_again.clear();
    }
    if (profiles_expected <= 0) {
        status("There are no profiles on the device...");
        link_hooks.progress_hide();
        if (bulk() && dl.running) {
            dl.running = false;
            stop_timer(dl.silence_timer_id);
        }
    } else {
        char text[64];
        std::snprintf(text, sizeof text, "Receiving %d profiles...", profiles_expected);
        status(text);
        link_hooks.progress_show(text);
        set_fraction(0.0);
    }
    checksum_errors = 0;
    gun_is_saved = 0;
    acknowledge_line();
}

// Which number a bulk profile answers: one asked for again comes under its
// own name at any time; otherwise profiles come in order; after the last one
// announced, a profile answers the oldest request whose name was not known.
int bulk_number(const std::string& name)
{
    for (auto it = dl.asked_again.begin(); it != dl.asked_again.end(); ++it) {
        if (it->second == name) {
            int n = it->first;
            dl.asked_again.erase(it);
            return n;
        }
    }
    if (dl.position >= profiles_expected) {
        for (auto it = dl.asked_again.begin(); it != dl.asked_again.end(); ++it) {
            if (it->second.empty()) {
                int n = it->first;
                dl.asked_again.erase(it);
                return n;
            }
        }
    }
    return ++dl.position;
}

void on_begin(const char* line)
{
    // In the bulk style a profile that lost its ":AS" is asked for again; in
    // the indexed style a new answer to the same request starts over.
    if (dl.begun && bulk()) ask_again_or_skip(profile_name(dl.record), "its end was lost");
    checksum_errors = 0;
    dl.seen = 0;
    dl.begun = true;
    begin_received_profile(dl.record, line);
    const std::string name = profile_name(dl.record);
    dl.current = bulk() ? bulk_number(name) : gun_counter;
    char text[96];
    std::snprintf(text, sizeof text, "Receiving profile: %s", name.c_str());
    link_hooks.progress_show(text);
    set_fraction(0.2);
    acknowledge_line();
}

void on_data(const char* line, data_line which, int result_number, double fraction)
{
    set_fraction(fraction);
    if (!dl.begun) return;  // its ":AN" was lost: these fields belong to no profile
    switch (which) {
    case line_main: read_main_line(dl.record, line, dl.style, device_version); break;
    case line_mv_table: read_mv_table_line(dl.record, line); break;
    case line_drag: read_drag_line(dl.record, line); break;
    case line_mach: read_mach_line(dl.record, line); break;
    default: break;
    }
    const int bad = line_checksum_bad(line);
    checksum_errors += bad;
    if (!bad) dl.seen |= which;
    console_message("Checksum Result %d: %d\n", result_number, bad);
    acknowledge_line();
}

void save_record(const std::string& name)
{
    ensure_folder(kDeviceMirrorFolder);
    std::string path = std::string(kDeviceMirrorFolder) + "/" + name + ".pro";
    console_message("%s\n", path.c_str());
    console_message("Saving file to...... %s\n", path.c_str());
    std::string error;
    if (!write_profile_bytes(path, dl.record, &error)) {
        console_message("Could not save profile to disk...\n");
        skip(name, ("it could not be written: " + error).c_str());
        return;
    }
    gun_is_saved = 1;
    console_message("Setting gun_is_saved to 1...\n");
    ++dl.saved;
    ++profiles_received;
}

void on_end()
{
    console_message("gun_counter count: %d\n", gun_counter);
    const bool begun = dl.begun;
    dl.begun = false;
    if (!begun) {
        // The name line was lost: the profile is asked for again by number.
        acknowledge_line();
        stop_timer(watchdog_timer_id);
        dl.current = bulk() ? ++dl.position : gun_counter;
        ask_again_or_skip("", "its name line was lost");
        link_hooks.pump();
        return;
    }
    const std::string name = profile_name(dl.record);
    if (name.find("INVALID") != std::string::npos) {
        console_message("Recieved INVALID profile name, let's try the next profile...\n");
        if (bulk()) {
            ++dl.invalid;
            check_bulk_done();
        } else {
            stop_timer(watchdog_timer_id);
            next_number();
        }
        link_hooks.pump();
        return;
    }
    acknowledge_line();
    stop_timer(watchdog_timer_id);
    if (checksum_errors != 0 || dl.seen != all_lines) {
        ask_again_or_skip(name, checksum_errors != 0 ? "its lines failed their checksum" : "a line of it was lost");
    } else if (name.empty() || !profile_name_is_safe(name.c_str())) {
        console_message("A received profile name cannot be a file name: \"%s\"\n", name.c_str());
        skip(name, name.empty() ? "it has no name" : "its name cannot be a file name");
        go_on();
    } else {
        save_record(name);
        go_on();
    }
    link_hooks.pump();
}

}  // namespace

void start_download()
{
    download_reset();
    dl.running = true;
    dl.style = relay_mode ? transfer_style::indexed : transfer_style::bulk;
    if (!bulk()) {
        gun_counter = 1;
        request(1);
        return;
    }
    if (!link_is_connected()) {
        dl.running = false;
        return;
    }
    link_hooks.progress_show("Initiating download...");
    set_fraction(0.5);
    link_hooks.sleep_ms(500);
    if (hid_connected) {
        send_frame_message(message_code_command, ":AQ\r", 4);
    } else {
        send_command("\r");
        send_command("\r");
    }
    send_command(":A-\r");
    set_fraction(1.0);
    send_command(":AD\r");
    watch_silence();
}

void handle_download_line(const char* line)
{
    console_message("Rx: %s\n", line);
    if (dl.running && bulk()) watch_silence();
    const std::string prefix(line, strnlen(line, 3));
    if (prefix == ":AG") on_count(line);
    else if (prefix == ":AN") on_begin(line);
    else if (prefix == ":AP") on_data(line, line_main, 1, 0.4);
    else if (prefix == ":AV") on_data(line, line_mv_table, 2, 0.6);
    else if (prefix == ":AC") on_data(line, line_drag, 3, 1.0);
    else if (prefix == ":AM") on_data(line, line_mach, 4, 0.8);
    else if (prefix == ":AS") on_end();
    else if (prefix == ":AQ" || prefix == ":AU") acknowledge_line();
}

bool download_watchdog()
{
    console_message("Hi, I'm a friendly neighborhood watchdoog!\n");
    watchdog_timer_id = 0;
    if (!gun_is_saved) {
        console_message("Watchdog triggered redo.\n");
        link_hooks.progress_hide();
        if (++dl.tries[gun_counter] <= kProfileRetries) {
            request(gun_counter);
        } else {
            dl.current = gun_counter;
            skip("", "the device did not answer");
            next_number();
        }
    }
    return false;
}

bool download_running() { return dl.running; }

void download_reset()
{
    stop_timer(dl.silence_timer_id);
    stop_timer(watchdog_timer_id);
    dl = download_state{};
    profiles_expected = 0;
    profiles_received = 0;
    checksum_errors = 0;
    gun_counter = 1;
    gun_is_saved = 0;
}
