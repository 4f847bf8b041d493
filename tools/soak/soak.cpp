// stowline-soak: the transfer core (upload_profiles, start_download and the
// line handler) against the simulated meters of every kind for N cycles with
// random faults, on a virtual clock: the link's sleeps, pumps and timers run
// a main loop of the soak's own (the receive poll every 100 ms on serial and
// 200 ms on the bridge, never inside itself; one-shot timers), whose time
// moves only when the program sleeps or waits.
//
// Each cycle writes a few random profiles into the device folder, sends them,
// empties the folder and gets them back, and checks that
//   - what the meter stored is what the files hold, line for line, and an
//     upload that met no fault stored every file;
//   - every profile the download saved is, in every field the protocol
//     carries, the profile the meter holds under that name, and the folder
//     holds whole records only;
//   - "Download complete" comes only when every announced profile was saved;
//   - no file outside the device folder changed;
//   - the download ended (within 1,500 s of virtual time) and no cycle took
//     more than 120 s of wall time;
//   - a Send Profiles after a stopped upload works;
//   - the RSS at the last cycle is within 1 MiB of that at cycle 50 (with
//     100 cycles or more);
// and prints the figures at the end. Exit status 1 when a check failed.
//   stowline-soak [--cycles N] [--seed S] [--kind all|m600|cv-relay|m900-1.12|m900-1.12.3]
//                 [--max-profiles N] [--trace FILE] [--verbose]
#include "collections/profile_folders.h"
#include "link/carriers.h"
#include "link/command_channel.h"
#include "link/download.h"
#include "link/link_state.h"
#include "link/link_test_access.h"
#include "link/profile_lines.h"
#include "link/upload.h"
#include "settings/device_modes.h"
#include "sim_bridge.h"
#include "sim_serial.h"
#include "soak_profiles.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------- options

struct options {
    int cycles = 500;
    unsigned seed = 1;
    std::string kind = "all";
    int max_profiles = 5;
    std::string trace = "/dev/null";
    bool verbose = false;
};

struct carrier {
    const char* name;
    sim_kind kind;
    const char* version;
};
const carrier kCarriers[] = {
    {"m600", sim_kind::m600, ""},
    {"cv-relay", sim_kind::cv_relay, ""},
    {"m900-1.12", sim_kind::m900, "1.12"},
    {"m900-1.12.3", sim_kind::m900, "1.12.3"},
};

std::FILE* out = stderr;  // the report; the program's trace goes elsewhere

double wall_s()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

