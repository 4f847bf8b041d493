#include "app/startup.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "app/hooks.h"
#include "shell/shell.h"
#include "app/working_folder.h"
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

// Last: the X11 headers define short macro names (None, Status, Bool).
#include <gdk/gdkx.h>
#include <poll.h>

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

static void set_window_icons(std::initializer_list<const char*> ids)
{
    GError* error = nullptr;
    GdkPixbuf* icon = gdk_pixbuf_new_from_file("cvm_icon_16x16.png", &error);
    if (error) {
        g_error_free(error);
        return;
    }
    for (const char* id : ids) {
        GtkWidget* w = get_widget(id);
        if (w) gtk_window_set_icon(GTK_WINDOW(w), icon);
    }
    g_object_unref(icon);
}

namespace {

// The selection window and the pictures its buttons show, which the UI
// definition keeps as objects of their own.
const char* const kSelectionObjects[] = {"device-velmora", "device-m900", "device-m600", "device-cv-relay", "id_sw"};

bool is_selection_object(const std::string& id)
{
    return std::find(std::begin(kSelectionObjects), std::end(kSelectionObjects), id) != std::end(kSelectionObjects);
}

// The top-level objects of the UI definition, in document order.
struct ui_outline {
    std::vector<std::string> ids;
    int depth = 0;
    // Bytes of the definition up to the end of the last selection object
    // (at a line end), when reading stopped there; else 0.
    size_t selection_end = 0;
};

// Reads the outline line by line; with `stop_after_selection`, no further
// than the line that closes the last selection object.
ui_outline read_ui_outline(bool stop_after_selection)
{
    ui_outline outline;
    GMarkupParser parser{};
    parser.start_element = [](GMarkupParseContext*, const gchar* element, const gchar** names, const gchar** values,
                              gpointer data, GError**) {
        auto* o = static_cast<ui_outline*>(data);
        if (o->depth++ != 1 || std::strcmp(element, "object") != 0) return;
        for (int i = 0; names[i]; ++i)
            if (std::strcmp(names[i], "id") == 0) o->ids.emplace_back(values[i]);
    };
    parser.end_element = [](GMarkupParseContext*, const gchar*, gpointer data, GError**) {
        --static_cast<ui_outline*>(data)->depth;
    };
    GMarkupParseContext* context = g_markup_parse_context_new(&parser, GMarkupParseFlags(0), &outline, nullptr);
    const char* text = kUiDefinition;
    const size_t size = sizeof kUiDefinition - 1;
    for (size_t at = 0; at < size;) {
        const void* line_end = std::memchr(text + at, '\n', size - at);
        size_t next = line_end ? static_cast<const char*>(line_end) - text + 1 : size;
        // A definition that does not parse is reported when the builder reads it.
        if (!g_markup_parse_context_parse(context, text + at, static_cast<gssize>(next - at), nullptr)) break;
        at = next;
        // Back at the top level, and the line ends a tag: everything up to
        // here is whole.
        if (stop_after_selection && outline.depth == 1 && text[at - 2] == '>' &&
            std::count_if(outline.ids.begin(), outline.ids.end(), is_selection_object) ==
                static_cast<std::ptrdiff_t>(std::size(kSelectionObjects))) {
            outline.selection_end = at;
            break;
        }
    }
    g_markup_parse_context_free(context);
    return outline;
}

// Builds the objects `ids` (with everything inside them) from `definition`.
void load_ui_objects(std::string_view definition, std::vector<const char*> ids)
{
    ids.push_back(nullptr);
    GError* error = nullptr;
    if (!gtk_builder_add_objects_from_string(ui_builder, definition.data(), definition.size(),
                                             const_cast<gchar**>(ids.data()), &error)) {
        std::fprintf(stderr, "stowline: the user interface definition did not load: %s\n", error->message);
        g_error_free(error);
    }
}

// The selection objects, read from the part of the definition that holds
// them (the builder would otherwise read the whole document before the
// window can show).
void load_selection_window()
{
    ui_outline outline = read_ui_outline(true);
    std::string part = outline.selection_end ? std::string(kUiDefinition, outline.selection_end) + "</interface>\n"
                                             : std::string(kUiDefinition, sizeof kUiDefinition - 1);
    load_ui_objects(part, {std::begin(kSelectionObjects), std::end(kSelectionObjects)});
}

// Every other top-level object.
void load_rest_of_ui()
{
    ui_outline outline = read_ui_outline(false);
    std::vector<const char*> rest;
    for (const std::string& id : outline.ids)
        if (!is_selection_object(id)) rest.push_back(id.c_str());
    load_ui_objects({kUiDefinition, sizeof kUiDefinition - 1}, rest);
}

// A window that is never exposed (mapped minimised, say) must not hold up
// the rest of start-up for long.
constexpr gint64 kFirstPaintWaitMs = 500;

GdkFilterReturn note_expose(GdkXEvent* xevent, GdkEvent*, gpointer exposed)
{
    if (static_cast<XEvent*>(xevent)->type == Expose) *static_cast<bool*>(exposed) = true;
    return GDK_FILTER_CONTINUE;
}

}  // namespace

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

