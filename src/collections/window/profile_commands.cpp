#include "collections/window/profile_commands.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <unistd.h>

#include "base/console.h"
#include "collections/profile_folders.h"
#include "collections/window/profile_lists.h"
#include "profile/gun_profile.h"
#include "settings/device_modes.h"
#include "shell/shell.h"

namespace {

constexpr const char* kSaveFailed = "Could not save profile to disk...\n";
constexpr const char* kNotAProfile = "Not copied: %s holds %zu byte%s, not a whole profile (556 or 428)";
constexpr const char* kDeleteFailed = "Could not delete profile...\n";
constexpr const char* kCopyFailed = "Could not copy profile...\n";
constexpr const char* kNoDeviceFolder = "No device folder chosen...\n";

std::string entry_name() { return gtk_entry_get_text(GTK_ENTRY(get_widget("id_profile_name"))); }

GtkWindow* main_window() { return GTK_WINDOW(get_widget("id_mw")); }

void tell(const char* title, const char* text)
{
    GtkWidget* d = gtk_message_dialog_new(main_window(), GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_INFO,
                                          GTK_BUTTONS_OK, "%s", text);
    gtk_window_set_title(GTK_WINDOW(d), title);
    gtk_dialog_run(GTK_DIALOG(d));
    gtk_widget_destroy(d);
}

// The Copy Profile and Delete dialogs: a question picture and one labelled
// name entry of at most 10 characters.
GtkWidget* name_dialog(const char* title, const char* label_text, GtkWidget** entry_out)
{
    GtkWidget* d = gtk_dialog_new_with_buttons(
        title, main_window(), GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), GTK_STOCK_OK,
        GTK_RESPONSE_OK, GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, NULL);
    GtkWidget* hbox = gtk_hbox_new(FALSE, 8);
    gtk_container_set_border_width(GTK_CONTAINER(hbox), 8);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(d))), hbox, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(hbox), gtk_image_new_from_stock(GTK_STOCK_DIALOG_QUESTION, GTK_ICON_SIZE_DIALOG), FALSE,
                       FALSE, 0);
    GtkWidget* table = gtk_table_new(2, 2, FALSE);
    gtk_table_set_row_spacings(GTK_TABLE(table), 4);
    gtk_table_set_col_spacings(GTK_TABLE(table), 4);
    gtk_box_pack_start(GTK_BOX(hbox), table, TRUE, TRUE, 0);
    GtkWidget* label = gtk_label_new_with_mnemonic(label_text);
    gtk_table_attach_defaults(GTK_TABLE(table), label, 0, 1, 0, 1);
    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_max_length(GTK_ENTRY(entry), 10);
    gtk_table_attach_defaults(GTK_TABLE(table), entry, 1, 2, 0, 1);
    gtk_label_set_mnemonic_widget(GTK_LABEL(label), entry);
    gtk_widget_show_all(hbox);
    *entry_out = entry;
    return d;
}

// Answered dialogs are hidden at once so that a following dialog is the only
// one shown.
gint run_and_hide(GtkWidget* dialog)
{
    gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_hide(dialog);
    return response;
}

// A name usable as a file name on the device side, or the reason why not.
bool device_side_usable(const std::string& name, const char* failure)
{
    if (!profile_name_is_safe(name.c_str())) {
        status_message("%s", failure);
        return false;
    }
    if (!device_folder_is_set()) {
        status_message("%s", kNoDeviceFolder);
        return false;
    }
    return true;
}

// The failure of a command on one file, with the system's reason; it stays
// in the status bar over the notes of the rescans that follow.
void tell_failure(const char* verb, const std::string& path, const FileFailure& why, const char* where = "")
{
    const std::string file = file_name_of(path);
    if (why.not_a_profile) status_failure(kNotAProfile, file.c_str(), why.size, why.size == 1 ? "" : "s");
    else status_failure("Could not %s %s%s: %s", verb, file.c_str(), where, system_reason(why.error).c_str());
}

const char* copy_target(bool to_pc) { return to_pc ? " to the PC" : " to the device"; }

// In folder mode the device side is the wrist unit's own folder: when it is
// gone (the unit unplugged) that is the message, not a failure of the file.
bool device_folder_there()
{
    if (!kolvan_folder_mode || device_folder_error() == 0) return true;
    status_failure("%s", velmora_folder_gone().c_str());
    return false;
}

void rescan_both()
{
    scan_pc_profiles();
    scan_device_profiles();
}

void ensure_target_folder(bool to_pc)
{
    if (to_pc) ensure_folder(kPcProfileFolder);
    else if (!kolvan_folder_mode) ensure_folder(kDeviceMirrorFolder);
}

void overwrite(GtkDialog* dialog, gint response, bool to_pc)
{
    close_dialog_later(GTK_WIDGET(dialog));
    // Only Yes overwrites; closing the question keeps the target.
    if (response == GTK_RESPONSE_YES) {
        std::string name = entry_name();
        if (device_side_usable(name, kCopyFailed)) {
            std::string pc = pc_profile_path(name.c_str());
            std::string device = device_profile_path(name.c_str());
            FileFailure why;
            if (device_folder_there() &&
                !copy_profile_file(to_pc ? device : pc, to_pc ? pc : device, CopyMode::replace, &why, true))
                tell_failure("copy", to_pc ? device : pc, why, copy_target(to_pc));
        }
    }
}

}  // namespace