long rss_kib()
{
    std::ifstream f("/proc/self/statm");
    long size = 0, resident = 0;
    f >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// ------------------------------------------------------- the virtual world

struct vtimer {
    double due;
    unsigned interval;
    bool (*fire)();
    bool running;
};

// A line of the upload spoiled on its way to a serial meter.
struct wire_fault {
    bool armed = false;
    std::string prefix;
    int nth = 1;
    bool drop = false;  // else one digit is changed
    bool struck = false;
};

// A command of the bridge left without its acknowledgement, or with a bad
// CRC on it: the `target`-th command to reach the meter.
struct ack_fault {
    bool armed = false;
    size_t target = 0;
    bool bad_crc = false;
    bool set = false;
    bool struck = false;
};

struct world {
    carrier c{};
    bool bridge = false;
    bool relay = false;
    sim_serial serial;
    double now = 0;
    std::map<unsigned, vtimer> timers;
    unsigned next_id = 1;
    size_t lines_seen = 0;
    wire_fault up;
    ack_fault ack;
    int stale_stops = 0;  // stop_timer of a timer that was gone
    std::vector<std::string> status;
};
world W;

sim_meter& meter() { return W.bridge ? sim_bridge().meter : W.serial.meter; }

bool starts(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// The upload's bytes, taken in from the pseudo-terminal, with the wire
// fault applied to the line aimed at while its bytes are still on the wire.
void intercept_serial()
{
    sim_serial& s = W.serial;
    sim_serial_poll(s, 0);
    // Each new line's place from the wire's tail: the bytes after it.
    size_t tail = s.partial.size();
    std::vector<size_t> after(s.lines.size(), 0);
    for (size_t i = s.lines.size(); i-- > W.lines_seen;) {
        after[i] = tail;
        tail += s.lines[i].size();
    }
    for (size_t i = W.lines_seen; i < s.lines.size(); ++i) {
        const std::string& line = s.lines[i];
        if (!W.up.armed || W.up.struck || !starts(line, W.up.prefix) || --W.up.nth > 0) continue;
        auto& bytes = s.to_meter.bytes;
        if (bytes.size() < after[i] + line.size()) continue;  // already taken in: it goes through
        const size_t first = bytes.size() - after[i] - line.size();
        if (W.up.drop) {
            bytes.erase(bytes.begin() + static_cast<long>(first),
                        bytes.begin() + static_cast<long>(first + line.size()));
        } else {
            // One digit of the second half changed: the checksum no longer holds.
            for (size_t k = first + line.size() / 2; k < first + line.size(); ++k) {
                char& ch = bytes[k].first;
                if (ch >= '0' && ch <= '9') {
                    ch = ch == '9' ? '0' : static_cast<char>(ch + 1);
                    break;
                }
            }
        }
        W.up.struck = true;
    }
    W.lines_seen = s.lines.size();
}

void arm_bridge_faults()
{
    sim_bridge_state& b = sim_bridge();
    if (!W.ack.armed || W.ack.set || b.command_lines.size() + 1 < W.ack.target) return;
    if (W.ack.bad_crc) b.corrupt_next = true;
    else b.acks_to_skip = 1;
    W.ack.set = true;
}

void advance(unsigned ms)
{
    if (ms == 0) return;
    W.now += ms;
    if (W.bridge) {
        arm_bridge_faults();
        sim_bridge_advance(ms);
        sim_bridge_state& b = sim_bridge();
        if (W.ack.set && !W.ack.struck && b.acks_to_skip == 0 && !b.corrupt_next) W.ack.struck = true;
    } else {
        intercept_serial();
        sim_serial_service(W.serial, ms);
    }
}

// One pass of the main loop: every due timer that is not running now.
void dispatch_due()
{
    for (;;) {
        unsigned id = 0;
        double due = 0;
        for (const auto& [i, t] : W.timers)
            if (!t.running && t.due <= W.now && (id == 0 || t.due < due)) id = i, due = t.due;
        if (id == 0) return;
        W.timers[id].running = true;
        const bool again = W.timers[id].fire();
        auto it = W.timers.find(id);
        if (it == W.timers.end()) continue;  // stopped from inside
        if (again) {
            it->second.due = W.now + it->second.interval;
            it->second.running = false;
        } else {
            W.timers.erase(it);
        }
    }
}

// The window's sleep: the main loop runs while the time passes.
void vsleep(unsigned ms)
{
    const double end = W.now + ms;
    dispatch_due();
    while (W.now < end) {
        double next = end;
        for (const auto& [i, t] : W.timers)
            if (!t.running && t.due < next) next = t.due;
        if (next <= W.now) next = W.now + 1;
        advance(static_cast<unsigned>(next - W.now));
        dispatch_due();
    }
}

unsigned vstart_timer(unsigned ms, bool (*fire)())
{
    W.timers[W.next_id] = {W.now + ms, ms, fire, false};
    return W.next_id++;
}

void vstop_timer(unsigned id)
{
    if (W.timers.erase(id) == 0) ++W.stale_stops;
}

bool poll_fire()
{
    receive_poll();
    return true;
}

void fill_hooks()
{
    link_use(link_callbacks_default());
    the_link().calls.pump = dispatch_due;  // five main-loop passes; the lists are not the core's
    the_link().calls.sleep_ms = vsleep;
    the_link().calls.status = [](const char* text) { W.status.emplace_back(text); };
    the_link().calls.line_handler = handle_download_line;
    the_link().calls.start_timer = vstart_timer;
    the_link().calls.stop_timer = vstop_timer;
}

// ------------------------------------------------------------------ figures

struct figures {
    int cycles = 0;
    int sent = 0, stored = 0;
    int upload_stops = 0, retries_failed = 0;
    int saved = 0, asked_again = 0, after_end = 0;
    int complete = 0, incomplete = 0, no_answer = 0, empty = 0, other_end = 0;
    int late_requests = 0;
    int still_talking = 0;
    int request_unsent = 0;
    std::map<std::string, int> skipped;  // why -> count
    std::map<std::string, int> faults;   // kind -> struck
    long rss50 = 0, rssN = 0;
    double wall = 0;
    int violations = 0;
};

struct cycle_context {
    unsigned seed;
    const char* kind;
    int cycle;
};
cycle_context g_ctx;
figures* g_fig = nullptr;

void violation(const std::string& what)
{
    ++g_fig->violations;
    std::fprintf(out, "VIOLATION seed %u kind %s cycle %d: %s\n", g_ctx.seed, g_ctx.kind, g_ctx.cycle, what.c_str());
    std::fflush(out);
}

// The hang guard: a cycle that has not ended after 120 s of wall time.
std::atomic<double> g_cycle_started{0};
std::atomic<bool> g_guard_on{true};

void guard()
{
    while (g_guard_on) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const double started = g_cycle_started;
        if (started > 0 && wall_s() - started > 120) {
            std::fprintf(out, "VIOLATION seed %u kind %s cycle %d: the cycle has not ended after 120 s (hung)\n",
                         g_ctx.seed, g_ctx.kind, g_ctx.cycle);
            std::fflush(out);
            std::_Exit(3);
        }
    }
}

// ---------------------------------------------------------- the file guard

using snapshot = std::map<std::string, std::string>;  // path -> size, time, content

snapshot outside_device(const fs::path& root)
{
    snapshot s;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const fs::path rel = fs::relative(it->path(), root);
        if (rel == "Device") {
            it.disable_recursion_pending();
            continue;
        }
        std::string v = it->is_directory() ? "dir" : "file";
        if (it->is_regular_file()) {
            std::ifstream f(it->path(), std::ios::binary);
            v += std::to_string(fs::file_size(it->path())) + ":" +
                 std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
            v += ":" + std::to_string(fs::last_write_time(it->path()).time_since_epoch().count());
        }
        s[rel.string()] = v;
    }
    return s;
}

