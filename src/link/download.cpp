#include "link/download.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/console.h"
#include "collections/profile_folders.h"
#include "link/command_channel.h"
#include "link/frame_codec.h"
#include "link/line_checksum.h"
#include "link/link_object.h"
#include "link/link_state.h"
#include "link/profile_lines.h"
#include "profile/gun_profile.h"

namespace {

// The data lines a profile needs before its ":AS".
enum data_line : unsigned { line_main = 1, line_mv_table = 2, line_drag = 4, line_mach = 8, all_lines = 15 };

// The longest status text; a longer summary names fewer profiles.
constexpr size_t kStatusLength = 255;
// Profiles a download lists one by one as not come; more than any device holds.
constexpr int kMissingListed = 64;

struct download_state {
    bool running = false;
    transfer_style style = transfer_style::bulk;
    GunProfile record{};  // the profile being received
    // Its number: the_link().gun_counter, or its place in a bulk download; 0 for one
    // that answers no request of this download.
    int current = 0;
    int position = 0;                          // bulk: places handed out since ":AG"
    bool begun = false;                        // an ":AN" came and its ":AS" has not
    unsigned arrived = 0;                      // data lines of the open profile, good or bad
    unsigned seen = 0;                         // those of them that passed their checksum
    int orphans = 0;                           // data lines since the last ":AS" that belong to no ":AN"
    std::map<int, int> tries;                  // new requests per number
    std::map<int, std::string> asked_again;    // bulk: number -> name ("" unknown), until it comes again
    std::set<int> resolved;                    // numbers saved, skipped or empty
    std::set<std::string> saved;               // names written in this download
    int invalid = 0;                           // empty numbers
    std::vector<std::string> skipped;          // "NAME (why)"
    unsigned silence_timer_id = 0;             // bulk: the device's stream
    std::string folder = kDeviceMirrorFolder;  // where profiles are saved
    bool empty_pending = false;                // the folder is emptied at the device's first answer
    bool emptied = false;                      // it was, in this download
    transfer_outcome outcome;
    link_result result;  // how it ended (or did not start)
};

download_state dl;

// The folder the last whole download filled from the device connected now;
// empty when none did.
std::string filled_folder;

bool is_download_reply(const std::string& prefix)
{
    static const char* const replies[] = {":AG", ":AN", ":AP", ":AV", ":AC", ":AM", ":AS"};
    return std::any_of(std::begin(replies), std::end(replies), [&](const char* r) { return prefix == r; });
}

void record(const std::string& name, int number, profile_result result, const std::string& reason = {})
{
    dl.outcome.profiles.push_back({name, number, result, reason});
}

// The device has answered: the folder's old profiles go now, not before,
// so a device that does not answer leaves them where they were.
void empty_folder_now()
{
    dl.empty_pending = false;
    dl.emptied = true;
    filled_folder.clear();
    dl.outcome.removed = 0;
    for (const std::string& file : scan_profile_folder(dl.folder, true, 1 << 16).names) {
        const std::string path = dl.folder + "/" + file;
        console_message("Deleting... %s\n", path.c_str());
        if (delete_profile_file(path)) ++dl.outcome.removed;
    }
    the_link().calls.device_folder_changed();
}

// A download that ended as it should: the folder now holds what the device has.
void mark_filled()
{
    dl.outcome.finished = true;
    if (dl.emptied && dl.skipped.empty()) filled_folder = dl.folder;
}

bool bulk() { return dl.style == transfer_style::bulk; }

// Progress is shown only for a download that runs: a line that comes after
// its end must not open a window nothing will close.
void set_fraction(double f)
{
    if (!dl.running) return;
    the_link().calls.progress_fraction(f);
    the_link().calls.pump();
}

void show_progress(const char* text)
{
    if (dl.running) the_link().calls.progress_show(text);
}

void status(const char* text)
{
    the_link().calls.status(text);
    dl.outcome.status = text;
}

// A name as it may be shown: never a control character.
std::string shown_name(const std::string& name)
{
    std::string shown = name;
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return shown;
}

void stop_timer(unsigned& id)
{
    if (id) the_link().calls.stop_timer(id);
    id = 0;
}

bool silence_fired();

void watch_silence()
{
    stop_timer(dl.silence_timer_id);
    if (dl.running && bulk()) dl.silence_timer_id = the_link().calls.start_timer(kDownloadWatchdogMs, silence_fired);
}

int saved_count() { return static_cast<int>(dl.saved.size()); }

// "Download incomplete: ..." naming what was skipped, as many as fit.
std::string summary()
{
    int total = saved_count() + static_cast<int>(dl.skipped.size());
    if (bulk() && the_link().profiles_expected - dl.invalid > total) total = the_link().profiles_expected - dl.invalid;
    std::string text = "Download incomplete: " + std::to_string(saved_count()) + " of " + std::to_string(total) +
                       " profiles saved; skipped:";
    for (size_t i = 0; i < dl.skipped.size(); ++i) {
        std::string more = " and " + std::to_string(dl.skipped.size() - i) + " more.";
        if (text.size() + dl.skipped[i].size() + 2 + more.size() > kStatusLength) {
            text.back() = ';';
            return text + more;
        }
        text += " " + dl.skipped[i] + ";";
    }
    text.back() = '.';
    return text;
}

void finish(const char* why = nullptr, link_status how = link_status::ok)
{
    if (!dl.running) return;
    dl.running = false;
    stop_timer(dl.silence_timer_id);
    stop_timer(the_link().watchdog_timer_id);
    the_link().calls.progress_hide();
    for (const std::string& s : dl.skipped) console_message("Skipped: %s\n", s.c_str());
    std::string text;
    if (why)
        text = std::string(why) + (dl.saved.empty() ? "" : " " + std::to_string(saved_count()) + " profiles saved.");
    else if (!dl.skipped.empty()) text = summary();
    else if (saved_count() == 0 && !bulk()) text = "There are no profiles on the device...";  // every number empty
    else text = "Download complete...\n";
    if (!why) mark_filled();
    if (how != link_status::ok) dl.result = link_failure(how, 0, text);
    status(text.c_str());
    console_message("%s%s", text.c_str(), text.back() == '\n' ? "" : "\n");
    the_link().calls.pump();
}

// A profile given up on: told now, listed when the download ends.
void skip(int number, const std::string& name, const char* why)
{
    if (!dl.running) return;
    std::string entry = (name.empty() ? "number " + std::to_string(number) : shown_name(name)) + " (" + why + ")";
    console_message("Skipping profile %s\n", entry.c_str());
    status(("Skipped profile " + entry + "...").c_str());
    dl.skipped.push_back(entry);
    record(name, number, profile_result::skipped, why);
    dl.resolved.insert(number);
    ++the_link().profiles_received;
}

// Asks for profile `n`; the indexed style watches every request. False when
// the request could not be sent, which ends the download.
bool request(int n)
{
    stop_timer(the_link().watchdog_timer_id);
    the_link().gun_is_saved = 0;
    if (!bulk() && dl.running)
        the_link().watchdog_timer_id = the_link().calls.start_timer(kDownloadWatchdogMs, download_watchdog);
    if (send_command(request_line(n).c_str())) return true;
    char text[96];
    std::snprintf(text, sizeof text, "Could not ask the device for profile %d...", n);
    finish(text, link_status::refused);
    return false;
}

// How many of the announced numbers are saved, skipped or empty.
int resolved_announced()
{
    int done = 0;
    for (int n : dl.resolved) done += n >= 1 && n <= the_link().profiles_expected;
    return done;
}

void check_bulk_done()
{
    if (!dl.running || !bulk() || the_link().profiles_expected <= 0 || !dl.asked_again.empty()) return;
    if (resolved_announced() >= the_link().profiles_expected) finish();
}

// The indexed style moves on to the next number; after the last, it ends.
void next_number()
{
    if (!dl.running) return;
    ++the_link().gun_counter;
    if (the_link().gun_counter > kIndexedProfileCount) {
        the_link().calls.progress_hide();
        finish();
        return;
    }
    request(the_link().gun_counter);
}

void go_on()
{
    if (bulk()) check_bulk_done();
    else next_number();
}

// A profile that did not arrive whole is asked for again by its number, at
// most kProfileRetries times; then it is skipped and the download goes on.
// After the download has ended nothing more is asked for.
void ask_again_or_skip(int number, const std::string& name, const char* why)
{
    if (!dl.running || number == 0) {
        console_message("A damaged profile came outside a request; it is not saved.\n");
        return;
    }
    if (++dl.tries[number] > kProfileRetries) {
        skip(number, name, why);
        go_on();
        return;
    }
    status("Profile transmission contained errors... Downloading again...");
    console_message("Profile transmission contained errors... Downloading again...\n");
    if (bulk()) dl.asked_again[number] = name;
    request(number);
}

bool silence_fired()
{
    dl.silence_timer_id = 0;
    if (!dl.running) return false;
    for (const auto& [n, name] : dl.asked_again) {
        dl.skipped.push_back((name.empty() ? "number " + std::to_string(n) : shown_name(name)) +
                             " (it did not come again)");
        record(name, n, profile_result::skipped, "it did not come again");
        dl.resolved.insert(n);
    }
    dl.asked_again.clear();
    if (the_link().profiles_expected <= 0 && dl.saved.empty() && dl.skipped.empty()) {
        dl.running = false;
        dl.result = link_failure(link_status::no_answer, 0, "The device did not answer the download request...");
        the_link().calls.progress_hide();
        status("The device did not answer the download request...");
        console_message("The device did not answer the download request...\n");
        return false;
    }
    const int missing = the_link().profiles_expected - resolved_announced();
    if (missing > 0) dl.skipped.push_back(std::to_string(missing) + " more (the device stopped sending)");
    // The count is the device's word and may be any number: past what a
    // device holds, the rest are one entry.
    const int listed = std::min(missing, kMissingListed);
    for (int i = 0; i < listed; ++i) record("", 0, profile_result::skipped, "the device stopped sending");
    if (missing > listed)
        record("", 0, profile_result::skipped,
               std::to_string(missing - listed) + " more the device announced (the device stopped sending)");
    finish();
    return false;
}

void on_count(const char* line)
{
    the_link().profiles_expected = 0;
    the_link().profiles_received = 0;
    int n = 0;
    std::sscanf(line + 3, "%*[ ,]%d", &n);
    the_link().profiles_expected = n;
    if (!relay_mode) {
        // A meter that starts sending of its own accord starts a download.
        if (!dl.running && !relay_mode && n > 0) {
            const std::string folder = dl.folder;
            dl = download_state{};
            dl.folder = folder;
            dl.running = true;
            dl.outcome.started = true;
            watch_silence();
        }
        dl.position = 0;
        dl.invalid = 0;
        dl.saved.clear();
        dl.skipped.clear();
        dl.resolved.clear();
        dl.tries.clear();
        dl.asked_again.clear();
    }
    if (the_link().profiles_expected <= 0) {
        status("There are no profiles on the device...");
        the_link().calls.progress_hide();
        if (bulk() && dl.running) {
            dl.running = false;
            stop_timer(dl.silence_timer_id);
            mark_filled();
        }
    } else {
        char text[64];
        std::snprintf(text, sizeof text, "Receiving %d profiles...", the_link().profiles_expected);
        status(text);
        show_progress(text);
        set_fraction(0.0);
    }
    the_link().checksum_errors = 0;
    the_link().gun_is_saved = 0;
    acknowledge_line();
}

int take_asked_again(std::map<int, std::string>::iterator it)
{
    int n = it->first;
    dl.asked_again.erase(it);
    return n;
}

// Which number a bulk profile answers. One asked for again comes under its
// own name at any time; otherwise profiles come in order. After the last one
// announced, a profile answers the oldest request still open: it is taken
// when that request's name was not known and the profile is new to this
// download; otherwise the device gave something else for that number (an
// empty slot, another profile), which fails the request.
int bulk_number(const std::string& name)
{
    if (!dl.running) return 0;
    for (auto it = dl.asked_again.begin(); it != dl.asked_again.end(); ++it)
        if (!it->second.empty() && it->second == name) return take_asked_again(it);
    if (dl.position < the_link().profiles_expected || dl.asked_again.empty()) return ++dl.position;
    auto oldest = dl.asked_again.begin();
    const bool empty = name.find("INVALID") != std::string::npos;
    if (oldest->second.empty() && !empty && dl.saved.count(name) == 0) return take_asked_again(oldest);
    const std::string asked = oldest->second;
    const int n = take_asked_again(oldest);
    skip(n, asked, empty ? "the device has no profile at its number" : "its number brought another profile");
    return 0;
}

void on_begin(const char* line)
{
    // In the bulk style a profile that lost its ":AS" is asked for again; in
    // the indexed style a new answer to the same request starts over.
    if (dl.begun && bulk()) ask_again_or_skip(dl.current, profile_name(dl.record), "its end was lost");
    the_link().checksum_errors = 0;
    dl.arrived = dl.seen = 0;
    dl.orphans = 0;
    dl.begun = true;
    begin_received_profile(dl.record, line);
    const std::string name = profile_name(dl.record);
    dl.current = bulk() ? bulk_number(name) : the_link().gun_counter;
    char text[96];
    std::snprintf(text, sizeof text, "Receiving profile: %s", shown_name(name).c_str());
    show_progress(text);
    set_fraction(0.2);
    acknowledge_line();
}

void on_data(const char* line, data_line which, int result_number, double fraction)
{
    set_fraction(fraction);
    // A line longer than any the device sends is read to its 255th character
    // only, so its checksum cannot vouch for what was read.
    const int bad = strnlen(line, kMaxLineLength + 1) > kMaxLineLength ? 1 : line_checksum_bad(line);
    if (dl.begun && (dl.arrived & which)) {
        // A second line of the same kind: the open profile's end and the next
        // one's name were both lost. The open profile is asked for again and
        // these lines belong to no name (the indexed style asks for its
        // number again at the ":AS").
        const std::string name = profile_name(dl.record);
        dl.begun = false;
        if (bulk()) ask_again_or_skip(dl.current, name, "its end was lost");
    }
    if (dl.begun) {
        switch (which) {
        case line_main: read_main_line(dl.record, line, dl.style, the_link().device_version); break;
        case line_mv_table: read_mv_table_line(dl.record, line); break;
        case line_drag: read_drag_line(dl.record, line); break;
        case line_mach: read_mach_line(dl.record, line); break;
        default: break;
        }
        dl.arrived |= which;
        if (!bad) dl.seen |= which;
        the_link().checksum_errors += bad;
    } else {
        ++dl.orphans;
    }
    console_message("Checksum Result %d: %d\n", result_number, bad);
    acknowledge_line();
}

void save_record(const std::string& name)
{
    ensure_folder(dl.folder);
    std::string path = dl.folder + "/" + name + ".pro";
    console_message("%s\n", path.c_str());
    console_message("Saving file to...... %s\n", path.c_str());
    std::string error;
    if (!write_profile_bytes(path, dl.record, &error)) {
        console_message("Could not save profile to disk...\n");
        skip(dl.current, name, ("it could not be written: " + error).c_str());
        return;
    }
    the_link().gun_is_saved = 1;
    console_message("Setting the_link().gun_is_saved to 1...\n");
    if (!dl.running) return;  // a whole profile after the end is kept, not counted
    // An answer that failed its request may repeat a profile already saved.
    if (dl.current != 0 && dl.saved.count(name)) {
        dl.skipped.push_back(shown_name(name) + " (a later profile of the same name replaced it)");
        for (profile_outcome& o : dl.outcome.profiles)
            if (o.result == profile_result::saved && o.name == name) {
                o.result = profile_result::skipped;
                o.reason = "a later profile of the same name replaced it";
            }
    }
    dl.saved.insert(name);
    record(name, dl.current, profile_result::saved);
    if (dl.current != 0) dl.resolved.insert(dl.current);
    ++the_link().profiles_received;
}

void on_end()
{
    console_message("the_link().gun_counter count: %d\n", the_link().gun_counter);
    if (!dl.begun) {
        acknowledge_line();
        if (dl.orphans > 0) {
            // The name line was lost: the profile is asked for again by number.
            dl.orphans = 0;
            stop_timer(the_link().watchdog_timer_id);
            if (dl.running)
                ask_again_or_skip(bulk() ? ++dl.position : the_link().gun_counter, "", "its name line was lost");
        }
        // An ":AS" with nothing before it (a repeated one) ends nothing.
        the_link().calls.pump();
        return;
    }
    dl.begun = false;
    const std::string name = profile_name(dl.record);
    if (name.find("INVALID") != std::string::npos) {
        console_message("Recieved INVALID profile name, let's try the next profile...\n");
        if (bulk()) {
            if (dl.current != 0) {
                ++dl.invalid;
                dl.resolved.insert(dl.current);
            }
            check_bulk_done();
        } else if (dl.running) {
            stop_timer(the_link().watchdog_timer_id);
            next_number();
        }
        the_link().calls.pump();
        return;
    }
    acknowledge_line();
    stop_timer(the_link().watchdog_timer_id);
    if (the_link().checksum_errors != 0 || dl.seen != all_lines) {
        ask_again_or_skip(dl.current, name,
                          the_link().checksum_errors != 0 ? "its lines failed their checksum"
                                                          : "a line of it was lost");
    } else if (name.empty() || !profile_name_is_safe(name.c_str())) {
        console_message("A received profile name cannot be a file name: \"%s\"\n", shown_name(name).c_str());
        skip(dl.current, name, name.empty() ? "it has no name" : "its name cannot be a file name");
        go_on();
    } else {
        save_record(name);
        go_on();
    }
    the_link().calls.pump();
}

}  // namespace

