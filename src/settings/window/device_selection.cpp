#include "settings/window/device_selection.h"

#include <cstring>
#include <initializer_list>
#include <string>

#include "base/console.h"
#include "profile/units.h"
#include "settings/device_modes.h"
#include "settings/settings_file.h"
#include "shell/shell.h"

const char* const settings_path = "settings.ini";

static bool settings_loaded = false;
// The damaged-settings notice is shown in the window once, not at every
// read of the same damage.
static std::string damage_shown;
// The selection window shown again from the menu: the settings were read.
static bool choosing_again = false;

void load_settings()
{
    int units = 0;
    char folder[settings_folder_size] = {};
    std::string problem;
    if (read_settings_checked(settings_path, units, folder, &problem)) {
        input_units = units;
        set_kolvan_folder(folder);
        console_message("Loaded the settings...\n");
        console_message("Kolvan Folder... %s\n", kolvan_folder);
    }
    if (!problem.empty() && problem != damage_shown) {
        damage_shown = problem;
        status_failure("%s is damaged (%s): the defaults take the place of what is damaged", settings_path,
                       problem.c_str());
    }
    settings_loaded = true;
    window_hooks.update_unit_labels();

    const char* radio = input_units == kUnitsMixed     ? "id_mix_units"
                        : input_units == kUnitsEnglish ? "id_english_units"
                                                       : "id_metric_units";
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(get_widget(radio)), TRUE);
    // A value outside 1..3 selected Metric above without a toggle when Metric
    // was already active: keep what the button stands for.
    if (input_units != kUnitsMixed && input_units != kUnitsEnglish) input_units = kUnitsMetric;

    window_hooks.device_folder_changed();
}

void save_settings()
{
    if (!settings_loaded) return;
    if (write_settings_file(settings_path, input_units, kolvan_folder)) console_message("Saved the settings...\n");
    else status_message("Could not save settings to disk...\n");
}

namespace {

void hide_widgets(std::initializer_list<const char*> ids)
{
    for (const char* id : ids) gtk_widget_hide(get_widget(id));
}

// The controls a choice hides, and the transfer buttons' texts before the
// relay's relabel them.
const char* const kHiddenByAChoice[] = {"id_zr_lbl1",      "id_connect_btn", "id_com_cb",           "id_con_img",
                                        "id_download_btn", "id_upload_btn",  "id_kolvan_folder_sel"};
std::string g_download_text, g_upload_text;

std::string button_text(const char* id)
{
    GtkWidget* label = find_descendant(get_widget(id), GTK_TYPE_LABEL);
    return label ? gtk_label_get_text(GTK_LABEL(label)) : "";
}

void begin_choice(int folder_mode)
{
    gtk_widget_hide(get_widget("id_sw"));
    gtk_widget_hide(get_widget("id_cable_btn"));
    if (g_download_text.empty()) {
        g_download_text = button_text("id_download_btn");
        g_upload_text = button_text("id_upload_btn");
    }
    set_device_kind(relay_mode != 0, folder_mode != 0);
}

void end_choice()
{
    // A second choice in a run keeps the units and folder of this run.
    if (choosing_again) window_hooks.device_folder_changed();
    else load_settings();
    choosing_again = false;
    gtk_widget_show(get_widget("id_mw"));
}

}  // namespace

void choose_device_kolvan(GtkWidget*)
{
    begin_choice(1);
    hide_widgets({"id_zr_lbl1", "id_connect_btn", "id_com_cb", "id_con_img", "id_download_btn", "id_upload_btn"});
    end_choice();
}

void choose_device_m900(GtkWidget*)
{
    begin_choice(0);
    hide_widgets({"id_zr_lbl1", "id_connect_btn", "id_com_cb", "id_kolvan_folder_sel"});
    // The cable's own button opens and closes it by hand.
    gtk_widget_show(get_widget("id_cable_btn"));
    window_hooks.connect_bridge();
    end_choice();
}

void choose_device_m600(GtkWidget*)
{
    begin_choice(0);
    hide_widgets({"id_kolvan_folder_sel"});
    end_choice();
}

void choose_device_cv_relay(GtkWidget*)
{
    begin_choice(0);
    hide_widgets({"id_kolvan_folder_sel"});
    end_choice();
    set_button_label(get_widget("id_download_btn"), "Get Profiles\nFrom CV\nDevice");
    set_button_label(get_widget("id_upload_btn"), "Send Profiles\nTo CV Device");
    set_device_kind(true, kolvan_folder_mode != 0);
}

void show_device_selection_again()
{
    gtk_widget_hide(get_widget("id_mw"));
    for (const char* id : kHiddenByAChoice) gtk_widget_show(get_widget(id));
    gtk_widget_hide(get_widget("id_cable_btn"));
    if (!g_download_text.empty()) {
        set_button_label(get_widget("id_download_btn"), g_download_text.c_str());
        set_button_label(get_widget("id_upload_btn"), g_upload_text.c_str());
    }
    set_device_kind(false, false);
    choosing_again = settings_loaded;
    gtk_widget_show(get_widget("id_sw"));
}

void apply_kolvan_folder(const char* folder)
{
    if (!set_kolvan_folder(folder)) {
        status_message("Folder path too long, not selected...");
        return;
    }
    status_message("Profile Folder Selected... %s", kolvan_folder);
}

void choose_kolvan_folder(GtkWidget*)
{
    GtkWidget* dialog = gtk_file_chooser_dialog_new("Set Profile Folder", GTK_WINDOW(get_widget("id_mw")),
                                                    GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, GTK_STOCK_CANCEL,
                                                    GTK_RESPONSE_CANCEL, GTK_STOCK_OPEN, GTK_RESPONSE_ACCEPT, NULL);
    if (kolvan_folder[0]) gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), kolvan_folder);
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        // The folder the user selected; with nothing selected, the one shown.
        gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
        if (!name) name = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(dialog));
        gchar* utf8 = name ? g_filename_to_utf8(name, -1, nullptr, nullptr, nullptr) : nullptr;
        if (utf8) apply_kolvan_folder(utf8);
        g_free(utf8);
        g_free(name);
    }
    gtk_widget_destroy(dialog);
    window_hooks.device_folder_changed();
}
