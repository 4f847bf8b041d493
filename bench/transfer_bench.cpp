// Transfer benchmark: Send Profiles and Get Profiles of the real program (its
// main window, the hooks the window fills in, its receive poll on the main
// loop at 100 ms on serial and 200 ms on the bridge) against a simulated
// meter that paces every byte at the device's baud on the real clock, beside
// a floor program that does only what the protocol forces (transfer_floor.cpp),
// run interleaved with it. Prints the medians in seconds per profile.
//   bench_transfers [RUNS] [--profiles N] [--pc N] [--only m600|cv-relay|m900]
//                   [--images DIR] [--drain-poll] [--fixed-poll]
// Needs a display (run_transfers.sh uses Xvfb). --drain-poll and
// --fixed-poll are what-ifs, not the program as shipped: the bench's own
// poll replaces the window's (see bench/README.md).
#include "transfer_bench.h"
#include "link/link_test_access.h"

#include <gtk/gtk.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <poll.h>
#include <random>
#include <unistd.h>

#include "app/startup.h"
#include "collections/profile_folders.h"
#include "collections/window/profile_lists.h"
#include "link/carriers.h"
#include "link/command_channel.h"
#include "link/download.h"
#include "link/link_state.h"
#include "link/upload.h"
#include "link/window/link_window.h"
#include "settings/device_modes.h"
#include "settings/window/device_selection.h"
#include "shell/shell.h"
#include "sim_bridge.h"

namespace fs = std::filesystem;

