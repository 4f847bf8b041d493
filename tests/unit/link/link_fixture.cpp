#include "link_fixture.h"

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
    link_hooks.pump = [] {
        ++rec.pumps;
        if (rec.poll_on_pump) receive_poll();
    };
    link_hooks.status = [](const char* text) { rec.status.emplace_back(text); };
    link_hooks.line_handler = [](const char* line) { rec.lines.emplace_back(line); };
    link_hooks.progress_hide = [] { ++rec.progress_hides; };
    link_hooks.sleep_ms = [](unsigned) { ++rec.sleeps; };
    sim_bridge_reset();
}
