#include "link/link_state.h"

#include <unistd.h>

#include "base/console.h"

int com_handle;
void* hid_device;
int hid_connected;
int clear_to_send;
float device_version;
int upload_active;
volatile std::sig_atomic_t link_stop_requested;

namespace {

int connected_value;
unsigned int poll_timer_value;
void (*carrier_failed_handler)() = nullptr;

unsigned no_driver_start_timer(unsigned, bool (*)()) { return 0; }
void no_driver_stop_timer(unsigned) {}
void plain_sleep(unsigned ms) { usleep(ms * 1000u); }

// A constant expression: link_hooks holds it before any other start-up code
// runs, so the carriers' start-up may fill it in from any file.
constexpr link_hook_set silent_hooks()
{
    link_hook_set h{};
    h.pump = [] {};
    h.status = [](const char*) {};
    h.progress_show = [](const char*) {};
    h.progress_fraction = [](double) {};
    h.progress_hide = [] {};
    h.sleep_ms = plain_sleep;
    h.line_handler = [](const char*) {};
    h.start_timer = no_driver_start_timer;
    h.stop_timer = no_driver_stop_timer;
    h.device_folder_changed = [] {};
    return h;
}

}  // namespace

const int& com_connected = connected_value;
const unsigned int& poll_timer_id = poll_timer_value;

const char* const link_no_driver_text =
    "Nothing runs the link's timers (no driver was given): the transfer was not started...";

void link_state_reset()
{
    link_stop_receive_poll();
    com_handle = -1;
    connected_value = 0;
    hid_device = nullptr;
    hid_connected = 0;
    clear_to_send = 1;
    device_version = 1.11f;
    upload_active = 0;
    link_stop_requested = 0;
}

// The program starts from the same values the tests reset to.
[[maybe_unused]] static const bool link_state_started = (link_state_reset(), true);

bool link_is_connected()
{
    if (hid_connected) return true;
    return com_handle != -1;
}

void link_set_port_connected(int connected) { connected_value = connected; }

void link_set_poll_timer(unsigned id) { poll_timer_value = id; }

void link_stop_receive_poll()
{
    if (poll_timer_value) link_hooks.stop_timer(poll_timer_value);
    poll_timer_value = 0;
}

void link_carrier_failed()
{
    if (carrier_failed_handler) carrier_failed_handler();
}

void link_set_carrier_failed_handler(void (*handler)()) { carrier_failed_handler = handler; }

link_hook_set link_hooks_silent() { return silent_hooks(); }

link_hook_set link_hooks = silent_hooks();

void link_use_driver(const link_driver& driver)
{
    link_hooks.start_timer = driver.start_timer;
    link_hooks.stop_timer = driver.stop_timer;
    link_hooks.sleep_ms = driver.sleep_ms;
    link_hooks.pump = driver.pump;
}

bool link_driver_ready()
{
    return link_hooks.start_timer != nullptr && link_hooks.start_timer != no_driver_start_timer &&
           link_hooks.stop_timer != nullptr && link_hooks.sleep_ms != nullptr && link_hooks.pump != nullptr;
}

bool link_refuse_without_driver()
{
    if (link_driver_ready()) return false;
    console_message("%s\n", link_no_driver_text);
    link_hooks.status(link_no_driver_text);
    return true;
}