// ------------------------------------------------------------------ a cycle

std::string first_difference(const std::string& a, const std::string& b)
{
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    const size_t from = i > 20 ? i - 20 : 0;
    return "at byte " + std::to_string(i) + ": \"" + a.substr(from, 50) + "\" against \"" + b.substr(from, 50) + "\"";
}

// What the meter holds, by slot: the record each stored profile came from.
std::map<int, GunProfile> g_origin;

void clear_recordings()
{
    if (W.bridge) {
        sim_bridge_state& b = sim_bridge();
        b.feature_reports.clear();
        b.output_reports.clear();
        b.uart_rx.clear();
        b.messages.clear();
        b.command_lines.clear();
    } else {
        W.serial.lines.clear();
        W.lines_seen = 0;
    }
    meter().sent.clear();
    meter().rejected.clear();
    meter().bad_checksum_lines.clear();
}

size_t commands_received()
{
    if (W.bridge) return sim_bridge().command_lines.size();
    intercept_serial();
    return W.serial.lines.size();
}

size_t requests_received(size_t from)
{
    size_t n = 0;
    if (W.bridge) {
        const auto& c = sim_bridge().command_lines;
        for (size_t i = from; i < c.size(); ++i) n += starts(c[i], ":AD");
    } else {
        const auto& c = W.serial.lines;
        for (size_t i = from; i < c.size(); ++i) n += starts(c[i], ":AD");
    }
    return n;
}

void clear_faults()
{
    meter().faults.clear();
    meter().silent_after = -1;
    W.up = wire_fault{};
    W.ack = ack_fault{};
    if (W.bridge) {
        sim_bridge().acks_to_skip = 0;
        sim_bridge().corrupt_next = false;
        sim_bridge().skip_ack_for.clear();
    }
}

// Waits until the meter has nothing left to say, at most `limit_ms`; false
// when it still had.
bool quiet(unsigned limit_ms)
{
    bool idle = false;
    const double end = W.now + limit_ms;
    while (W.now < end) {
        vsleep(200);
        sim_meter& m = meter();
        idle = m.queue.empty() && (W.bridge ? sim_bridge().to_program.bytes.empty() && sim_bridge().uart_tx.empty()
                                            : W.serial.to_program.bytes.empty() && W.serial.unwritten.empty());
        if (idle) break;
    }
    vsleep(400);
    return idle;
}

int pick(std::mt19937& rng, int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }
bool chance(std::mt19937& rng, double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; }