bool save_current_profile()
{
    window_hooks.read_form();
    std::string name = entry_name();
    if (name.size() > kProfileNameBytes) {
        // The record keeps 31 bytes: a cut name would not be the file's.
        status_failure("Not saved: the name %s takes %zu bytes, more than the %zu a profile keeps", name.c_str(),
                       name.size(), kProfileNameBytes);
        return false;
    }
    set_profile_name(cvIn, name.c_str());
    prepare_profile_for_save(cvIn);
    if (std::strcmp(cvIn.name, "NEW GUN") == 0) {
        tell("Profile Not Saved", "This profile name is reserved.  Please rename the profile...");
        return false;
    }
    if (!profile_name_is_safe(name.c_str())) {
        status_message("%s", kSaveFailed);
        rescan_both();
        return false;
    }
    // A new user has no profile folder yet.
    ensure_target_folder(true);
    const std::string path = pc_profile_path(name.c_str());
    std::string reason;
    if (!window_hooks.write_profile(path.c_str(), &reason)) {
        status_failure("Could not save %s: %s", file_name_of(path).c_str(), reason.c_str());
        return false;
    }
    note_shown_profile(false, name);
    char text[128];
    format_bounded(text, sizeof text, "Profile saved as: %s", cvIn.name);
    tell("Profile Saved", text);
    return true;
}

void save_profile(GtkWidget*) { save_current_profile(); }

void copy_profile_as(GtkWidget*)
{
    GtkWidget* entry = nullptr;
    GtkWidget* d = name_dialog("Copy Profile", "New Profile Name: ", &entry);
    if (run_and_hide(d) == GTK_RESPONSE_OK) {
        gtk_entry_set_text(GTK_ENTRY(get_widget("id_profile_name")), gtk_entry_get_text(GTK_ENTRY(entry)));
        save_profile(nullptr);
    }
    gtk_widget_destroy(d);
}

void confirm_delete_profile(GtkWidget* widget)
{
    bool pc = widget == get_widget("id_pc_pro_del");
    GtkWidget* entry = nullptr;
    GtkWidget* d =
        name_dialog(pc ? "Delete Profile from PC" : "Delete Profile from Device", "Delete Profile: ", &entry);
    gtk_entry_set_text(GTK_ENTRY(entry), entry_name().c_str());
    gtk_widget_set_sensitive(entry, FALSE);
    if (run_and_hide(d) == GTK_RESPONSE_OK) {
        if (pc) delete_pc_profile();
        else delete_device_profile();
    }
    gtk_widget_destroy(d);
}

void delete_pc_profile()
{
    std::string name = entry_name();
    FileFailure why;
    if (!profile_name_is_safe(name.c_str())) status_message("%s", kDeleteFailed);
    else if (!delete_profile_file(pc_profile_path(name.c_str()), &why))
        tell_failure("delete", pc_profile_path(name.c_str()), why);
    scan_pc_profiles();
}

void delete_device_profile()
{
    std::string name = entry_name();
    if (device_side_usable(name, kDeleteFailed) && device_folder_there()) {
        std::string path = device_profile_path(name.c_str());
        console_message("---> Delete command:  %s\n", path.c_str());
        FileFailure why;
        if (!delete_profile_file(path, &why)) tell_failure("delete", path, why);
    }
    scan_device_profiles();
}

void copy_profile_between_folders(GtkWidget* widget)
{
    std::string name = entry_name();
    if (!device_side_usable(name, kCopyFailed)) {
        rescan_both();
        return;
    }
    std::string device = device_profile_path(name.c_str());
    std::string pc = pc_profile_path(name.c_str());
    bool to_pc = widget == get_widget("id_cp_to_pc_btn");
    if (!to_pc && !device_has_room(device_profile_count)) {
        status_message("Maximum number of profiles reached...");
        rescan_both();
        return;
    }
    if (!device_folder_there()) {
        rescan_both();
        return;
    }
    ensure_target_folder(to_pc);
    FileFailure why;
    if (copy_profile_file(to_pc ? device : pc, to_pc ? pc : device, CopyMode::fail_if_exists, &why, true)) {
        rescan_both();
        return;
    }
    // A target that is there is the question, and so is a missing source (a
    // Yes then tells why nothing was copied); anything else is told now.
    const std::string& source = to_pc ? device : pc;
    bool missing_source = why.error == ENOENT && ::access(source.c_str(), F_OK) != 0;
    if (why.error != EEXIST && !missing_source) {
        tell_failure("copy", to_pc ? device : pc, why, copy_target(to_pc));
        rescan_both();
        return;
    }
    GtkWidget* overwrite_dialog = gtk_message_dialog_new(main_window(), GTK_DIALOG_DESTROY_WITH_PARENT,
                                                         GTK_MESSAGE_ERROR, GTK_BUTTONS_YES_NO, "Overwrite File");
    gtk_message_dialog_set_markup(
        GTK_MESSAGE_DIALOG(overwrite_dialog),
        to_pc ? "Warning: The selected bullet exists on the PC.\nDo you wish to overwrite?"
              : "Warning: The selected bullet exists on the device.\nDo you wish to overwrite?");
    g_signal_connect(overwrite_dialog, "response",
                     to_pc ? G_CALLBACK(overwrite_on_pc_response) : G_CALLBACK(overwrite_on_device_response),
                     overwrite_dialog);
    gtk_widget_show(overwrite_dialog);
    rescan_both();
}

void overwrite_on_device_response(GtkDialog* dialog, gint response, gpointer) { overwrite(dialog, response, false); }

void overwrite_on_pc_response(GtkDialog* dialog, gint response, gpointer) { overwrite(dialog, response, true); }
