#include "link/window/link_window.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "collections/profile_folders.h"
#include "link/carriers.h"
#include "link/command_channel.h"
#include "link/download.h"
#include "link/link_state.h"
#include "link/upload.h"
#include "link/window/device_events.h"
#include "settings/settings_file.h"
#include "shell/shell.h"

namespace {

// The columns of `id_com_ts`: the port's name, and the system's description
// where it says more than the name.
enum port_column { port_column_name, port_column_description };

// Send Profiles replaces every profile on the device: asks before a send
// the user may not expect to erase anything. Only the Send button sends;
// Cancel, Escape and closing the question send nothing.
bool confirm_replacing(const upload_question& q)
{
    GtkWidget* dialog = gtk_message_dialog_new(
        GTK_WINDOW(get_widget("id_mw")), static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        GTK_MESSAGE_WARNING, GTK_BUTTONS_NONE, "%s", q.text.c_str());
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", q.detail.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), "Send Profiles");
    gtk_dialog_add_buttons(GTK_DIALOG(dialog), GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, "_Send", GTK_RESPONSE_ACCEPT,
                           NULL);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    const gint answer = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return answer == GTK_RESPONSE_ACCEPT;
}

// The port the link was lost on: when it comes back it is selected again.
std::string lost_port;
// The port last connected for the chosen serial kind (kept in the settings):
// selected when it is listed or comes.
std::string preferred_port;
// A device kind with a COM port (M600, cv-relay) was chosen.
bool serial_kind_chosen = false;
// The port the program made active (the last found at start, one that came
// since): a new port takes its place, a port the user picked stays.
std::string auto_port;

using port_row = std::pair<std::string, std::string>;  // name, description

// The key under which the port of the chosen serial kind is kept.
const char* serial_kind() { return relay_mode ? "cv-relay" : "m600"; }

// The device kind a simulator's port serves, from its description
// ("Stowline simulator cv-relay-4242 (/dev/pts/3)"); "" for any other port.
std::string simulator_kind(const std::string& description)
{
    static const std::string prefix = "Stowline simulator ";
    if (description.rfind(prefix, 0) != 0) return "";
    const size_t dash = description.rfind('-', description.find(' ', prefix.size()));
    return dash == std::string::npos || dash < prefix.size() ? ""
                                                             : description.substr(prefix.size(), dash - prefix.size());
}

// A simulator serving another kind than the one chosen: never picked by the
// program.
bool serves_another_kind(const port_row& row)
{
    const std::string kind = simulator_kind(row.second);
    return serial_kind_chosen && !kind.empty() && kind != serial_kind();
}

port_row row_of(const serial_port_info* info)
{
    char name[64];
    std::snprintf(name, sizeof name, "%s", info->port_name);
    // A description that only repeats the device's name ("ttyS0") adds nothing.
    const char* base = std::strrchr(info->port_name, '/');
    base = base ? base + 1 : info->port_name;
    bool repeats =
        std::strcmp(info->friendly_name, info->port_name) == 0 || std::strcmp(info->friendly_name, base) == 0;
    return {name, repeats ? "" : info->friendly_name};
}

int collect_port(void* user_data, const serial_port_info* info)
{
    static_cast<std::vector<port_row>*>(user_data)->push_back(row_of(info));
    return 1;
}

void append_port_row(const port_row& row, bool activate)
{
    GtkTreeStore* store = GTK_TREE_STORE(get_object("id_com_ts"));
    GtkTreeIter iter;
    gtk_tree_store_append(store, &iter, nullptr);
    gtk_tree_store_set(store, &iter, port_column_name, row.first.c_str(), port_column_description, row.second.c_str(),
                       -1);
    if (!activate) return;
    gtk_combo_box_set_active_iter(GTK_COMBO_BOX(get_widget("id_com_cb")), &iter);
    auto_port = row.first;
}

void show_connected(bool connected)
{
    set_connection_lamp(connected);
    set_button_label(get_widget("id_connect_btn"), connected ? "Disconnect" : "Connect");
    set_button_label(get_widget("id_cable_btn"), connected ? "Disconnect Cable" : "Connect Cable");
}

void show_bridge_open()
{
    lost_port.clear();
    show_connected(true);
}

}  // namespace