const char* const kDataPrefixes[] = {":AP", ":AV", ":AC", ":AM"};
const char* const kLinePrefixes[] = {":AG", ":AN", ":AP", ":AV", ":AC", ":AM", ":AS"};

void run_cycle(const options& o, const fs::path& root, const snapshot& before, int cycle, int& tag)
{
    figures& F = *g_fig;
    const unsigned kind_key = static_cast<unsigned>(W.c.kind) * 7u + static_cast<unsigned>(std::strlen(W.c.version));
    std::seed_seq seq{o.seed, kind_key, static_cast<unsigned>(cycle)};
    std::mt19937 rng(seq);
    clear_faults();
    clear_recordings();
    W.status.clear();
    std::printf("==== soak %s seed %u cycle %d\n", W.c.name, o.seed, cycle);  // a mark in the trace

    // The device folder: a few random profiles.
    for (const auto& e : fs::directory_iterator(root / "Device")) fs::remove_all(e.path());
    const int n = pick(rng, 1, o.max_profiles);
    std::map<std::string, GunProfile> files;  // file name -> record, in byte order
    for (int i = 0; i < n; ++i) {
        GunProfile p = random_profile(rng, tag++ % 46656, W.relay ? 20 : 10);
        files[profile_name(p) + ".pro"] = p;
        std::ofstream(root / "Device" / (profile_name(p) + ".pro"), std::ios::binary)
            .write(reinterpret_cast<const char*>(&p), sizeof p);
    }
    std::vector<GunProfile> in_slot_order;
    for (const auto& [file, p] : files) in_slot_order.push_back(p);

    // ------------------------------------------------------------ upload
    bool up_fault = false;
    if (chance(rng, 0.3)) {
        up_fault = true;
        if (W.bridge) {
            W.ack.armed = true;
            W.ack.bad_crc = chance(rng, 0.3);
            W.ack.target = static_cast<size_t>(pick(rng, 1, 3 + 7 * n));
            if (chance(rng, 0.1)) {  // a silent device: no acknowledgement at all
                sim_bridge().acks_to_skip = 100000;
                W.ack.armed = false;
                ++F.faults["silent device (upload)"];
            }
        } else {
            W.up.armed = true;
            W.up.drop = chance(rng, 0.5);
            W
                .up.prefix = W.up.drop ? std::vector<std::string>{":AG", ":AU", ":AN", ":AP",
                                                                  ":AV", ":AC", ":AM", ":AS"}[static_cast<size_t>(
                                             pick(rng, 0, 7))]
                                       : kDataPrefixes[pick(rng, 0, 3)];
            W.up.nth = W.up.prefix == ":AG" ? 1 : pick(rng, 1, n);
        }
    }
    std::map<int, sim_stored_profile> stored;
    meter().on_store = [&stored](int slot, const sim_stored_profile& p) { stored[slot] = p; };
    const int clear_before = the_link().clear_to_send;
    // A profile an earlier, stopped upload left open is rejected by this
    // upload's count line: that rejection is not this upload's.
    const bool left_open = meter().receiving;
    const int result = upload_profiles().ok() ? 1 : 0;
    vsleep(500);  // the last bytes reach the meter
    F.sent += n;
    if (W.up.struck) ++F.faults[W.up.drop ? "lost line (upload, serial)" : "bad checksum (upload, serial)"];
    if (W.ack.struck) ++F.faults[W.ack.bad_crc ? "bad CRC (acknowledgement)" : "missing acknowledgement"];
    const bool bridge_silent = W.bridge && sim_bridge().acks_to_skip > 1000;
    const bool ack_fault_struck = W.ack.struck || bridge_silent;
    if (result == 0) {
        ++F.upload_stops;
        if (!ack_fault_struck)
            violation(
                std::string("the upload stopped though no acknowledgement was missing in it (clear_to_send was ") +
                std::to_string(clear_before) + " at its start; status: " + (W.status.empty() ? "" : W.status.back()) +
                ")");
    }
    for (const auto& [slot, s] : stored) {
        if (slot < 1 || slot > n) {
            violation("the meter stored slot " + std::to_string(slot) + " of an upload of " + std::to_string(n));
            continue;
        }
        profile_line_set l;
        build_profile_lines(in_slot_order[static_cast<size_t>(slot - 1)], W.relay, the_link().device_version, &l,
                            nullptr);
        const std::string want = l.name + l.main + l.mv_table + l.drag + l.mach;
        const std::string got = s.lines.name + s.lines.main + s.lines.mv_table + s.lines.drag + s.lines.mach;
        if (got != want)
            violation("slot " + std::to_string(slot) + " stored unlike its file " + first_difference(got, want));
        g_origin[slot] = in_slot_order[static_cast<size_t>(slot - 1)];
    }
    F.stored += static_cast<int>(stored.size());
    size_t rejected = meter().rejected.size();
    if (left_open && rejected > 0 && meter().rejected.front().why == "cut off by a new count (:AG)") --rejected;
    if (result == 1 && !up_fault && (stored.size() != static_cast<size_t>(n) || rejected > 0))
        violation("an upload without a fault stored " + std::to_string(stored.size()) + " of " + std::to_string(n) +
                  (rejected == 0 ? "" : "; rejected: " + meter().rejected.back().why));
    meter().on_store = nullptr;
    clear_faults();
    if (result == 0) {
        // As a user would: Send Profiles again, on a link without faults.
        quiet(3000);
        std::map<int, sim_stored_profile> again;
        meter().on_store = [&again](int slot, const sim_stored_profile& p) { again[slot] = p; };
        const int second = upload_profiles().ok() ? 1 : 0;
        vsleep(500);
        meter().on_store = nullptr;
        if (second != 1 || again.size() != static_cast<size_t>(n)) {
            ++F.retries_failed;
            violation("Send Profiles after a stopped upload did not work (" + std::to_string(again.size()) + " of " +
                      std::to_string(n) + " stored; status: " + (W.status.empty() ? "" : W.status.back()) + ")");
        }
        for (const auto& [slot, s] : again) g_origin[slot] = in_slot_order[static_cast<size_t>(slot - 1)];
    }
    for (auto it = g_origin.begin(); it != g_origin.end();)
        it = meter().profiles.count(it->first) ? std::next(it) : g_origin.erase(it);
    quiet(3000);

    // ---------------------------------------------------------- download
    std::printf("==== soak download\n");
    delete_device_mirror_files();
    W.status.clear();
    clear_recordings();
    const int held = static_cast<int>(meter().profiles.size());
    const int lines_due = W.relay ? 6 * held + 2 * (kIndexedProfileCount - held) : 1 + 6 * held;
    const int k = pick(rng, 0, 3);
    for (int i = 0; i < k; ++i) {
        sim_line_fault f;
        const int what = pick(rng, 0, W.bridge ? 3 : 2);
        f.what = what == 0   ? sim_fault::bad_checksum
                 : what == 1 ? sim_fault::lose
                 : what == 2 ? sim_fault::garbage
                             : sim_fault::bad_frame;
        f.prefix = f.what == sim_fault::bad_checksum ? kDataPrefixes[pick(rng, 0, 3)] : kLinePrefixes[pick(rng, 0, 6)];
        if (W.relay && f.prefix == ":AG") f.prefix = ":AS";  // the relay device sends no count
        f.nth = pick(rng, 1, std::max(1, held));
        f.garbage_bytes = static_cast<size_t>(pick(rng, 1, 64));
        f.seed = static_cast<unsigned>(rng());
        meter().faults.push_back(f);
    }
    std::vector<sim_line_fault> set = meter().faults;
    bool silent = false;
    if (chance(rng, 0.08)) {
        silent = true;
        meter().silent_after = pick(rng, 0, lines_due);
    }
    if (W.bridge && chance(rng, 0.15)) {
        W.ack.armed = true;
        W.ack.bad_crc = chance(rng, 0.3);
        W.ack.target = static_cast<size_t>(pick(rng, 1, 4 + lines_due));
    }
    const double t0 = W.now;
    start_download();
    while (download_running() && W.now - t0 < 1500000) vsleep(100);
    const bool hung = download_running();
    const size_t saved_at_end = static_cast<size_t>(std::distance(fs::directory_iterator(root / "Device"), {}));
    const size_t commands_at_end = commands_received();
    const int expected_seen = the_link().profiles_expected;
    if (hung) violation("the download has not ended after 1,500 s");
    // What struck.
    for (const sim_line_fault& f : set) {
        bool gone = true;
        for (const sim_line_fault& g : meter().faults)
            if (g.what == f.what && g.prefix == f.prefix && g.seed == f.seed) gone = false;
        if (!gone) continue;
        switch (f.what) {
        case sim_fault::bad_checksum: ++F.faults["bad checksum"]; break;
        case sim_fault::lose: ++F.faults["lost line"]; break;
        case sim_fault::garbage: ++F.faults["garbage"]; break;
        case sim_fault::bad_frame: ++F.faults["bad CRC (line)"]; break;
        }
    }
    if (silent && meter().silent_after == 0) ++F.faults["silent device"];
    if (W.ack.struck) ++F.faults[W.ack.bad_crc ? "bad CRC (acknowledgement)" : "missing acknowledgement"];
    clear_faults();
    if (!quiet(30000)) {
        // Still answering after 30 s (acknowledgements it waits for in
        // vain): switched off and on, so that cycles stay apart.
        ++F.still_talking;
        meter().queue.clear();
        meter().waiting = false;
    }
    const size_t late = requests_received(commands_at_end);
    if (late > 0) ++F.late_requests;

    // The end as the user is told it.
    std::string end;
    for (auto it = W.status.rbegin(); it != W.status.rend(); ++it) {
        if (starts(*it, "Download complete") || starts(*it, "Download incomplete") ||
            starts(*it, "There are no profiles") || starts(*it, "The device did not answer") ||
            starts(*it, "Could not ask")) {
            end = *it;
            break;
        }
    }
    for (const std::string& s : W.status) F.asked_again += starts(s, "Profile transmission contained errors");

    // The device folder: whole records of profiles the meter holds.
    std::map<std::string, int> slot_of;  // the name a download gives each held profile
    for (const auto& [slot, s] : meter().profiles) slot_of[received_name(s.lines.name.c_str())] = slot;
    size_t files_now = 0;
    std::set<int> saved_slots;
    for (const auto& e : fs::directory_iterator(root / "Device")) {
        ++files_now;
        const std::string file = e.path().filename().string();
        if (!e.is_regular_file() || file.size() < 5 || file.substr(file.size() - 4) != ".pro") {
            violation("the device folder holds " + file + ", not a profile file");
            continue;
        }
        if (fs::file_size(e.path()) != kProfileSize) {
            violation(file + " is " + std::to_string(fs::file_size(e.path())) + " bytes, not a whole record");
            continue;
        }
        const std::string name = file.substr(0, file.size() - 4);
        auto it = slot_of.find(name);
        if (it == slot_of.end()) {
            violation("a file the device does not hold: " + file);
            continue;
        }
        saved_slots.insert(it->second);
        GunProfile got{};
        read_profile_file(e.path().string(), got);
        const float v = the_link().device_version;
        const std::string have = carried_lines(got, W.relay, v);
        auto origin = g_origin.find(it->second);
        if (origin == g_origin.end()) {
            violation("no record of what slot " + std::to_string(it->second) + " was sent from");
            continue;
        }
        const std::string want = carried_lines(carried_profile(origin->second, W.relay, v), W.relay, v);
        if (have != want) {
            const std::string reader = carried_lines(meter().profiles[it->second].record, W.relay, v);
            violation(file + " differs from what the device holds " + first_difference(have, want) +
                      (reader == want ? "" : " (the soak's expectation also differs from the line readers')"));
        }
    }
    F.saved += static_cast<int>(saved_at_end);
    if (files_now > saved_at_end) F.after_end += static_cast<int>(files_now - saved_at_end);

    if (starts(end, "Download complete")) {
        ++F.complete;
        const bool announced = W.relay || expected_seen == held;
        for (const auto& [slot, s] : meter().profiles)
            if (!saved_slots.count(slot) && announced)
                violation("\"Download complete\" but " + received_name(s.lines.name.c_str()) + " was not saved");
    } else if (starts(end, "Download incomplete")) {
        ++F.incomplete;
        int said = -1;
        std::sscanf(end.c_str(), "Download incomplete: %d", &said);
        if (said != static_cast<int>(saved_at_end))
            violation("the status says " + std::to_string(said) + " saved, the folder holds " +
                      std::to_string(saved_at_end) + ": " + end);
        // "skipped: NAME (why); NAME (why)." -- a name may hold brackets itself.
        const size_t list = end.find("skipped: ");
        std::string rest = list == std::string::npos ? "" : end.substr(list + 9);
        if (!rest.empty() && rest.back() == '.') rest.pop_back();
        for (size_t from = 0; from < rest.size();) {
            size_t to = rest.find("; ", from);
            if (to == std::string::npos) to = rest.size();
            const std::string entry = rest.substr(from, to - from);
            const size_t open = entry.rfind(" (");
            ++F.skipped[open == std::string::npos || entry.back() != ')'
                            ? entry
                            : entry.substr(open + 2, entry.size() - open - 3)];
            from = to + 2;
        }
    } else if (starts(end, "There are no profiles")) {
        ++F.empty;
        if (held > 0 && expected_seen == held)
            violation("\"There are no profiles\" from a device holding " + std::to_string(held));
    } else if (starts(end, "The device did not answer")) {
        ++F.no_answer;
    } else if (starts(end, "Could not ask")) {
        ++F.request_unsent;
    } else {
        ++F.other_end;
        if (!hung)
            violation("the download ended without telling the user (last status: " +
                      (W.status.empty() ? std::string("none") : W.status.back()) + ")");
    }
    if (W.stale_stops) {
        violation(std::to_string(W.stale_stops) + " stop_timer call(s) on a timer already gone");
        W.stale_stops = 0;
    }

    if (outside_device(root) != before) violation("a file outside the device folder changed");
    if (o.verbose)
        std::fprintf(out, "cycle %d: %d sent, %zu stored, result %d; %d held, %zu saved (+%zu later); %s\n", cycle, n,
                     stored.size(), result, held, saved_at_end, files_now - saved_at_end, end.c_str());
}