namespace {

// What the hooks saw during one of the program's runs.
struct hook_counts {
    int pumps = 0;
    double pump_ms = 0;
    double sleep_ms = 0;
    int lines = 0;
    double handler_ms = 0;  // the line handler, its pumps included
    double handler_pump_ms = 0;
    double handler_sleep_ms = 0;
    std::vector<double> line_at;  // when each line reached the handler
};
hook_counts g_counts;
bool g_in_handler = false;
double g_done_at = -1;
bool g_incomplete = false;
link_callbacks g_window_hooks;  // as the window filled them in

void counted_pump()
{
    const double t = now_ms();
    g_window_hooks.pump();
    const double d = now_ms() - t;
    ++g_counts.pumps;
    g_counts.pump_ms += d;
    if (g_in_handler) g_counts.handler_pump_ms += d;
}

void counted_sleep(unsigned ms)
{
    const double t = now_ms();
    g_window_hooks.sleep_ms(ms);
    g_counts.sleep_ms += now_ms() - t;
    if (g_in_handler) g_counts.handler_sleep_ms += now_ms() - t;
}

void counted_line(const char* line)
{
    const double t = now_ms();
    const bool outer = !g_in_handler;
    g_in_handler = true;
    g_window_hooks.line_handler(line);
    if (outer) {
        g_counts.line_at.push_back(t);
        g_in_handler = false;
        g_counts.handler_ms += now_ms() - t;
    }
    ++g_counts.lines;
}

void watched_status(const char* text)
{
    if (std::strncmp(text, "Download complete", 17) == 0) g_done_at = now_ms();
    if (std::strncmp(text, "Download incomplete", 19) == 0 || std::strncmp(text, "The device did not", 18) == 0) {
        g_done_at = now_ms();
        g_incomplete = true;
    }
    g_window_hooks.status(text);
}

void run_events_for(double ms)
{
    const double end = now_ms() + ms;
    while (now_ms() < end) {
        if (gtk_events_pending()) gtk_main_iteration_do(FALSE);
        else sleep_until_ms(std::min(end, now_ms() + 2));
    }
}

void write_device_files(const std::vector<GunProfile>& profiles)
{
    delete_device_mirror_files();
    for (const GunProfile& p : profiles)
        std::ofstream(std::string(kDeviceMirrorFolder) + "/" + profile_name(p) + ".pro", std::ios::binary)
            .write(reinterpret_cast<const char*>(&p), sizeof p);
}

size_t device_files() { return static_cast<size_t>(std::distance(fs::directory_iterator(kDeviceMirrorFolder), {})); }

// What-ifs, not the program as shipped. --drain-poll: one tick of the serial
// poll takes every complete line waiting in the port, not only the first.
// --fixed-poll: the poll ticks on a fixed schedule, whatever its callback
// did (GLib re-arms an interval timer from the time its callback returned
// when the callback ran a nested main loop).
bool g_drain_poll = false;
bool g_fixed_poll = false;
guint g_bench_poll = 0;
double g_poll_next = 0;
unsigned g_poll_period = 0;

void bench_poll_once()
{
    for (int i = 0; i < 64; ++i) {
        receive_poll();
        int waiting = 0;
        if (!g_drain_poll || the_link().hid_connected || the_link().com_handle < 0 ||
            ioctl(the_link().com_handle, FIONREAD, &waiting) != 0 || waiting == 0)
            break;
    }
}

gboolean interval_poll(gpointer)
{
    bench_poll_once();
    return TRUE;
}

gboolean scheduled_poll(gpointer)
{
    bench_poll_once();
    const double now = now_ms();
    do g_poll_next += g_poll_period;
    while (g_poll_next <= now);
    g_bench_poll = g_timeout_add(static_cast<guint>(g_poll_next - now + 0.999), scheduled_poll, nullptr);
    return FALSE;
}

// Replaces the window's poll when a what-if asks for it.
void replace_poll(unsigned period)
{
    if (!g_drain_poll && !g_fixed_poll) return;
    stop_receive_poll();
    g_poll_period = period;
    g_poll_next = now_ms() + period;
    g_bench_poll =
        g_fixed_poll ? g_timeout_add(period, scheduled_poll, nullptr) : g_timeout_add(period, interval_poll, nullptr);
}

void stop_bench_poll()
{
    if (g_bench_poll) g_source_remove(g_bench_poll);
    g_bench_poll = 0;
}

void connect_serial(const std::string& path)
{
    const serial_port_info info{path.c_str(), "", ""};
    add_port_to_list(nullptr, &info);
    on_connect_clicked(nullptr);  // opens it and starts the window's poll
    replace_poll(com_poll_interval_ms);
}

void disconnect_serial()
{
    stop_bench_poll();
    on_connect_clicked(nullptr);
    run_events_for(20);
}

bool connect_bridge()
{
    set_device_kind(false, kolvan_folder_mode != 0);
    hid_connect();
    replace_poll(hid_poll_interval_ms);
    run_events_for(600);  // the version message, read by the poll
    return the_link().hid_connected != 0;
}

void disconnect_bridge()
{
    stop_bench_poll();
    stop_receive_poll();
    link_reset();
}

// One measurement: seconds, or a negative value when the transfer failed.
struct sample {
    double seconds = -1;
    hook_counts counts;
};

sample program_upload(const bench_case& c, const std::vector<GunProfile>& profiles)
{
    sample out;
    write_device_files(profiles);
    serial_meter_thread m;
    const bool bridge = c.kind == sim_kind::m900;
    if (bridge) {
        prepare_bridge(c.version, nullptr);
        if (!connect_bridge()) return out;
    } else {
        if (!m.open(c.kind)) return out;
        m.start();
        set_device_kind(c.kind == sim_kind::cv_relay, kolvan_folder_mode != 0);
        connect_serial(m.s.slave_path);
    }
    run_events_for(50);
    g_counts = hook_counts{};
    const double t0 = now_ms();
    const int done = upload_profiles().ok() ? 1 : 0;
    const double t = (now_ms() - t0) / 1000.0;
    out.counts = g_counts;
    size_t stored = 0, rejected = 0;
    if (bridge) {
        run_events_for(100);
        sim_bridge_step();
        stored = sim_bridge().meter.profiles.size();
        rejected = sim_bridge().meter.rejected.size();
        disconnect_bridge();
    } else {
        m.finish();
        stored = m.s.meter.profiles.size();
        rejected = m.s.meter.rejected.size();
        disconnect_serial();
        m.close();
    }
    if (done == 1 && stored == profiles.size() && rejected == 0) out.seconds = t;
    else std::fprintf(stderr, "%s upload: result %d, %zu stored, %zu rejected\n", c.label, done, stored, rejected);
    return out;
}

sample program_download(const bench_case& c, const std::vector<GunProfile>& profiles)
{
    sample out;
    serial_meter_thread m;
    const bool bridge = c.kind == sim_kind::m900;
    if (bridge) {
        prepare_bridge(c.version, &profiles);
        if (!connect_bridge()) return out;
    } else {
        if (!m.open(c.kind)) return out;
        for (size_t i = 0; i < profiles.size(); ++i) sim_meter_store(m.s.meter, static_cast<int>(i) + 1, profiles[i]);
        m.start();
        set_device_kind(c.kind == sim_kind::cv_relay, kolvan_folder_mode != 0);
        connect_serial(m.s.slave_path);
    }
    // What Get Profiles does before the download: the device side emptied.
    delete_device_mirror_files();
    scan_device_profiles();
    run_events_for(50);
    g_counts = hook_counts{};
    g_done_at = -1;
    g_incomplete = false;
    const double t0 = now_ms();
    start_download();
    while (download_running() && now_ms() - t0 < 120000) gtk_main_iteration_do(TRUE);
    out.counts = g_counts;
    const size_t files = device_files();
    if (bridge) {
        disconnect_bridge();
    } else {
        disconnect_serial();
        m.close();
    }
    if (g_done_at > 0 && !g_incomplete && files == profiles.size()) out.seconds = (g_done_at - t0) / 1000.0;
    else std::fprintf(stderr, "%s download: %zu files, %s\n", c.label, files, g_incomplete ? "incomplete" : "");
    return out;
}

struct series {
    std::vector<double> program, floor, line_floor, pumps, pump_ms, sleep_ms, handler_ms, lines, gaps;
    int failed = 0;
    int profiles = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    int runs = 5, count = 5, pc = 20;
    std::string only, images;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : "";
        if (a == "--profiles") count = std::atoi(v), ++i;
        else if (a == "--pc") pc = std::atoi(v), ++i;
        else if (a == "--only") only = v, ++i;
        else if (a == "--images") images = v, ++i;
        else if (a == "--drain-poll") g_drain_poll = true;
        else if (a == "--fixed-poll") g_fixed_poll = true;
        else runs = std::atoi(a.c_str());
    }
    if (runs < 1 || count < 1 || count > kDeviceProfileLimit || pc < 0) {
        std::fprintf(stderr, "usage: bench_transfers [RUNS] [--profiles N<=30] [--pc N] [--only KIND] "
                             "[--images DIR] [--drain-poll] [--fixed-poll]\n");
        return 2;
    }

