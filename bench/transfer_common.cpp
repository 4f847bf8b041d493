// What the transfer benchmarks share (the window's, transfer_bench.cpp, and
// stowline-cli's, cli_transfer_bench.cpp): the clock, the upload's commands,
// the serial meter on a thread, the profiles they move. No toolkit.
#include "transfer_bench.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "link/download.h"
#include "link/profile_lines.h"
#include "profile/gun_profile.h"
#include "sim_bridge.h"

double now_ms()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

void sleep_until_ms(double t_ms)
{
    if (t_ms <= now_ms()) return;
    timespec t;
    t.tv_sec = static_cast<time_t>(t_ms / 1000.0);
    t.tv_nsec = static_cast<long>((t_ms - static_cast<double>(t.tv_sec) * 1000.0) * 1e6);
    if (t.tv_nsec >= 1000000000L) {
        t.tv_sec += 1;
        t.tv_nsec -= 1000000000L;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {}
}

std::vector<upload_command> upload_commands(const std::vector<GunProfile>& profiles, bool relay, float version,
                                            bool bridge)
{
    std::vector<upload_command> out;
    if (bridge) out.push_back({":A-\r", false});
    out.push_back({":A-\r"});
    out.push_back({count_line(static_cast<int>(profiles.size()))});
    for (size_t i = 0; i < profiles.size(); ++i) {
        profile_line_set l;
        build_profile_lines(profiles[i], relay, version, &l, nullptr);
        for (const std::string& line :
             {slot_line(static_cast<int>(i) + 1), l.name, l.main, l.mv_table, l.drag, l.mach, std::string(":AS\r")})
            out.push_back({line});
    }
    return out;
}

bool serial_meter_thread::open(sim_kind kind)
{
    if (!sim_serial_open(s, kind, false)) return false;
    s.paced = true;
    return true;
}

void serial_meter_thread::start()
{
    stop = false;
    thread = std::thread([this] {
        double last = now_ms();
        while (!stop) {
            // As stowline-sim: short steps while bytes wait for their time.
            const bool busy = !s.unwritten.empty() || !s.to_program.bytes.empty() || !s.to_meter.bytes.empty() ||
                              !s.meter.queue.empty();
            pollfd p{s.master, POLLIN, 0};
            poll(&p, 1, busy ? 2 : 50);
            const double now = now_ms();
            const unsigned elapsed = static_cast<unsigned>(now - last);
            last += elapsed;
            sim_serial_service(s, elapsed);
        }
    });
}

void serial_meter_thread::finish(double drain_ms)
{
    const double end = now_ms() + drain_ms;
    // The thread alone touches the meter while it runs; these reads only
    // decide when to stop it, and a stale answer costs one more pass.
    while (now_ms() < end) {
        sleep_until_ms(now_ms() + 20);
        if (s.to_meter.bytes.empty() && s.to_program.bytes.empty() && s.unwritten.empty() && s.meter.queue.empty())
            break;
    }
    stop = true;
    if (thread.joinable()) thread.join();
}

void serial_meter_thread::close()
{
    stop = true;
    if (thread.joinable()) thread.join();
    sim_serial_close(s);
}

GunProfile bench_profile(int i)
{
    GunProfile p{};
    apply_new_profile_values(p);
    char name[20];
    std::snprintf(name, sizeof name, "BENCH%02d", i + 1);
    set_profile_name(p, name);
    p.bd = 0.308f;
    p.bl = 1.2f + 0.01f * static_cast<float>(i);
    p.bw = 168.0f + static_cast<float>(i);
    p.bt = i % 2 ? -10.0f : 11.25f;
    p.sd = p.bt < 0 ? -1 : 1;
    p.bc = 0.462f;
    p.dc = i % 3 == 2 ? 10 : i % 3;
    p.mv = 2650.0f + 10.0f * static_cast<float>(i);
    p.zr = 100.0f;
    p.shi = 1.5f;
    p.zh = 0.5f;
    p.zo = -0.2f;
    p.ssfV = 1.02f;
    p.ssfH = 0.98f;
    for (int k = 0; k < 6; ++k) {
        p.vl[k] = 0.5f + 0.5f * static_cast<float>(k);
        p.dsf[k] = 1.0f;
        p.mvt_temp[k] = -20.0f + 20.0f * static_cast<float>(k);
        p.mvt_mv[k] = p.mv - 30.0f + 10.0f * static_cast<float>(k);
    }
    for (int k = 0; k < 32; ++k) p.cc[k] = {0.1f * static_cast<float>(k), 0.35f - 0.004f * static_cast<float>(k)};
    return p;
}

void prepare_bridge(const char* version, const std::vector<GunProfile>* stored)
{
    sim_bridge_reset();
    sim_bridge_state& b = sim_bridge();
    b.paced = true;
    b.real_clock = true;
    sim_bridge_set_version(version);
    if (stored)
        for (size_t i = 0; i < stored->size(); ++i) sim_meter_store(b.meter, static_cast<int>(i) + 1, (*stored)[i]);
}

double floor_upload(const bench_case& c, const std::vector<GunProfile>& profiles, double phase)
{
    const bool relay = c.kind == sim_kind::cv_relay;
    if (c.kind == sim_kind::m900) {
        prepare_bridge(c.version, nullptr);
        const float version = sim_bridge().meter.version;
        const double t = floor_upload_bridge(upload_commands(profiles, false, version, true), phase);
        sim_bridge_step();
        if (sim_bridge().meter.profiles.size() != profiles.size()) return -1;
        return t;
    }
    serial_meter_thread m;
    if (!m.open(c.kind)) return -1;
    m.start();
    const double t = floor_upload_serial(m.s.slave_path, sim_kind_baud(c.kind),
                                         upload_commands(profiles, relay, 1.11f, false));
    m.finish();
    const bool ok = m.s.meter.profiles.size() == profiles.size();
    m.close();
    return ok ? t : -1;
}

double floor_download(const bench_case& c, const std::vector<GunProfile>& profiles, double phase, bool second)
{
    bool ok = false;
    double t;
    if (c.kind == sim_kind::m900) {
        prepare_bridge(c.version, &profiles);
        t = floor_download_bridge(sim_bridge().meter.acks, phase, second, &ok);
    } else {
        serial_meter_thread m;
        if (!m.open(c.kind)) return -1;
        for (size_t i = 0; i < profiles.size(); ++i) sim_meter_store(m.s.meter, static_cast<int>(i) + 1, profiles[i]);
        m.start();
        const bool indexed = c.kind == sim_kind::cv_relay;
        t = floor_download_serial(m.s.slave_path, sim_kind_baud(c.kind), indexed, kIndexedProfileCount, phase, second,
                                  &ok);
        m.close();
    }
    return ok ? t : -1;
}

double median(std::vector<double> v)
{
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}
