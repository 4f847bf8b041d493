#include "app/startup.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "app/hooks.h"
#include "app/shell/shell.h"
#include "base/console.h"
#include "collections/window/profile_lists.h"
#include "editor/window/editor.h"
#include "library/bullet_table.h"
#include "library/window/bullet_window.h"
#include "link/window/link_window.h"
#include "profile/gun_profile.h"
#include "profile/units.h"
#include "settings/window/device_selection.h"
#include "ui_definition.h"

const char* set_program_locale()
{
    const char* chosen = "en_US";
    if (!std::setlocale(LC_ALL, chosen)) {
        chosen = "C.UTF-8";
        if (!std::setlocale(LC_ALL, chosen)) {
            chosen = "C";
            std::setlocale(LC_ALL, chosen);
        }
    }
    // Profile texts are written and read with "." whatever the language is.
    std::setlocale(LC_NUMERIC, "C");
    return chosen;
}

static void set_window_icons()
{
    GError* error = nullptr;
    GdkPixbuf* icon = gdk_pixbuf_new_from_file("cvm_icon_16x16.png", &error);
    if (error) {
        g_error_free(error);
        return;
    }
    for (const char* id : {"id_sw", "id_mw", "id_awin", "id_bl_win"}) {
        GtkWidget* w = get_widget(id);
        if (w) gtk_window_set_icon(GTK_WINDOW(w), icon);
    }
    g_object_unref(icon);
}

static void pack_text_renderer(GtkCellRenderer* renderer, const char* combo_id)
{
    GtkCellLayout* layout = GTK_CELL_LAYOUT(get_widget(combo_id));
    gtk_cell_layout_pack_start(layout, renderer, TRUE);
    gtk_cell_layout_set_attributes(layout, renderer, "text", kTextColumn, NULL);
}

// Fills a unit store with the texts of unit codes 1 to `last` and makes the
// first row the active row of both combos.
static void fill_unit_store(const char* store_id, int last, const char* combo_a, const char* combo_b)
{
    GtkTreeStore* store = GTK_TREE_STORE(get_object(store_id));
    GtkComboBox* a = GTK_COMBO_BOX(get_widget(combo_a));
    GtkComboBox* b = GTK_COMBO_BOX(get_widget(combo_b));
    gtk_combo_box_set_model(a, GTK_TREE_MODEL(store));
    gtk_combo_box_set_model(b, GTK_TREE_MODEL(store));
    for (int code = 1; code <= last; ++code) {
        GtkTreeIter iter;
        gtk_tree_store_append(store, &iter, nullptr);
        gtk_tree_store_set(store, &iter, kTextColumn, unit_code_text(code), -1);
        if (code == 1) {
            gtk_combo_box_set_active_iter(a, &iter);
            gtk_combo_box_set_active_iter(b, &iter);
        }
    }
}

bool start_application(int* argc, char*** argv)
{
    // Trace lines reach a log or a pipe as they happen, not in blocks.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    set_program_locale();
    gtk_disable_setlocale();
    if (!gtk_init_check(argc, argv)) {
        std::fprintf(stderr, "stowline: cannot open the display\n");
        return false;
    }
    console_message("String with numbers: %.2f\r\n", 2.34567);
    fill_hooks();

    ui_builder = gtk_builder_new();
    GError* error = nullptr;
    if (!gtk_builder_add_from_string(ui_builder, kUiDefinition, sizeof kUiDefinition - 1, &error)) {
        std::fprintf(stderr, "stowline: the user interface definition did not load: %s\n", error->message);
        g_error_free(error);
    }

    std::memset(&cvIn, 0, sizeof cvIn);

    setup_bullet_list_columns();
    fill_bullet_list(kBulletListG1);
    fill_bullet_list(kBulletListG7);
    fill_bullet_list(kBulletListCustom);

    set_window_icons();

    setup_profile_list_columns();
    console_message("Creating PC and Device list...\n");
    std::fflush(stdout);
    scan_pc_profiles();
    clear_device_folder();
    scan_device_profiles();

    new_profile(nullptr);

    prepare_port_list();

    mark_profile_state(profile_unsaved);
    gtk_widget_hide(get_widget("id_custom_dc_lbl"));

    GtkCellRenderer* units_cell = gtk_cell_renderer_text_new();
    pack_text_renderer(units_cell, "id_eunits");
    pack_text_renderer(units_cell, "id_wunits");
    fill_unit_store("id_units_ts", kUnitCodeClicks, "id_eunits", "id_wunits");

    GtkCellRenderer* click_cell = gtk_cell_renderer_text_new();
    pack_text_renderer(click_cell, "id_clicke_units");
    pack_text_renderer(click_cell, "id_clickw_units");
    fill_unit_store("id_click_ts", kUnitCodeClicks - 1, "id_clicke_units", "id_clickw_units");

    for (const char* id :
         {"id_clickvalW", "id_lbl_1", "id_clickw_units", "id_clickvalE", "id_lbl_99", "id_clicke_units"})
        gtk_widget_set_sensitive(get_widget(id), FALSE);

    connect_signals();
    gtk_widget_show(get_widget("id_sw"));
    return true;
}

void quit_application()
{
    save_settings();
    stop_receive_poll();
    if (gtk_main_level() > 0) gtk_main_quit();
}

int run_application(int argc, char** argv)
{
    if (!start_application(&argc, &argv)) return 1;
    gtk_main();
    return 0;
}