link_result start_download() { return start_download(kDeviceMirrorFolder, false); }

link_result start_download(const std::string& folder, bool empty_first)
{
    download_reset();
    if (link_refuse_without_driver()) {
        dl.outcome.status = link_no_driver_text;
        return dl.result = link_failure(link_status::no_driver, 0, link_no_driver_text);
    }
    dl.folder = folder;
    dl.empty_pending = empty_first;
    dl.outcome.started = true;
    dl.running = true;
    dl.style = relay_mode ? transfer_style::indexed : transfer_style::bulk;
    // A missing acknowledgement of an earlier command must not hold this one.
    the_link().clear_to_send = 1;
    if (!bulk()) {
        the_link().gun_counter = 1;
        request(1);
        return dl.result;
    }
    if (!link_is_connected()) {
        dl.running = false;
        dl.outcome.started = false;
        return dl.result = link_failure(link_status::not_connected, 0, "no device is connected");
    }
    the_link().calls.progress_show("Initiating download...");
    set_fraction(0.5);
    the_link().calls.sleep_ms(500);
    if (the_link().hid_connected) {
        send_frame_message(message_code_command, ":AQ\r", 4);
    } else {
        send_command("\r");
        send_command("\r");
    }
    send_command(":A-\r");
    set_fraction(1.0);
    send_command(":AD\r");
    watch_silence();
    return dl.result;
}