    char tmpl[] = "/tmp/stowline-transfers-XXXXXX";
    if (!mkdtemp(tmpl)) return 2;
    const fs::path root = tmpl;
    for (const char* d : {"bin", "Profiles", "Device"}) fs::create_directories(root / d);
    if (!images.empty())
        for (const auto& e : fs::directory_iterator(images))
            fs::copy_file(e.path(), root / "bin" / e.path().filename());
    std::vector<GunProfile> pc_profiles;
    for (int i = 0; i < pc; ++i) {
        GunProfile p = bench_profile(i);
        char name[16];
        std::snprintf(name, sizeof name, "PC%04d", i);
        set_profile_name(p, name);
        std::ofstream(root / "Profiles" / (std::string(name) + ".pro"), std::ios::binary)
            .write(reinterpret_cast<const char*>(&p), sizeof p);
    }
    if (chdir((root / "bin").c_str()) != 0) return 2;

    // The program's trace goes to a file, as a started program's would go
    // somewhere; the results to the original standard output.
    std::FILE* results = fdopen(dup(STDOUT_FILENO), "w");
    if (!results || !std::freopen((root / "trace.txt").c_str(), "w", stdout)) return 2;

    int fake_argc = 1;
    char* fake_argv[] = {argv[0], nullptr};
    char** pargv = fake_argv;
    if (!start_application(&fake_argc, &pargv)) return 2;
    choose_device_m600(nullptr);
    run_events_for(300);
    g_window_hooks = the_link().calls;
    the_link().calls.pump = counted_pump;
    the_link().calls.sleep_ms = counted_sleep;
    the_link().calls.line_handler = counted_line;
    the_link().calls.status = watched_status;

    std::vector<GunProfile> profiles, full_relay;
    for (int i = 0; i < count; ++i) profiles.push_back(bench_profile(i));
    for (int i = 0; i < kIndexedProfileCount; ++i) full_relay.push_back(bench_profile(i));

