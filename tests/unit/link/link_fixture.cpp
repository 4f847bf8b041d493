#include "link_fixture.h"
#include "link/link_test_access.h"

#include "link/carriers.h"
#include "link/command_channel.h"
#include "link/frame_codec.h"
#include "link/platform/hid_uart.h"
#include "sim_bridge.h"

link_record rec;

void reset_link()
{
    link_reset();
    device_modes_reset();
    rec = link_record{};
    the_link().calls.pump = [] {
        ++rec.pumps;
        if (rec.poll_on_pump) receive_poll();
    };
    the_link().calls.status = [](const char* text) { rec.status.emplace_back(text); };
    the_link().calls.line_handler = [](const char* line) { rec.lines.emplace_back(line); };
    the_link().calls.progress_hide = [] {
        ++rec.progress_hides;
        rec.progress_open = false;
    };
    the_link().calls.sleep_ms = [](unsigned) { ++rec.sleeps; };
    the_link().calls.progress_show = [](const char* text) {
        rec.progress.emplace_back(text);
        rec.progress_open = true;
    };
    the_link().calls.start_timer = [](unsigned ms, bool (*fire)()) {
        rec.timers.push_back({static_cast<unsigned>(rec.timers.size() + 1), ms, fire, true});
        return rec.timers.back().id;
    };
    the_link().calls.stop_timer = [](unsigned id) {
        if (id > 0 && id <= rec.timers.size()) rec.timers[id - 1].live = false;
    };
    sim_bridge_reset();
}

int fire_timers(unsigned ms)
{
    int fired = 0;
    // Firing may start new timers: take the ones live now.
    const size_t n = rec.timers.size();
    for (size_t i = 0; i < n; ++i) {
        if (!rec.timers[i].live || (ms && rec.timers[i].ms != ms)) continue;
        rec.timers[i].live = false;
        rec.timers[i].fire();
        ++fired;
    }
    return fired;
}
