#include "link/link_gui.h"

#include <cstring>
#include <string>

#include "app/shell.h"
#include "collections/profile_lists.h"
#include "link/command_channel.h"
#include "link/link_state.h"

namespace {

void status_hook(const char* text) { status_message("%s", text); }
void progress_hide_hook() { progress_hide(); }
void pump_hook() { refresh_profile_lists(); }

gboolean poll_tick(gpointer)
{
    receive_poll();
    return TRUE;
}

void start_receive_poll(unsigned interval_ms)
{
    if (poll_timer_id) g_source_remove(poll_timer_id);
    poll_timer_id = g_timeout_add(interval_ms, poll_tick, nullptr);
}

std::string active_port_name()
{
    GtkComboBox* combo = GTK_COMBO_BOX(get_widget("id_com_cb"));
    GtkTreeIter iter;
    if (!combo || !gtk_combo_box_get_active_iter(combo, &iter)) return "";
    gchar* name = nullptr;
    gtk_tree_model_get(gtk_combo_box_get_model(combo), &iter, 0, &name, -1);
    std::string result = name ? name : "";
    g_free(name);
    return result;
}

}  // namespace

void link_gui_init()
{
    link_status = status_hook;
    link_progress_hide = progress_hide_hook;
    link_pump = pump_hook;
}

void set_connection_lamp(bool connected)
{
    GtkWidget* lamp = get_widget("id_con_img");
    set_image_file(lamp, connected ? "gd.png" : "rd.png");
    if (lamp)
        atk_object_set_description(gtk_widget_get_accessible(lamp), connected ? "Connected" : "Not connected");
}

int add_port_to_list(void*, const serial_port_info* info)
{
    GtkTreeStore* store = GTK_TREE_STORE(get_object("id_com_ts"));
    if (!store || !info) return 1;
    char name[64];
    std::snprintf(name, sizeof name, "%s", info->port_name);
    GtkTreeIter iter;
    gtk_tree_store_append(store, &iter, nullptr);
    // Column 1 carries the system's description where it differs from the name.
    // A description that only repeats the device's name ("ttyS0") adds nothing.
    const char* base = std::strrchr(info->port_name, '/');
    base = base ? base + 1 : info->port_name;
    bool repeats = std::strcmp(info->friendly_name, info->port_name) == 0 || std::strcmp(info->friendly_name, base) == 0;
    const char* friendly = repeats ? "" : info->friendly_name;
    gtk_tree_store_set(store, &iter, 0, name, 1, friendly, -1);
    gtk_combo_box_set_active_iter(GTK_COMBO_BOX(get_widget("id_com_cb")), &iter);
    return 1;
}

void fill_port_list()
{
    enumerate_serial_ports(add_port_to_list, nullptr);
}

void on_connect_clicked(GtkWidget*)
{
    GtkWidget* button = get_widget("id_connect_btn");
    if (com_connected == 0) {
        std::string name = active_port_name();
        if (!name.empty() && com_open_name(name.c_str())) {
            set_connection_lamp(true);
            set_button_label(button, "Disconnect");
            status_message("Connected to device...\n");
            com_connected = 1;
            start_receive_poll(100);
        } else {
            set_connection_lamp(false);
            set_button_label(button, "Connect");
            status_message("Could not connect to device...\n");
        }
        return;
    }
    com_close();
    com_line_reset();
    set_connection_lamp(false);
    set_button_label(button, "Connect");
    status_message("Device disconnected...\n");
    com_connected = 0;
    stop_receive_poll();
}

void hid_connect()
{
    if (hid_connect_link() != 0) return;  // the status bar already says why
    set_connection_lamp(true);
    set_button_label(get_widget("id_connect_btn"), "Disconnect");
    start_receive_poll(200);
}

void stop_receive_poll()
{
    if (poll_timer_id) g_source_remove(poll_timer_id);
    poll_timer_id = 0;
}