    std::mt19937 rng(12345);
    std::map<std::string, series> table;
    for (int r = 0; r < runs; ++r) {
        for (const bench_case& c : kCases) {
            if (!only.empty() && std::string(sim_kind_name(c.kind)) != only) continue;
            const double period = c.kind == sim_kind::m900 ? hid_poll_interval_ms : com_poll_interval_ms;
            std::uniform_real_distribution<double> phase(0.0, period);
            // The relay device is always asked for all its numbers: it is
            // measured full, so that every request brings a profile.
            const std::vector<GunProfile>& down = c.kind == sim_kind::cv_relay ? full_relay : profiles;
            for (int dir = 0; dir < 2; ++dir) {
                const std::vector<GunProfile>& set = dir == 0 ? profiles : down;
                series& s = table[std::string(c.label) + (dir == 0 ? "|upload" : "|download")];
                s.profiles = static_cast<int>(set.size());
                const double n = static_cast<double>(set.size());
                // A download also measures its second floor (serial: one line
                // per tick; bridge: each frame read as it arrives); the order
                // of the turns rotates from run to run.
                const bool line_floor = dir == 1 && !(g_drain_poll && c.kind != sim_kind::m900);
                const int turns = line_floor ? 3 : 2;
                for (int k = 0; k < turns; ++k) {
                    const int turn = (k + r) % turns;
                    if (turn == 2) {
                        const double t = floor_download(c, set, phase(rng), true);
                        if (t < 0) ++s.failed;
                        else s.line_floor.push_back(t / n);
                        continue;
                    }
                    const bool program_turn = turn == 0;
                    if (program_turn) {
                        const sample x = dir == 0 ? program_upload(c, set) : program_download(c, set);
                        if (x.seconds < 0) {
                            ++s.failed;
                            continue;
                        }
                        s.program.push_back(x.seconds / n);
                        s.pumps.push_back(x.counts.pumps / n);
                        s.pump_ms.push_back(x.counts.pump_ms / n);
                        s.sleep_ms.push_back(x.counts.sleep_ms / n);
                        s.handler_ms.push_back(
                            (x.counts.handler_ms - x.counts.handler_pump_ms - x.counts.handler_sleep_ms) / n);
                        s.lines.push_back(x.counts.lines / n);
                        std::vector<double> gaps;
                        for (size_t i = 1; i < x.counts.line_at.size(); ++i)
                            gaps.push_back(x.counts.line_at[i] - x.counts.line_at[i - 1]);
                        if (!gaps.empty()) s.gaps.push_back(median(gaps));
                    } else {
                        const double t =
                            dir == 0 ? floor_upload(c, set, phase(rng)) : floor_download(c, set, phase(rng));
                        if (t < 0) ++s.failed;
                        else s.floor.push_back(t / n);
                    }
                }
                std::fprintf(stderr, "run %d %-28s %-8s program %.3f floor %.3f s/profile\n", r + 1, c.label,
                             dir == 0 ? "upload" : "download", s.program.empty() ? -1.0 : s.program.back(),
                             s.floor.empty() ? -1.0 : s.floor.back());
            }
        }
    }

    std::fprintf(results, "Transfers, %d runs (program and floor interleaved), PC folder of %d profiles%s\n", runs, pc,
                 g_drain_poll || g_fixed_poll ? ", WHAT-IF (not as shipped):" : "");
    if (g_drain_poll) std::fprintf(results, "  the serial poll takes every waiting line in one tick\n");
    if (g_fixed_poll) std::fprintf(results, "  the poll ticks on a fixed schedule\n");
    std::fprintf(results, "medians in seconds per profile; pumps, pump ms, sleep ms, handler ms (its pumps and\n"
                          "sleeps excluded): per profile; line gap: median time between two lines handled\n\n");
    std::fprintf(results, "2nd floor: serial, the download floor taking one line per tick, as the serial poll did;\n"
                          "bridge, the download floor reading each frame as soon as it has arrived\n\n");
    std::fprintf(results, "%-27s %-9s %4s %5s %9s %9s %8s %10s %8s   %6s %8s %9s %10s %9s\n", "carrier", "direction",
                 "runs", "profs", "program", "floor", "above", "2nd floor", "above", "pumps", "pump ms", "sleep ms",
                 "handler ms", "line gap");
    for (const bench_case& c : kCases) {
        for (const char* dir : {"upload", "download"}) {
            auto it = table.find(std::string(c.label) + "|" + dir);
            if (it == table.end()) continue;
            const series& s = it->second;
            const double p = median(s.program), f = median(s.floor);
            char gap[16] = "        -";
            if (!s.gaps.empty()) std::snprintf(gap, sizeof gap, "%9.1f", median(s.gaps));
            char lf[32] = "         -        -";
            if (!s.line_floor.empty()) {
                const double l = median(s.line_floor);
                std::snprintf(lf, sizeof lf, "%10.3f %+7.1f%%", l, 100.0 * (p - l) / l);
            }
            std::fprintf(results, "%-27s %-9s %4zu %5d %9.3f %9.3f %+7.1f%% %s   %6.1f %8.1f %9.1f %10.2f %s%s\n",
                         c.label, dir, std::min(s.program.size(), s.floor.size()), s.profiles, p, f,
                         100.0 * (p - f) / f, lf, median(s.pumps), median(s.pump_ms), median(s.sleep_ms),
                         median(s.handler_ms), gap, s.failed ? "  (some runs failed)" : "");
        }
    }
    std::fclose(results);
    std::error_code ec;
    fs::remove_all(root, ec);
    return 0;
}
