#include "link/link_state.h"

#include <unistd.h>

int com_handle;
int com_connected;
void* hid_device;
int hid_connected;
unsigned int poll_timer_id;
int clear_to_send;
float device_version;
int upload_active;

void link_state_reset()
{
    com_handle = -1;
    com_connected = 0;
    hid_device = nullptr;
    hid_connected = 0;
    poll_timer_id = 0;
    clear_to_send = 1;
    device_version = 1.11f;
    upload_active = 0;
}

// The program starts from the same values the tests reset to.
[[maybe_unused]] static const bool link_state_started = (link_state_reset(), true);

bool link_is_connected()
{
    if (hid_connected) return true;
    return com_handle != -1;
}

link_hook_set link_hooks_default()
{
    link_hook_set h;
    h.pump = [] {};
    h.status = [](const char*) {};
    h.progress_show = [](const char*) {};
    h.progress_fraction = [](double) {};
    h.progress_hide = [] {};
    h.sleep_ms = [](unsigned ms) { usleep(ms * 1000u); };
    h.line_handler = [](const char*) {};
    h.start_timer = [](unsigned, bool (*)()) { return 0u; };
    h.stop_timer = [](unsigned) {};
    return h;
}

link_hook_set link_hooks = link_hooks_default();
