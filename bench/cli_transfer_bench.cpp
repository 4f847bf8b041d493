// stowline-cli's send and get, per profile, against the floor the protocol
// sets (transfer_floor.cpp, the transfer benchmark's floor): the tool's run
// functions in-process, from the start of the command to its end (the port
// or cable opened, the M900's version awaited, the transfer, the link
// closed), against the same simulated meters on the real clock, bytes paced
// at the device's baud, interleaved with the floor in a rotating order.
//   bench_cli_transfers [RUNS] [--profiles N] [--only m600|cv-relay|m900]
#include "transfer_bench.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "cli/commands.h"
#include "link/download.h"
#include "link/link_state.h"
#include "sim_bridge.h"

namespace fs = std::filesystem;

namespace {


fs::path g_root;
std::FILE* g_null = nullptr;

TransferRequest request(const bench_case& c, const serial_meter_thread& m)
{
    TransferRequest r;
    r.device = c.kind == sim_kind::m900       ? TransferRequest::Device::m900
               : c.kind == sim_kind::cv_relay ? TransferRequest::Device::cv_relay
                                              : TransferRequest::Device::m600;
    if (c.kind != sim_kind::m900) r.port = m.s.slave_path;
    r.yes = true;
    return r;
}

CliStreams quiet()
{
    CliStreams io;
    io.out = io.err = g_null;
    io.quiet = true;
    return io;
}

// Seconds of one send of `profiles`, or -1 when it did not store them all.
double program_send(const bench_case& c, const std::vector<GunProfile>& profiles)
{
    const fs::path folder = g_root / "send";
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const GunProfile& p : profiles)
        std::ofstream(folder / (profile_name(p) + ".pro"), std::ios::binary)
            .write(reinterpret_cast<const char*>(&p), sizeof p);
    serial_meter_thread m;
    if (c.kind == sim_kind::m900) prepare_bridge(c.version, nullptr);
    else if (!m.open(c.kind)) return -1;
    else m.start();
    TransferRequest r = request(c, m);
    r.paths = {folder.string()};
    const double t0 = now_ms();
    const int status = run_send(r, quiet());
    const double t = (now_ms() - t0) / 1000.0;
    size_t stored;
    if (c.kind == sim_kind::m900) {
        sim_bridge_step();
        stored = sim_bridge().meter.profiles.size();
    } else {
        m.finish();
        stored = m.s.meter.profiles.size();
        m.close();
    }
    if (status == kExitOk && stored == profiles.size()) return t;
    std::fprintf(stderr, "%s send: status %d, %zu stored\n", c.label, status, stored);
    return -1;
}

double program_get(const bench_case& c, const std::vector<GunProfile>& profiles)
{
    serial_meter_thread m;
    if (c.kind == sim_kind::m900) {
        prepare_bridge(c.version, &profiles);
    } else {
        if (!m.open(c.kind)) return -1;
        for (size_t i = 0; i < profiles.size(); ++i) sim_meter_store(m.s.meter, static_cast<int>(i) + 1, profiles[i]);
        m.start();
    }
    TransferRequest r = request(c, m);
    r.to = (g_root / "got").string();
    r.clean = true;
    const double t0 = now_ms();
    const int status = run_get(r, quiet());
    const double t = (now_ms() - t0) / 1000.0;
    if (c.kind != sim_kind::m900) m.close();
    const size_t files = static_cast<size_t>(std::distance(fs::directory_iterator(r.to), {}));
    if (status == kExitOk && files == profiles.size()) return t;
    std::fprintf(stderr, "%s get: status %d, %zu files\n", c.label, status, files);
    return -1;
}

struct series {
    std::vector<double> program, floor, line_floor;
    int failed = 0;
    int profiles = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    int runs = 5, count = 5;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : "";
        if (a == "--profiles") count = std::atoi(v), ++i;
        else if (a == "--only") only = v, ++i;
        else runs = std::atoi(a.c_str());
    }
    if (runs < 1 || count < 1 || count > 30) {
        std::fprintf(stderr, "usage: bench_cli_transfers [RUNS] [--profiles N<=30] [--only m600|cv-relay|m900]\n");
        return 2;
    }
    char tmpl[] = "/tmp/stowline-cli-transfers-XXXXXX";
    if (!mkdtemp(tmpl)) return 2;
    g_root = tmpl;
    g_null = std::fopen("/dev/null", "w");

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
            for (int dir = 0; dir < 2; ++dir) {
                // The relay device is asked for all its numbers: measured full.
                const std::vector<GunProfile>& set = dir == 1 && c.kind == sim_kind::cv_relay ? full_relay : profiles;
                series& s = table[std::string(c.label) + (dir == 0 ? "|send" : "|get")];
                s.profiles = static_cast<int>(set.size());
                const double n = static_cast<double>(set.size());
                const int turns = dir == 1 ? 3 : 2;
                for (int k = 0; k < turns; ++k) {
                    const int turn = (k + r) % turns;
                    double t;
                    std::vector<double>* into;
                    if (turn == 0) {
                        t = dir == 0 ? program_send(c, set) : program_get(c, set);
                        into = &s.program;
                    } else if (turn == 1) {
                        t = dir == 0 ? floor_upload(c, set, phase(rng)) : floor_download(c, set, phase(rng), false);
                        into = &s.floor;
                    } else {
                        t = floor_download(c, set, phase(rng), true);
                        into = &s.line_floor;
                    }
                    if (t < 0) ++s.failed;
                    else into->push_back(t / n);
                }
                std::fprintf(stderr, "run %d %-26s %-4s stowline-cli %.3f floor %.3f s/profile\n", r + 1, c.label,
                             dir == 0 ? "send" : "get", s.program.empty() ? -1.0 : s.program.back(),
                             s.floor.empty() ? -1.0 : s.floor.back());
            }
        }
    }

    std::printf("stowline-cli send and get, %d runs (interleaved with the floor), medians in seconds per profile\n"
                "2nd floor: serial, the download floor taking one line per tick, as the serial poll did;\n"
                "bridge, the download floor reading each frame as soon as it has arrived\n\n",
                runs);
    std::printf("%-26s %-4s %5s %12s %9s %7s %10s %7s\n", "carrier", "dir", "profs", "stowline-cli", "floor", "ratio",
                "2nd floor", "ratio");
    for (const bench_case& c : kCases) {
        for (const char* dir : {"send", "get"}) {
            auto it = table.find(std::string(c.label) + "|" + dir);
            if (it == table.end()) continue;
            const series& s = it->second;
            const double p = median(s.program), f = median(s.floor);
            char lf[32] = "         -       -";
            if (!s.line_floor.empty())
                std::snprintf(lf, sizeof lf, "%10.3f %6.3fx", median(s.line_floor), p / median(s.line_floor));
            std::printf("%-26s %-4s %5d %12.3f %9.3f %6.3fx %s%s\n", c.label, dir, s.profiles, p, f, p / f, lf,
                        s.failed ? "  (some runs failed)" : "");
        }
    }
    std::fclose(g_null);
    std::error_code ec;
    fs::remove_all(g_root, ec);
    return 0;
}
