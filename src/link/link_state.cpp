#include "link/link_state.h"

#include <unistd.h>

#include "base/console.h"
#include "link/link_object.h"

namespace {

unsigned no_driver_start_timer(unsigned, bool (*)()) { return 0; }
void no_driver_stop_timer(unsigned) {}
void plain_sleep(unsigned ms) { usleep(ms * 1000u); }

}  // namespace

link_object& the_link()
{
    static link_object state;
    [[maybe_unused]] static const bool started = (state.calls = link_callbacks_silent(), true);
    return state;
}

link_callbacks link_callbacks_silent()
{
    link_callbacks c{};
    c.pump = [] {};
    c.status = [](const char*) {};
    c.progress_show = [](const char*) {};
    c.progress_fraction = [](double) {};
    c.progress_hide = [] {};
    c.sleep_ms = plain_sleep;
    c.line_handler = [](const char*) {};
    c.start_timer = no_driver_start_timer;
    c.stop_timer = no_driver_stop_timer;
    c.device_folder_changed = [] {};
    c.lost = [](const char*) {};
    return c;
}

void link_use(const link_callbacks& callbacks)
{
    const link_callbacks silent = link_callbacks_silent();
    link_callbacks c = callbacks;
    // A missing member reports nothing; a missing driver part stays missing.
    if (!c.pump) c.pump = silent.pump;
    if (!c.status) c.status = silent.status;
    if (!c.progress_show) c.progress_show = silent.progress_show;
    if (!c.progress_fraction) c.progress_fraction = silent.progress_fraction;
    if (!c.progress_hide) c.progress_hide = silent.progress_hide;
    if (!c.sleep_ms) c.sleep_ms = silent.sleep_ms;
    if (!c.line_handler) c.line_handler = silent.line_handler;
    if (!c.start_timer) c.start_timer = silent.start_timer;
    if (!c.stop_timer) c.stop_timer = silent.stop_timer;
    if (!c.device_folder_changed) c.device_folder_changed = silent.device_folder_changed;
    if (!c.lost) c.lost = silent.lost;
    the_link().calls = c;
}

const link_callbacks& link_callbacks_in_use() { return the_link().calls; }

const char* const link_no_driver_text =
    "Nothing runs the link's timers (no driver was given): the transfer was not started...";

void link_state_reset()
{
    link_stop_receive_poll();
    link_object& l = the_link();
    l.com_handle = -1;
    l.com_connected = 0;
    l.hid_device = nullptr;
    l.hid_connected = 0;
    l.clear_to_send = 1;
    l.device_version = 1.11f;
    l.upload_active = 0;
    l.link_stop_requested = 0;
}

bool link_is_connected()
{
    if (the_link().hid_connected) return true;
    return the_link().com_handle != -1;
}

bool link_port_connected() { return the_link().com_connected != 0; }
bool link_bridge_connected() { return the_link().hid_connected != 0; }
bool link_port_open() { return the_link().com_handle != -1; }
unsigned link_poll_timer() { return the_link().poll_timer_id; }
float link_device_version() { return the_link().device_version; }
bool link_upload_active() { return the_link().upload_active != 0; }

void link_request_stop() { the_link().link_stop_requested = 1; }

void link_set_port_connected(int connected) { the_link().com_connected = connected; }

void link_set_poll_timer(unsigned id) { the_link().poll_timer_id = id; }

void link_stop_receive_poll()
{
    link_object& l = the_link();
    if (l.poll_timer_id) l.calls.stop_timer(l.poll_timer_id);
    l.poll_timer_id = 0;
}

void link_carrier_failed()
{
    if (the_link().carrier_failed_handler) the_link().carrier_failed_handler();
}

void link_set_carrier_failed_handler(void (*handler)()) { the_link().carrier_failed_handler = handler; }

bool link_driver_ready()
{
    const link_callbacks& c = the_link().calls;
    return c.start_timer != nullptr && c.start_timer != no_driver_start_timer && c.stop_timer != nullptr &&
           c.sleep_ms != nullptr && c.pump != nullptr;
}

bool link_refuse_without_driver()
{
    if (link_driver_ready()) return false;
    console_message("%s\n", link_no_driver_text);
    the_link().calls.status(link_no_driver_text);
    return true;
}
