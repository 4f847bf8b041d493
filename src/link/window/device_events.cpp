#include "link/window/device_events.h"

#include <gio/gio.h>
#include <gudev/gudev.h>

#include <cstring>

#include "base/console.h"
#include "link/platform/port_list.h"

namespace {

GUdevClient* udev_client = nullptr;
GFileMonitor* folder_monitor = nullptr;
guint refresh_id = 0;
device_event_handlers handlers{[] {}, [](bool) {}};

gboolean refresh_now(gpointer)
{
    refresh_id = 0;
    handlers.ports_changed();
    return FALSE;
}

// Events come in bursts (a USB adapter is several devices): one rescan.
void schedule_refresh()
{
    if (!refresh_id) refresh_id = g_idle_add(refresh_now, nullptr);
}

void on_uevent(GUdevClient*, const gchar* action, GUdevDevice* device, gpointer)
{
    const gchar* subsystem = g_udev_device_get_subsystem(device);
    if (!action || !subsystem) return;
    const bool added = std::strcmp(action, "add") == 0;
    if (!added && std::strcmp(action, "remove") != 0) return;
    if (std::strcmp(subsystem, "hidraw") == 0) handlers.bridge_event(added);
    else schedule_refresh();
}

void on_folder_changed(GFileMonitor*, GFile*, GFile*, GFileMonitorEvent event, gpointer)
{
    if (event == G_FILE_MONITOR_EVENT_CREATED || event == G_FILE_MONITOR_EVENT_DELETED ||
        event == G_FILE_MONITOR_EVENT_MOVED_IN || event == G_FILE_MONITOR_EVENT_MOVED_OUT)
        schedule_refresh();
}

}  // namespace

void watch_port_folder()
{
    if (folder_monitor) {
        g_file_monitor_cancel(folder_monitor);
        g_object_unref(folder_monitor);
        folder_monitor = nullptr;
    }
    char folder[512];
    simulator_ports_folder(folder, sizeof folder);
    // The simulator may start after the program: the folder is watched from the start.
    g_mkdir_with_parents(folder, 0700);
    GFile* file = g_file_new_for_path(folder);
    GError* error = nullptr;
    folder_monitor = g_file_monitor_directory(file, G_FILE_MONITOR_WATCH_MOVES, nullptr, &error);
    g_object_unref(file);
    if (!folder_monitor) {
        console_message("Not watching %s for simulator ports: %s\n", folder, error ? error->message : "");
        g_clear_error(&error);
        return;
    }
    g_signal_connect(folder_monitor, "changed", G_CALLBACK(on_folder_changed), nullptr);
    schedule_refresh();  // what came while nothing watched
}

void start_device_events(const device_event_handlers& given)
{
    if (udev_client) return;
    handlers = given;
    const gchar* const subsystems[] = {"tty", "hidraw", nullptr};
    udev_client = g_udev_client_new(subsystems);
    g_signal_connect(udev_client, "uevent", G_CALLBACK(on_uevent), nullptr);
    watch_port_folder();
}