void run_carrier(const options& o, const carrier& c, figures& F)
{
    g_fig = &F;
    link_reset();
    device_modes_reset();
    W = world{};
    W.c = c;
    W.bridge = c.kind == sim_kind::m900;
    W.relay = c.kind == sim_kind::cv_relay;
    g_origin.clear();
    fill_hooks();
    set_device_kind(W.relay, kolvan_folder_mode != 0);
    if (W.bridge) {
        sim_bridge_reset();
        sim_bridge().paced = true;
        sim_bridge_set_version(c.version);
        if (!hid_connect_link()) {
            violation("the bridge could not be opened");
            return;
        }
    } else {
        if (!sim_serial_open(W.serial, c.kind, false)) {
            violation("no pseudo-terminal");
            return;
        }
        W.serial.paced = true;
        if (!com_open_path(W.serial.slave_path.c_str())) {
            violation("the port could not be opened");
            return;
        }
    }
    vstart_timer(W.bridge ? hid_poll_interval_ms : com_poll_interval_ms, poll_fire);
    vsleep(600);

    char tmpl[] = "/tmp/stowline-soak-XXXXXX";
    if (!mkdtemp(tmpl)) return;
    const fs::path root = tmpl;
    for (const char* d : {"bin", "Profiles", "Device"}) fs::create_directories(root / d);
    std::ofstream(root / "Profiles" / "KEEP.pro", std::ios::binary) << std::string(kProfileSize, 'k');
    std::ofstream(root / "bin" / "settings.ini") << "[soak]\n";
    std::ofstream(root / "beside.txt") << "beside the folders\n";
    const fs::path old = fs::current_path();
    fs::current_path(root / "bin");
    const snapshot before = outside_device(root);

    const double t0 = wall_s();
    int tag = 0;
    for (int cycle = 1; cycle <= o.cycles; ++cycle) {
        g_ctx = {o.seed, c.name, cycle};
        g_cycle_started = wall_s();
        run_cycle(o, root, before, cycle, tag);
        g_cycle_started = 0;
        ++F.cycles;
        if (cycle == std::min(50, o.cycles)) F.rss50 = rss_kib();
    }
    F.rssN = rss_kib();
    F.wall = wall_s() - t0;
    // Flat: a leak of even a few bytes a cycle shows over 450 cycles.
    if (o.cycles >= 100 && F.rssN - F.rss50 > 1024)
        violation("RSS grew from " + std::to_string(F.rss50) + " KiB at cycle 50 to " + std::to_string(F.rssN) +
                  " KiB at cycle " + std::to_string(o.cycles));
    fs::current_path(old);
    fs::remove_all(root);
    link_reset();
    if (!W.bridge) sim_serial_close(W.serial);
}

