// The signal table: every signal of the program is connected here, once, at
// start, in table order and without user data.
#include <gdk/gdkkeysyms.h>

#include <initializer_list>
#include <string>

#include "app/startup.h"
#include "ballistics/window/preview_window.h"
#include "collections/window/profile_commands.h"
#include "collections/window/profile_lists.h"
#include "editor/window/editor.h"
#include "library/window/bullet_window.h"
#include "link/window/link_window.h"
#include "settings/window/device_selection.h"
#include "shell/shell.h"

namespace {

void on_quit(GtkWidget*, gpointer) { quit_application(); }
// Closing the main window quits, after the unsaved-changes question; Cancel
// keeps it open.
gboolean on_main_delete(GtkWidget*, GdkEvent*, gpointer)
{
    quit_application();
    return TRUE;
}
// The kind chosen last; the selection window shown again from the menu goes
// back to it when closed.
void (*g_chosen_kind)(GtkWidget*) = nullptr;

void choose_kind(void (*choose)(GtkWidget*), GtkWidget* button)
{
    g_chosen_kind = choose;
    choose(button);
    select_port_for_kind();
}

void on_kolvan(GtkButton* b, gpointer) { choose_kind(choose_device_kolvan, GTK_WIDGET(b)); }
void on_m900(GtkButton* b, gpointer) { choose_kind(choose_device_m900, GTK_WIDGET(b)); }
void on_m600(GtkButton* b, gpointer) { choose_kind(choose_device_m600, GTK_WIDGET(b)); }
void on_cv_relay(GtkButton* b, gpointer) { choose_kind(choose_device_cv_relay, GTK_WIDGET(b)); }

// At start closing the selection window quits; shown again from the menu it
// goes back to the kind of before.
gboolean on_selection_delete(GtkWidget*, GdkEvent*, gpointer)
{
    if (!g_chosen_kind) return FALSE;
    choose_kind(g_chosen_kind, nullptr);
    return TRUE;
}

// File, Change Device Kind: the unsaved-changes question, then the link is
// closed and the selection window shown again.
void on_menu_device_kind(GtkMenuItem*, gpointer)
{
    if (!settle_unsaved_changes() || !release_link_for_new_kind()) return;
    show_device_selection_again();
}
void on_folder_select(GtkButton* b, gpointer) { choose_kolvan_folder(GTK_WIDGET(b)); }
void on_connect(GtkButton* b, gpointer) { on_connect_clicked(GTK_WIDGET(b)); }
void on_cable(GtkButton* b, gpointer) { on_cable_clicked(GTK_WIDGET(b)); }
void on_upload(GtkButton* b, gpointer) { on_upload_clicked(GTK_WIDGET(b)); }
void on_download(GtkButton* b, gpointer) { on_download_clicked(GTK_WIDGET(b)); }
void on_menu_quit(GtkMenuItem*, gpointer) { quit_application(); }
void on_menu_about(GtkMenuItem*, gpointer) { show_about(nullptr); }

gboolean on_about_delete(GtkWidget* w, GdkEvent*, gpointer) { return hide_on_close(w); }
void on_about_close(GtkDialog* d, gpointer) { hide_on_close(GTK_WIDGET(d)); }
void on_about_response(GtkDialog* d, gint, gpointer) { hide_on_close(GTK_WIDGET(d)); }
gboolean on_progress_delete(GtkWidget*, GdkEvent*, gpointer) { return progress_hide(); }

void on_units_toggled(GtkToggleButton* b, gpointer) { on_input_units_toggled(GTK_WIDGET(b)); }
void on_entry_activate(GtkEntry*, gpointer) { read_form_into_profile(); }
void on_entry_changed(GtkEditable*, gpointer) { on_form_entry_changed(); }
void on_new_clicked(GtkButton* b, gpointer) { new_profile(GTK_WIDGET(b)); }
void on_units_combo_changed(GtkComboBox* c, gpointer) { on_output_units_changed(GTK_WIDGET(c)); }
void on_pc_cursor(GtkTreeView* v, gpointer) { on_pc_list_cursor_changed(v); }
void on_device_cursor(GtkTreeView* v, gpointer) { on_device_list_cursor_changed(v); }
void on_delete_clicked(GtkButton* b, gpointer) { confirm_delete_profile(GTK_WIDGET(b)); }
void on_save_clicked(GtkButton* b, gpointer) { save_profile(GTK_WIDGET(b)); }
void on_copy_clicked(GtkButton* b, gpointer) { copy_profile_as(GTK_WIDGET(b)); }
void on_copy_between_clicked(GtkButton* b, gpointer) { copy_profile_between_folders(GTK_WIDGET(b)); }

gboolean on_bullet_window_delete(GtkWidget* w, GdkEvent*, gpointer) { return hide_bullet_library(w); }
void on_bullet_cancel(GtkButton* b, gpointer) { hide_bullet_library(GTK_WIDGET(b)); }
void on_bullet_ok(GtkButton* b, gpointer) { ask_bullet_confirmation(GTK_WIDGET(b)); }
void on_database_clicked(GtkButton* b, gpointer) { open_bullet_library(GTK_WIDGET(b)); }
void on_bullet_row_activated(GtkTreeView* v, GtkTreePath*, GtkTreeViewColumn*, gpointer)
{
    ask_bullet_confirmation(GTK_WIDGET(v));
}
void on_bullet_filter(GtkEditable*, gpointer) { on_bullet_filter_changed(); }
void on_bullet_page(GtkNotebook*, gpointer, guint page, gpointer) { on_bullet_page_switched(static_cast<int>(page)); }

void on_preview_clicked(GtkWidget* w, gpointer) { open_solution_preview(w); }
void on_form_choice(GObject*, gpointer) { on_form_choice_changed(); }

// `key` in `window` emits `signal` on `widget`.
void add_key(const char* window, const char* widget, const char* signal, guint key, GdkModifierType mods)
{
    GtkAccelGroup* keys = gtk_accel_group_new();
    gtk_window_add_accel_group(GTK_WINDOW(get_widget(window)), keys);
    gtk_widget_add_accelerator(get_widget(widget), signal, keys, key, mods, GTK_ACCEL_VISIBLE);
    g_object_unref(keys);
}

void connect(const char* id, const char* signal, GCallback handler)
{
    GObject* obj = get_object(id);
    if (obj) g_signal_connect(obj, signal, handler, nullptr);
}

}  // namespace