// A transfer's pumps run the main loop, and with it these buttons: a
// disconnect while one runs would leave it waiting on a closed link.
static bool refuse_while_transferring()
{
    if (!link_upload_active() && !download_running()) return false;
    status_message("A transfer with the device is running; please wait until it ends...");
    return true;
}

void on_cable_clicked(GtkWidget*)
{
    if (link_bridge_connected()) {
        if (refuse_while_transferring()) return;
        hid_close_link();
        link_set_bridge_auto(false);
        stop_receive_poll();
        show_connected(false);
        status_message("Device disconnected...\n");
        return;
    }
    link_set_bridge_auto(true);
    if (!bridge_present())
        status_message("Could not detect the Zeravik USB Cable; it connects as soon as it is plugged in...");
    else if (link_connect_bridge()) show_bridge_open();
}

void set_connection_lamp(bool connected)
{
    GtkWidget* lamp = get_widget("id_con_img");
    set_image_file(lamp, connected ? "gd.png" : "rd.png");
    if (lamp) atk_object_set_description(gtk_widget_get_accessible(lamp), connected ? "Connected" : "Not connected");
}

int add_port_to_list(void*, const serial_port_info* info)
{
    if (!get_object("id_com_ts") || !info) return 1;
    append_port_row(row_of(info), true);
    return 1;
}

void refresh_port_list()
{
    std::vector<port_row> now;
    enumerate_serial_ports(collect_port, &now);
    auto listed = [&now](const std::string& name) {
        return std::any_of(now.begin(), now.end(), [&name](const port_row& r) { return r.first == name; });
    };
    if (link_port_open() && com_port_name()[0] != '\0' && !listed(com_port_name())) link_lost();

    GtkTreeStore* store = GTK_TREE_STORE(get_object("id_com_ts"));
    GtkTreeModel* model = GTK_TREE_MODEL(store);
    std::vector<std::string> shown;
    GtkTreeIter it;
    for (bool ok = gtk_tree_model_get_iter_first(model, &it); ok;) {
        std::string name = model_text(model, &it, port_column_name);
        if (listed(name)) {
            shown.push_back(name);
            ok = gtk_tree_model_iter_next(model, &it);
        } else {
            ok = gtk_tree_store_remove(store, &it);  // the active row leaves no row active
        }
    }
    for (const port_row& row : now) {
        if (std::find(shown.begin(), shown.end(), row.first) != shown.end()) continue;
        const std::string active = combo_active_text(get_widget("id_com_cb"), port_column_name);
        const bool kept = !link_port_connected() && row.first == preferred_port;
        append_port_row(row, kept || row.first == lost_port ||
                                 (!serves_another_kind(row) &&
                                  (active.empty() || (!link_port_connected() && active == auto_port))));
        // The kept port is the user's own choice: a later port does not take its place.
        if (kept) auto_port.clear();
        shown.push_back(row.first);
    }
}

void on_bridge_event(bool added)
{
    if (!added) {
        if (link_bridge_connected() && !bridge_present()) link_lost();
        return;
    }
    if (link_bridge_chosen() && link_bridge_auto() && !link_bridge_connected() && bridge_present() &&
        link_connect_bridge())
        show_bridge_open();
}

void show_link_lost(const char* port)
{
    if (port && port[0]) lost_port = port;
    stop_receive_poll();
    show_connected(false);
}

void prepare_port_list()
{
    // The port's name, and the system's description of it in grey beside it.
    // Device paths are longer than "COM3": both are shortened with an
    // ellipsis where the combo is narrow.
    GtkCellLayout* combo = GTK_CELL_LAYOUT(get_widget("id_com_cb"));
    GtkCellRenderer* port = gtk_cell_renderer_text_new();
    g_object_set(port, "ellipsize", PANGO_ELLIPSIZE_MIDDLE, NULL);
    gtk_cell_layout_pack_start(combo, port, TRUE);
    gtk_cell_layout_set_attributes(combo, port, "text", port_column_name, NULL);
    GtkCellRenderer* description = gtk_cell_renderer_text_new();
    g_object_set(description, "foreground", "#606060", "ellipsize", PANGO_ELLIPSIZE_END, NULL);
    gtk_cell_layout_pack_start(combo, description, FALSE);
    gtk_cell_layout_set_attributes(combo, description, "text", port_column_description, NULL);
    enumerate_serial_ports(add_port_to_list, nullptr);
    start_device_events({refresh_port_list, on_bridge_event});
}