void print(const options& o, const carrier& c, const figures& F)
{
    std::fprintf(out, "== %s, seed %u: %d cycles, %.1f s wall\n", c.name, o.seed, F.cycles, F.wall);
    std::fprintf(out,
                 "  upload:   %d profiles given to Send Profiles, %d stored by the meter; %d uploads stopped (missing "
                 "acknowledgement), %d Send Profiles after a stop failed\n",
                 F.sent, F.stored, F.upload_stops, F.retries_failed);
    std::fprintf(out,
                 "  download: %d saved, %d asked again; ends: %d complete, %d incomplete, %d \"no profiles\", "
                 "%d \"did not answer\", %d \"could not ask\", %d other\n",
                 F.saved, F.asked_again, F.complete, F.incomplete, F.empty, F.no_answer, F.request_unsent, F.other_end);
    if (F.after_end || F.late_requests || F.still_talking)
        std::fprintf(out,
                     "  after the end: %d files saved, %d downloads went on asking the device, %d times the "
                     "meter still sent 30 s later\n",
                     F.after_end, F.late_requests, F.still_talking);
    int skipped = 0;
    for (const auto& [why, k] : F.skipped) skipped += k;
    std::fprintf(out, "  skipped:  %d", skipped);
    for (const auto& [why, k] : F.skipped) std::fprintf(out, "; %d %s", k, why.c_str());
    std::fprintf(out, "\n  faults that struck:");
    int total = 0;
    for (const auto& [what, k] : F.faults) {
        std::fprintf(out, "%s %d %s", total ? ";" : "", k, what.c_str());
        total += k;
    }
    std::fprintf(out, " (%d)\n", total);
    std::fprintf(out, "  RSS at cycle %d: %ld KiB, at cycle %d: %ld KiB (%+ld KiB)\n", std::min(50, o.cycles), F.rss50,
                 F.cycles, F.rssN, F.rssN - F.rss50);
    std::fprintf(out, "  violations: %d\n", F.violations);
}

}  // namespace

