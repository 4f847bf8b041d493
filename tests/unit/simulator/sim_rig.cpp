#include "sim_rig.h"

#include "link/carriers.h"
#include "link/command_channel.h"
#include "link/link_state.h"
#include "sim_bridge.h"

#include <gtest/gtest.h>

#include <poll.h>

namespace {

sim_rig* current = nullptr;

}  // namespace

sim_rig::sim_rig(sim_kind k, const char* version) : kind(k)
{
    link_reset();
    device_modes_reset();
    sim_bridge_reset();
    current = this;
    link_hooks.pump = [] { receive_poll(); };
    link_hooks.sleep_ms = [](unsigned ms) {
        if (current->bridge()) sim_bridge_advance(ms);
        else sim_serial_service(current->serial, ms);
    };
    link_hooks.line_handler = [](const char* text) {
        sim_rig& r = *current;
        const std::string line = text;
        r.got.push_back(line);
        const bool end = line.compare(0, 3, ":AS") == 0;
        // The download acknowledges every line but the end of an INVALID slot.
        const bool ack = r.acking && !(end && r.after_invalid);
        if (line.compare(0, 3, ":AN") == 0) r.after_invalid = line.find("INVALID") != std::string::npos;
        if (ack) acknowledge_line();
    };
    if (bridge()) {
        if (*version) sim_bridge_set_version(version);
        EXPECT_EQ(0, hid_connect_link());
        receive_poll();  // the version message, if any
    } else {
        relay_mode = kind == sim_kind::cv_relay;
        EXPECT_TRUE(sim_serial_open(serial, kind, false));
        EXPECT_EQ(1, com_open_path(serial.slave_path.c_str()));
    }
}

sim_rig::~sim_rig()
{
    link_reset();
    if (!bridge()) sim_serial_close(serial);
    link_hooks = link_hooks_default();
    current = nullptr;
}

sim_meter& sim_rig::meter() { return bridge() ? sim_bridge().meter : serial.meter; }

bool sim_rig::send(const std::string& line) { return send_command(line.c_str()) != 0; }

void sim_rig::upload(const std::vector<profile_line_set>& profiles)
{
    upload_active = 1;
    if (bridge()) send(":A-\r");
    send(":A-\r");
    send(count_line(static_cast<int>(profiles.size())));
    for (size_t i = 0; i < profiles.size(); ++i) {
        send(slot_line(static_cast<int>(i + 1)));
        for (const std::string& line : five(profiles[i])) send(line);
        send(":AS\r");
    }
    upload_active = 0;
}

void sim_rig::step(int wait_ms)
{
    if (bridge()) {
        receive_poll();
        return;
    }
    sim_serial_service(serial, 0);
    pollfd p{com_handle, POLLIN, 0};
    poll(&p, 1, wait_ms);
    size_t before;
    do {
        before = got.size();
        receive_poll();
    } while (got.size() > before);
}

void sim_rig::run_until(const std::function<bool()>& done)
{
    // On the bridge nothing more comes without the time moving.
    for (int i = 0; i < (bridge() ? 1 : 400) && !done(); ++i) step(5);
    settle();
}

void sim_rig::settle()
{
    for (int i = 0; i < 3; ++i) step(10);
}

GunProfile test_gun(const char* name, float bt, int dc)
{
    GunProfile p{};
    apply_new_profile_values(p);
    set_profile_name(p, name);
    p.bt = bt;
    p.dc = dc;
    p.zh = 1.5f;
    for (int i = 0; i < 32; ++i) p.cc[i] = {0.125f * static_cast<float>(i), 0.25f + 0.005f * static_cast<float>(i)};
    return p;
}

profile_line_set lines_now(const GunProfile& p)
{
    profile_line_set l;
    std::string why;
    EXPECT_TRUE(build_profile_lines(p, relay_mode == 1, device_version, &l, &why)) << why;
    return l;
}

std::vector<std::string> five(const profile_line_set& l) { return {l.name, l.main, l.mv_table, l.drag, l.mach}; }