void handle_download_line(const char* line)
{
    console_message("Rx: %s\n", line);
    if (dl.running && bulk()) watch_silence();
    const std::string prefix(line, strnlen(line, 3));
    if (dl.running && dl.empty_pending && is_download_reply(prefix)) empty_folder_now();
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
    the_link().watchdog_timer_id = 0;
    if (!the_link().gun_is_saved) {
        console_message("Watchdog triggered redo.\n");
        the_link().calls.progress_hide();
        if (!dl.running || bulk()) {
            send_command(request_line(the_link().gun_counter).c_str());
        } else if (++dl.tries[the_link().gun_counter] <= kProfileRetries) {
            request(the_link().gun_counter);
        } else {
            skip(the_link().gun_counter, "", "the device did not answer");
            next_number();
        }
    }
    return false;
}

bool download_running() { return dl.running; }

void download_lost() { finish("Device disconnected during Get Profiles...", link_status::lost); }

void download_stop(const char* why) { finish(why, link_status::stopped); }

const transfer_outcome& download_outcome() { return dl.outcome; }

const link_result& download_result() { return dl.result; }

bool device_side_filled_by_download(const std::string& folder)
{
    std::error_code ec;
    return !filled_folder.empty() &&
           std::filesystem::weakly_canonical(filled_folder, ec) == std::filesystem::weakly_canonical(folder, ec);
}

void forget_device_side_download() { filled_folder.clear(); }

void download_reset()
{
    stop_timer(dl.silence_timer_id);
    stop_timer(the_link().watchdog_timer_id);
    dl = download_state{};
    the_link().profiles_expected = 0;
    the_link().profiles_received = 0;
    the_link().checksum_errors = 0;
    the_link().gun_counter = 1;
    the_link().gun_is_saved = 0;
}

download_place download_progress()
{
    const link_object& l = the_link();
    return {l.profiles_expected, l.profiles_received, l.gun_counter};
}
