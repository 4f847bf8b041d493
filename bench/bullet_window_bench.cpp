// Bullet library benchmark, one measurement per process (the first opening is
// what counts): the time to build the three lists at start-up, and the time
// from opening the window to its first full paint and to an idle main loop.
//   bench_bullet_window [--empty | --fixed-height | --autosized]
// With no option it measures the views as the program sets them up (fixed
// widths from the table's texts, fixed-height rows). --empty measures a plain
// window of the same size (the floor); --fixed-height gives every column a
// rough fixed width without measuring any text (the reference the program is
// held to); --autosized goes back to columns that measure every row, for
// comparison. Prints "name ms" lines.
#include <gtk/gtk.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "shell/shell.h"
#include "library/bullet_table.h"
#include "library/window/bullet_window.h"
#include "ui_definition.h"

namespace {

using clock_type = std::chrono::steady_clock;

double ms_since(clock_type::time_point t0)
{
    return std::chrono::duration<double, std::milli>(clock_type::now() - t0).count();
}

bool g_painted = false;

gboolean on_painted(GtkWidget*, GdkEventExpose*, gpointer)
{
    g_painted = true;
    return FALSE;
}

// Shows `window` and reports the time to its first complete paint and to the
// moment nothing is left pending (idle row validation included).
void time_first_show(GtkWidget* window, void (*show)(GtkWidget*))
{
    g_signal_connect_after(window, "expose-event", G_CALLBACK(on_painted), nullptr);
    auto t0 = clock_type::now();
    show(window);
    while (!g_painted) gtk_main_iteration_do(TRUE);
    gdk_display_sync(gdk_display_get_default());
    std::printf("first_paint %.2f\n", ms_since(t0));
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    gdk_display_sync(gdk_display_get_default());
    std::printf("settled %.2f\n", ms_since(t0));
}

void use_fixed_height(const char* view_id)
{
    GtkTreeView* view = GTK_TREE_VIEW(get_widget(view_id));
    GList* cols = gtk_tree_view_get_columns(view);
    for (GList* c = cols; c; c = c->next) {
        GtkTreeViewColumn* col = GTK_TREE_VIEW_COLUMN(c->data);
        int width = gtk_tree_view_column_get_min_width(col);
        gtk_tree_view_column_set_sizing(col, GTK_TREE_VIEW_COLUMN_FIXED);
        gtk_tree_view_column_set_fixed_width(col, width < 60 ? 60 : width * 2);
    }
    g_list_free(cols);
    gtk_tree_view_set_fixed_height_mode(view, TRUE);
}

void use_autosized(const char* view_id)
{
    GtkTreeView* view = GTK_TREE_VIEW(get_widget(view_id));
    gtk_tree_view_set_fixed_height_mode(view, FALSE);
    GList* cols = gtk_tree_view_get_columns(view);
    for (GList* c = cols; c; c = c->next)
        gtk_tree_view_column_set_sizing(GTK_TREE_VIEW_COLUMN(c->data), GTK_TREE_VIEW_COLUMN_AUTOSIZE);
    g_list_free(cols);
}

void show_library(GtkWidget*) { open_bullet_library(nullptr); }

}  // namespace

int main(int argc, char** argv)
{
    gtk_init(&argc, &argv);
    const char* mode = argc > 1 ? argv[1] : "";

    if (std::strcmp(mode, "--empty") == 0) {
        GtkWidget* w = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_widget_set_size_request(w, 545, 400);
        gtk_window_set_position(GTK_WINDOW(w), GTK_WIN_POS_CENTER_ALWAYS);
        time_first_show(w, gtk_widget_show);
        return 0;
    }

    auto t0 = clock_type::now();
    ui_builder = gtk_builder_new();
    gtk_builder_add_from_string(ui_builder, kUiDefinition, sizeof kUiDefinition - 1, nullptr);
    std::printf("load_ui %.2f\n", ms_since(t0));

    t0 = clock_type::now();
    setup_bullet_list_columns();
    std::printf("setup_columns %.2f\n", ms_since(t0));
    auto all = clock_type::now();
    for (int kind : {kBulletListG1, kBulletListG7, kBulletListCustom}) {
        t0 = clock_type::now();
        fill_bullet_list(kind);
        std::printf("fill_%d %.2f\n", kind, ms_since(t0));
    }
    std::printf("fill_all %.2f\n", ms_since(all));

    if (std::strcmp(mode, "--fixed-height") == 0)
        for (const char* id : {"id_bl_tv", "id_bl_g7_tv", "id_bl_cc_tv"}) use_fixed_height(id);
    if (std::strcmp(mode, "--autosized") == 0)
        for (const char* id : {"id_bl_tv", "id_bl_g7_tv", "id_bl_cc_tv"}) use_autosized(id);

    time_first_show(get_widget("id_bl_win"), show_library);

    // Filtering the shown G1 page, and clearing the filter again, until repainted.
    GtkEntry* filter = GTK_ENTRY(get_widget("id_bl_filter"));
    t0 = clock_type::now();
    gtk_entry_set_text(filter, "berger");
    on_bullet_filter_changed();  // the signal table is not connected here
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    gdk_display_sync(gdk_display_get_default());
    std::printf("filter %.2f\n", ms_since(t0));
    t0 = clock_type::now();
    gtk_entry_set_text(filter, "");
    on_bullet_filter_changed();
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    gdk_display_sync(gdk_display_get_default());
    std::printf("filter_clear %.2f\n", ms_since(t0));
    return 0;
}