int main(int argc, char** argv)
{
    options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        auto need = [&] {
            if (!v) {
                std::fprintf(stderr, "stowline-soak: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            ++i;
            return v;
        };
        if (a == "--cycles") o.cycles = std::atoi(need());
        else if (a == "--seed") o.seed = static_cast<unsigned>(std::strtoul(need(), nullptr, 10));
        else if (a == "--kind") o.kind = need();
        else if (a == "--max-profiles") o.max_profiles = std::atoi(need());
        else if (a == "--trace") o.trace = need();
        else if (a == "--verbose") o.verbose = true;
        else {
            std::fprintf(stderr, "usage: stowline-soak [--cycles N] [--seed S] "
                                 "[--kind all|m600|cv-relay|m900-1.12|m900-1.12.3] [--max-profiles N] "
                                 "[--trace FILE] [--verbose]\n");
            return 2;
        }
    }
    if (o.cycles < 1 || o.max_profiles < 1 || o.max_profiles > kDeviceProfileLimit) {
        std::fprintf(stderr, "stowline-soak: --cycles at least 1, --max-profiles 1 to %d\n", kDeviceProfileLimit);
        return 2;
    }
    // The program's trace goes to --trace; the report to standard output.
    out = fdopen(dup(STDOUT_FILENO), "w");
    if (!out || !std::freopen(o.trace.c_str(), "w", stdout)) return 2;
    std::thread hang_guard(guard);

    int violations = 0, ran = 0;
    const double t0 = wall_s();
    for (const carrier& c : kCarriers) {
        if (o.kind != "all" && o.kind != c.name && !(o.kind == "m900" && c.kind == sim_kind::m900)) continue;
        figures F;
        run_carrier(o, c, F);
        print(o, c, F);
        std::fflush(out);
        violations += F.violations;
        ++ran;
    }
    g_guard_on = false;
    hang_guard.join();
    if (ran == 0) {
        std::fprintf(stderr, "stowline-soak: no such kind: %s\n", o.kind.c_str());
        return 2;
    }
    std::fprintf(out, "== total: %d violation(s), %.1f s wall\n", violations, wall_s() - t0);
    std::fclose(out);
    return violations ? 1 : 0;
}