void show_window_first(GtkWidget* widget)
{
    if (!widget) return;
    gtk_widget_show(widget);
    GdkWindow* window = gtk_widget_get_window(widget);
    // Drawing reaches the screen only once the display has made the window
    // viewable (a window manager maps it in its own time); it says so with
    // the window's first Expose.
    bool exposed = false;
    gdk_window_add_filter(window, note_expose, &exposed);
    std::vector<GdkEvent*> waiting;
    const gint64 give_up = g_get_monotonic_time() + kFirstPaintWaitMs * 1000;
    for (;;) {
        while (GdkEvent* event = gdk_event_get()) waiting.push_back(event);
        gint64 left_ms = (give_up - g_get_monotonic_time()) / 1000;
        if (exposed || left_ms <= 0) break;
        pollfd display{ConnectionNumber(GDK_WINDOW_XDISPLAY(window)), POLLIN, 0};
        poll(&display, 1, static_cast<int>(left_ms) + 1);
    }
    gdk_window_remove_filter(window, note_expose, &exposed);
    gtk_widget_queue_draw(widget);
    gdk_window_process_updates(window, TRUE);
    gdk_flush();
    for (GdkEvent* event : waiting) {
        gdk_event_put(event);
        gdk_event_free(event);
    }
}

namespace {

// The working folder's lock, held until the program ends.
int folder_lock_fd = -1;

void tell_already_running()
{
    std::error_code ec;
    const std::string folder = std::filesystem::current_path(ec).string();
    std::fprintf(stderr, "stowline: Stowline is already running with the working folder %s\n", folder.c_str());
    GtkWidget* d = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_INFO, GTK_BUTTONS_OK,
                                          "Stowline is already running with this working folder.");
    gtk_window_set_title(GTK_WINDOW(d), "Stowline");
    gtk_message_dialog_format_secondary_text(
        GTK_MESSAGE_DIALOG(d), "%s\n\nUse the Stowline window that is open, or quit it before starting Stowline again.",
        folder.c_str());
    gtk_window_set_position(GTK_WINDOW(d), GTK_WIN_POS_CENTER);
    gtk_dialog_run(GTK_DIALOG(d));
    gtk_widget_destroy(d);
}

}  // namespace

bool take_working_folder()
{
    if (folder_lock_fd >= 0) return true;
    int error = 0;
    switch (lock_working_folder(kWorkingFolderLock, &folder_lock_fd, &error)) {
    case folder_lock::taken: return true;
    case folder_lock::held_by_another: tell_already_running(); return false;
    case folder_lock::unavailable: break;
    }
    // A folder that cannot hold the lock (read-only) still serves one program.
    std::fprintf(stderr, "stowline: cannot lock the working folder (%s); carrying on\n", std::strerror(error));
    return true;
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
    // A second program on this folder would empty the device side of the
    // first (below) and open its port: it says so and ends instead.
    if (!take_working_folder()) return false;
    console_message("String with numbers: %.2f\r\n", 2.34567);
    fill_hooks();

    // The selection window is on the screen before the rest is built. No
    // handler is connected until everything is in its start state, and what
    // the user does before then waits until it is.
    ui_builder = gtk_builder_new();
    load_selection_window();
    set_window_icons({"id_sw"});
    show_window_first(get_widget("id_sw"));
    load_rest_of_ui();
    gtk_about_dialog_set_version(GTK_ABOUT_DIALOG(get_widget("id_awin")), STOWLINE_VERSION);

    std::memset(&cvIn, 0, sizeof cvIn);

    setup_bullet_list_columns();
    fill_bullet_list(kBulletListG1);
    fill_bullet_list(kBulletListG7);
    fill_bullet_list(kBulletListCustom);

    set_window_icons({"id_mw", "id_awin", "id_bl_win"});

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
    return true;
}

bool quit_application()
{
    static bool settled = false;
    if (!settled && !settle_unsaved_changes()) return false;
    settled = true;
    save_settings();
    stop_receive_poll();
    if (gtk_main_level() > 0) gtk_main_quit();
    return true;
}

int run_application(int argc, char** argv)
{
    if (!start_application(&argc, &argv)) return 1;
    gtk_main();
    return 0;
}