// The editor entries that read the form on Enter and mark the profile on
// every change, in connection order.
static const char* const kFormEntries[] = {
    "id_bh_entry",     "id_zh_entry",     "id_zo_entry",     "id_temp_1_entry", "id_temp_2_entry", "id_temp_3_entry",
    "id_temp_4_entry", "id_temp_5_entry", "id_temp_6_entry", "id_mv_1_entry",   "id_mv_2_entry",   "id_mv_3_entry",
    "id_mv_4_entry",   "id_mv_5_entry",   "id_mv_6_entry",   "id_bw_entry",     "id_bd_entry",     "id_bl_entry",
    "id_bc_entry",     "id_tr_entry",     "id_mv_entry",     "id_zr_entry",     "id_ssfV_entry",   "id_ssfH_entry",
};

// The click-value entries carry the same two handlers, connected last of all.
static const char* const kClickEntries[] = {"id_clickvalE", "id_clickvalW"};

static void connect_form_entry(const char* id)
{
    connect(id, "activate", G_CALLBACK(on_entry_activate));
    connect(id, "changed", G_CALLBACK(on_entry_changed));
}

void connect_signals()
{
    connect("id_sw", "destroy", G_CALLBACK(on_quit));
    connect("id_sw", "delete-event", G_CALLBACK(on_selection_delete));
    connect("id_sw_quit", "clicked", G_CALLBACK(on_quit));
    connect("id_sel_kolvan", "clicked", G_CALLBACK(on_kolvan));
    connect("id_sel_m900", "clicked", G_CALLBACK(on_m900));
    connect("id_sel_m600", "clicked", G_CALLBACK(on_m600));
    connect("id_sel_cv-relay", "clicked", G_CALLBACK(on_cv_relay));
    connect("id_kolvan_folder_sel", "clicked", G_CALLBACK(on_folder_select));
    connect("id_mw", "destroy", G_CALLBACK(on_quit));
    connect("id_mw", "delete-event", G_CALLBACK(on_main_delete));
    for (const char* id : {"id_mix_units", "id_english_units", "id_metric_units"})
        connect(id, "toggled", G_CALLBACK(on_units_toggled));
    for (const char* id : kFormEntries) connect_form_entry(id);
    connect("id_mi_quit", "activate", G_CALLBACK(on_menu_quit));
    connect("id_mi_device_kind", "activate", G_CALLBACK(on_menu_device_kind));
    connect("id_mi_about", "activate", G_CALLBACK(on_menu_about));
    connect("id_bl_win", "delete-event", G_CALLBACK(on_bullet_window_delete));
    connect("id_bl_cl", "clicked", G_CALLBACK(on_bullet_cancel));
    connect("id_bl_ok", "clicked", G_CALLBACK(on_bullet_ok));
    connect("id_db_btn", "clicked", G_CALLBACK(on_database_clicked));
    connect("id_bl_filter", "changed", G_CALLBACK(on_bullet_filter));
    connect("id_bl_nb", "switch-page", G_CALLBACK(on_bullet_page));
    connect("id_awin", "delete-event", G_CALLBACK(on_about_delete));
    connect("id_awin", "close", G_CALLBACK(on_about_close));
    connect("id_awin", "response", G_CALLBACK(on_about_response));
    connect("id_progress_win", "delete-event", G_CALLBACK(on_progress_delete));
    connect("id_cls_tv", "cursor-changed", G_CALLBACK(on_pc_cursor));
    connect("id_dls_tv", "cursor-changed", G_CALLBACK(on_device_cursor));
    connect("id_pc_pro_del", "clicked", G_CALLBACK(on_delete_clicked));
    connect("id_device_pro_del", "clicked", G_CALLBACK(on_delete_clicked));
    connect("id_btn_new", "clicked", G_CALLBACK(on_new_clicked));
    connect("id_btn_save", "clicked", G_CALLBACK(on_save_clicked));
    connect("id_btn_copy", "clicked", G_CALLBACK(on_copy_clicked));
    connect("id_connect_btn", "clicked", G_CALLBACK(on_connect));
    connect("id_cable_btn", "clicked", G_CALLBACK(on_cable));
    connect("id_upload_btn", "clicked", G_CALLBACK(on_upload));
    connect("id_download_btn", "clicked", G_CALLBACK(on_download));
    connect("id_cp_to_dev_btn", "clicked", G_CALLBACK(on_copy_between_clicked));
    connect("id_cp_to_pc_btn", "clicked", G_CALLBACK(on_copy_between_clicked));
    connect("id_bl_tv", "row-activated", G_CALLBACK(on_bullet_row_activated));
    connect("id_bl_g7_tv", "row-activated", G_CALLBACK(on_bullet_row_activated));
    connect("id_eunits", "changed", G_CALLBACK(on_units_combo_changed));
    connect("id_wunits", "changed", G_CALLBACK(on_units_combo_changed));
    for (const char* id : kClickEntries) connect_form_entry(id);

    // The solution preview; it follows the editor's "form changed".
    connect("id_btn_preview", "clicked", G_CALLBACK(on_preview_clicked));
    connect("id_mi_preview", "activate", G_CALLBACK(on_preview_clicked));
    // Choices the editor reads with the form, and the drop scale factor
    // table, which it reads when the profile is: the form changed.
    for (const char* table : {"id_vel_", "id_dsf_"})
        for (int row = 1; row <= 6; ++row)
            connect((table + std::to_string(row)).c_str(), "activate", G_CALLBACK(on_form_choice));
    for (const char* id : {"id_clicke_units", "id_clickw_units"}) connect(id, "changed", G_CALLBACK(on_form_choice));
    for (const char* id : {"id_g1_btn", "id_g7_btn"}) connect(id, "toggled", G_CALLBACK(on_form_choice));
    connect_preview_signals();

    // Ctrl+Q quits as File > Quit does (with the unsaved-changes question);
    // Escape closes the bullet window as Cancel does.
    add_key("id_mw", "id_mi_quit", "activate", GDK_KEY_q, GDK_CONTROL_MASK);
    add_key("id_bl_win", "id_bl_cl", "clicked", GDK_KEY_Escape, GdkModifierType(0));
}