void on_connect_clicked(GtkWidget*)
{
    GtkWidget* button = get_widget("id_connect_btn");
    if (!link_port_connected()) {
        std::string name = combo_active_text(get_widget("id_com_cb"), port_column_name);
        const link_result opened = link_connect_port(name.c_str());
        if (opened) {
            lost_port.clear();
            // The next run (or choice) of this kind selects it again.
            preferred_port = name;
            write_last_port(last_ports_path, serial_kind(), name);
            set_connection_lamp(true);
            set_button_label(button, "Disconnect");
            status_message("Connected to device...\n");
        } else {
            const bool in_use = opened.status == link_status::in_use;
            set_connection_lamp(false);
            set_button_label(button, "Connect");
            if (in_use) status_failure("%s is in use by another program...\n", name.c_str());
            else status_message("Could not connect to device...\n");
        }
        return;
    }
    if (refuse_while_transferring()) return;
    link_disconnect_port();
    set_connection_lamp(false);
    set_button_label(button, "Connect");
    status_message("Device disconnected...\n");
}

void on_upload_clicked(GtkWidget*)
{
    if (refuse_while_transferring()) return;
    if (!link_is_connected()) {
        status_message("Uploading to device only permitted when device is connected...\n");
        return;
    }
    const upload_question q = upload_question_for(kDeviceMirrorFolder);
    if (q.needed && !confirm_replacing(q)) {
        status_message("Nothing sent; the device keeps its profiles...");
        return;
    }
    upload_profiles(kDeviceMirrorFolder, nullptr);
}

void on_download_clicked(GtkWidget*)
{
    if (refuse_while_transferring()) return;
    if (!link_is_connected() && relay_mode == 0) {
        status_message("You must first connect to the device before downloading profiles...\n");
        return;
    }
    // The device folder is emptied once the device answers.
    start_download(kDeviceMirrorFolder, !kolvan_folder_mode);
}

void hid_connect()
{
    link_choose_bridge(true);
    if (!link_connect_bridge()) return;  // the status bar already says why
    show_bridge_open();
}

void stop_receive_poll() { link_stop_receive_poll(); }

void select_port_for_kind()
{
    serial_kind_chosen = !kolvan_folder_mode && !link_bridge_chosen();
    if (!serial_kind_chosen) return;
    preferred_port = read_last_port(last_ports_path, serial_kind());
    GtkComboBox* combo = GTK_COMBO_BOX(get_widget("id_com_cb"));
    GtkTreeModel* model = GTK_TREE_MODEL(get_object("id_com_ts"));
    // The kept port; else the one simulator of this kind; else none, since
    // any other port may be another kind's device.
    int kept = -1, simulator = -1, simulators = 0, row = 0;
    GtkTreeIter it;
    for (bool ok = gtk_tree_model_get_iter_first(model, &it); ok; ok = gtk_tree_model_iter_next(model, &it), ++row) {
        if (model_text(model, &it, port_column_name) == preferred_port) kept = row;
        if (simulator_kind(model_text(model, &it, port_column_description)) == serial_kind()) {
            simulator = row;
            ++simulators;
        }
    }
    const int pick = kept >= 0 ? kept : simulators == 1 ? simulator : -1;
    gtk_combo_box_set_active(combo, pick);
    // Only a simulator is the program's own pick, which a new port replaces.
    auto_port = pick >= 0 && kept < 0 ? combo_active_text(get_widget("id_com_cb"), port_column_name) : "";
}

bool release_link_for_new_kind()
{
    if (refuse_while_transferring()) return false;
    link_reset();
    lost_port.clear();
    preferred_port.clear();
    serial_kind_chosen = false;
    show_connected(false);
    return true;
}
