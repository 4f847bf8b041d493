#include "link_fixture.h"

#include "link/command_channel.h"
#include "link/frame_codec.h"
#include "link/platform/hid_uart.h"
#include "sim_bridge.h"

link_record rec;

void reset_link()
{
    if (com_handle != -1) com_close();
    if (hid_device != nullptr) HidUart_Close(hid_device);
    com_connected = 0;
    hid_device = nullptr;
    hid_connected = 0;
    poll_timer_id = 0;
    clear_to_send = 1;
    device_version = 1.11f;
    upload_active = 0;
    relay_mode = 0;
    gun_counter = 0;
    gun_is_saved = 0;
    com_line_reset();
    frame_assembler_reset();
    rec = link_record{};
    link_pump = [] {
        ++rec.pumps;
        if (rec.poll_on_pump) receive_poll();
    };
    link_status = [](const char* text) { rec.status.emplace_back(text); };
    link_line_handler = [](const char* line) { rec.lines.emplace_back(line); };
    link_progress_hide = [] { ++rec.progress_hides; };
    link_sleep_ms = [](unsigned) { ++rec.sleeps; };
    sim_bridge_reset();
}
