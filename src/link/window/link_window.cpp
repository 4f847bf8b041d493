#include "link/window/link_window.h"

#include <cstring>
#include <string>

#include "app/shell/shell.h"
#include "collections/profile_folders.h"
#include "link/carriers.h"
#include "link/command_channel.h"
#include "link/download.h"
#include "link/link_state.h"
#include "link/upload.h"

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

}  // namespace

void set_connection_lamp(bool connected)
{
    GtkWidget* lamp = get_widget("id_con_img");
    set_image_file(lamp, connected ? "gd.png" : "rd.png");
    if (lamp) atk_object_set_description(gtk_widget_get_accessible(lamp), connected ? "Connected" : "Not connected");
}

int add_port_to_list(void*, const serial_port_info* info)
{
    GtkTreeStore* store = GTK_TREE_STORE(get_object("id_com_ts"));
    if (!store || !info) return 1;
    char name[64];
    std::snprintf(name, sizeof name, "%s", info->port_name);
    GtkTreeIter iter;
    gtk_tree_store_append(store, &iter, nullptr);
    // A description that only repeats the device's name ("ttyS0") adds nothing.
    const char* base = std::strrchr(info->port_name, '/');
    base = base ? base + 1 : info->port_name;
    bool repeats =
        std::strcmp(info->friendly_name, info->port_name) == 0 || std::strcmp(info->friendly_name, base) == 0;
    const char* friendly = repeats ? "" : info->friendly_name;
    gtk_tree_store_set(store, &iter, port_column_name, name, port_column_description, friendly, -1);
    gtk_combo_box_set_active_iter(GTK_COMBO_BOX(get_widget("id_com_cb")), &iter);
    return 1;
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
}

void on_connect_clicked(GtkWidget*)
{
    GtkWidget* button = get_widget("id_connect_btn");
    if (com_connected == 0) {
        std::string name = combo_active_text(get_widget("id_com_cb"), port_column_name);
        if (link_connect_port(name.c_str())) {
            set_connection_lamp(true);
            set_button_label(button, "Disconnect");
            status_message("Connected to device...\n");
        } else {
            set_connection_lamp(false);
            set_button_label(button, "Connect");
            status_message("Could not connect to device...\n");
        }
        return;
    }
    link_disconnect_port();
    set_connection_lamp(false);
    set_button_label(button, "Connect");
    status_message("Device disconnected...\n");
}

// A transfer's pumps run the main loop, and with it these buttons.
static bool refuse_while_transferring()
{
    if (!upload_active && !download_running()) return false;
    status_message("A transfer with the device is running; please wait until it ends...");
    return true;
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
    if (!link_connect_bridge()) return;  // the status bar already says why
    set_connection_lamp(true);
    set_button_label(get_widget("id_connect_btn"), "Disconnect");
}

void stop_receive_poll() { link_stop_receive_poll(); }
