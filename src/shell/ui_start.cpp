#include "shell/ui_start.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "shell/shell.h"
#include "ui_definition.h"

// Last: the X11 headers define short macro names (None, Status, Bool).
#include <gdk/gdkx.h>
#include <poll.h>

void set_window_icons(std::initializer_list<const char*> ids)
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

}  // namespace

// The selection objects, read from the part of the definition that holds
// them (the builder would otherwise read the whole document before the
// window can show).
void load_selection_window()
{
    ui_builder = gtk_builder_new();
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

namespace {

// A window that is never exposed (mapped minimised, say) must not hold up
// the rest of start-up for long.
constexpr gint64 kFirstPaintWaitMs = 500;

GdkFilterReturn note_expose(GdkXEvent* xevent, GdkEvent*, gpointer exposed)
{
    if (static_cast<XEvent*>(xevent)->type == Expose) *static_cast<bool*>(exposed) = true;
    return GDK_FILTER_CONTINUE;
}

}  // namespace

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
