#include "shell/shell.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

GtkBuilder* ui_builder = nullptr;

namespace {

// 1 while the progress window is open through progress_show.
int progress_visible = 0;

struct timer_call {
    bool (*fire)();
};

gboolean run_timer(gpointer data) { return static_cast<timer_call*>(data)->fire() ? TRUE : FALSE; }

window_hook_set no_window_hooks()
{
    window_hook_set h;
    h.read_form = [] {};
    h.load_profile = [](const char*) { return false; };
    h.write_profile = [](const char*, std::string*) { return false; };
    h.settle_changes = [] { return true; };
    h.update_unit_labels = [] {};
    h.show_chosen_bullet = [](bool) {};
    h.profile_folders_changed = [] {};
    h.device_folder_changed = [] {};
    h.save_profile = [] { return false; };
    h.profile_left_lists = [] {};
    h.connect_bridge = [] {};
    h.form_changed = [] {};
    h.form_profile = [](GunProfile&) {};
    h.apply_trued = [](const GunProfile&) {};
    return h;
}

}  // namespace

window_hook_set window_hooks = no_window_hooks();

GtkWidget* get_widget(const char* id)
{
    GObject* obj = ui_builder ? gtk_builder_get_object(ui_builder, id) : nullptr;
    return obj && GTK_IS_WIDGET(obj) ? GTK_WIDGET(obj) : nullptr;
}

GObject* get_object(const char* id) { return ui_builder ? gtk_builder_get_object(ui_builder, id) : nullptr; }

namespace {

// A failure is in the bar and notes leave it there.
bool failure_standing = false;

__attribute__((format(printf, 1, 0))) void show_status(const char* fmt, va_list ap)
{
    static char buffer[256];
    const int whole = std::vsnprintf(buffer, sizeof buffer, fmt, ap);
    size_t n = std::strlen(buffer);
    // A message cut at the buffer's end ends before a character cut in two:
    // the bar shows only whole UTF-8 text.
    if (whole >= static_cast<int>(sizeof buffer) && n > 0) {
        size_t start = n - 1;
        while (start > 0 && (static_cast<unsigned char>(buffer[start]) & 0xC0) == 0x80) --start;
        const unsigned char lead = static_cast<unsigned char>(buffer[start]);
        const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (start + length > n) buffer[n = start] = '\0';
    }
    // Many messages end in a line end; the one-line bar would draw it as a
    // symbol, so it is left out of what is shown.
    while (n > 0 && (buffer[n - 1] == '\n' || buffer[n - 1] == '\r')) buffer[--n] = '\0';
    GtkWidget* sb = get_widget("id_sb");
    if (!sb) return;
    gtk_statusbar_pop(GTK_STATUSBAR(sb), 0);
    gtk_statusbar_push(GTK_STATUSBAR(sb), 0, buffer);
}

}  // namespace

void status_message(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    show_status(fmt, ap);
    va_end(ap);
    failure_standing = false;
}

void status_failure(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    show_status(fmt, ap);
    va_end(ap);
    failure_standing = true;
}

void status_note(const char* fmt, ...)
{
    if (failure_standing) return;
    va_list ap;
    va_start(ap, fmt);
    show_status(fmt, ap);
    va_end(ap);
}

std::string system_reason(int error)
{
    std::string text = error ? std::strerror(error) : "unknown error";
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z' && (text.size() < 2 || !(text[1] >= 'A' && text[1] <= 'Z')))
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
}

std::string file_name_of(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

change_answer ask_save_changes(const char* name)
{
    GtkWidget* d = gtk_message_dialog_new(GTK_WINDOW(get_widget("id_mw")),
                                          GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                          GTK_MESSAGE_WARNING, GTK_BUTTONS_NONE, "Save changes to %s?", name);
    gtk_window_set_title(GTK_WINDOW(d), "Unsaved Changes");
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(d),
                                             "The profile was changed. Changes that are not saved are lost.");
    gtk_dialog_add_buttons(GTK_DIALOG(d), "_Discard", GTK_RESPONSE_NO, GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL,
                           GTK_STOCK_SAVE, GTK_RESPONSE_YES, NULL);
    gtk_dialog_set_default_response(GTK_DIALOG(d), GTK_RESPONSE_YES);
    gint response = gtk_dialog_run(GTK_DIALOG(d));
    gtk_widget_destroy(d);
    if (response == GTK_RESPONSE_YES) return change_answer::save;
    if (response == GTK_RESPONSE_NO) return change_answer::discard;
    return change_answer::cancel;
}

gboolean progress_show(const char* label)
{
    gtk_label_set_text(GTK_LABEL(get_widget("id_progress_lbl")), label);
    gtk_widget_show(get_widget("id_progress_win"));
    progress_visible = 1;
    return TRUE;
}

gboolean progress_set_fraction(double fraction)
{
    if (progress_visible != 1) return TRUE;
    GtkProgressBar* bar = GTK_PROGRESS_BAR(get_widget("id_progress_bar"));
    if (fraction < 0.0) fraction = 0.0;  // the toolkit rejects values outside 0..1
    if (fraction > 1.0) fraction = 1.0;
    gtk_progress_bar_set_fraction(bar, fraction);
    char text[32];
    std::snprintf(text, sizeof text, "%3.0f%c", fraction * 100.0, '%');
    gtk_progress_bar_set_text(bar, text);
    return TRUE;
}

gboolean progress_hide()
{
    gtk_widget_hide(get_widget("id_progress_win"));
    progress_visible = 0;
    return TRUE;
}

bool progress_is_visible() { return progress_visible == 1; }

void mark_profile_state(int state)
{
    GtkLabel* label = GTK_LABEL(get_widget("label5"));
    if (!label) return;
    if (state == profile_unsaved)
        gtk_label_set_markup(label, "<span weight=\"bold\" foreground=\"Red\" size=\"large\">Profile Name:</span>");
    else gtk_label_set_markup(label, "<span weight=\"bold\" foreground=\"Black\" size=\"large\">Profile Name:</span>");
}

void show_about(GtkWidget*) { gtk_widget_show(get_widget("id_awin")); }

gboolean hide_on_close(GtkWidget* widget)
{
    gtk_widget_hide(widget);
    return TRUE;
}

namespace {
gboolean destroy_held_dialog(gpointer dialog)
{
    gtk_widget_destroy(GTK_WIDGET(dialog));
    g_object_unref(dialog);
    return FALSE;
}
}  // namespace

void close_dialog_later(GtkWidget* dialog)
{
    gtk_widget_hide(dialog);
    // The reference keeps the dialog valid even if its parent takes it along first.
    g_idle_add(destroy_held_dialog, g_object_ref(dialog));
}

GtkWidget* find_descendant(GtkWidget* widget, GType type)
{
    if (!widget) return nullptr;
    if (G_TYPE_CHECK_INSTANCE_TYPE(widget, type)) return widget;
    if (!GTK_IS_CONTAINER(widget)) return nullptr;
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    GtkWidget* found = nullptr;
    for (GList* c = children; c && !found; c = c->next) found = find_descendant(GTK_WIDGET(c->data), type);
    g_list_free(children);
    return found;
}

void set_button_label(GtkWidget* button, const char* text)
{
    if (!button) return;
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(button));
    GtkWidget* label = find_descendant(child, GTK_TYPE_LABEL);
    if (label) gtk_label_set_text(GTK_LABEL(label), text);
    else gtk_button_set_label(GTK_BUTTON(button), text);
}

void set_image_file(GtkWidget* image, const char* file)
{
    GError* error = nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(file, &error);
    if (error) {
        g_error_free(error);
        return;
    }
    if (image) gtk_image_set_from_pixbuf(GTK_IMAGE(image), pixbuf);
    g_object_unref(pixbuf);
}

std::string model_text(GtkTreeModel* model, GtkTreeIter* iter, int column)
{
    gchar* text = nullptr;
    gtk_tree_model_get(model, iter, column, &text, -1);
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

std::string combo_active_text(GtkWidget* combo, int column)
{
    GtkTreeIter iter;
    if (!combo || !gtk_combo_box_get_active_iter(GTK_COMBO_BOX(combo), &iter)) return "";
    return model_text(gtk_combo_box_get_model(GTK_COMBO_BOX(combo)), &iter, column);
}

GtkTreeViewColumn* new_text_column(const char* title, int store_column, int min_width, GtkCellRenderer** cell)
{
    GtkTreeViewColumn* column = gtk_tree_view_column_new();
    gtk_tree_view_column_set_title(column, title);
    GtkCellRenderer* renderer = gtk_cell_renderer_text_new();
    gtk_tree_view_column_pack_start(column, renderer, TRUE);
    gtk_tree_view_column_add_attribute(column, renderer, "text", store_column);
    gtk_tree_view_column_set_spacing(column, 5);
    // Minimum width first: on an autosized column not yet in a view the
    // toolkit would try to size it and complain.
    gtk_tree_view_column_set_min_width(column, min_width);
    gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_AUTOSIZE);
    gtk_tree_view_column_set_alignment(column, 0.0f);
    gtk_tree_view_column_set_resizable(column, FALSE);
    if (cell) *cell = renderer;
    return column;
}

void set_list_model(GtkTreeView* view, GtkTreeModel* model)
{
    gtk_tree_view_set_rules_hint(view, TRUE);
    gtk_tree_view_set_model(view, model);
    gtk_tree_view_columns_autosize(view);
}

void wait_handling_events(unsigned ms)
{
    const gint64 end = g_get_monotonic_time() + static_cast<gint64>(ms) * 1000;
    for (gint64 now = g_get_monotonic_time(); now < end; now = g_get_monotonic_time()) {
        if (gtk_events_pending()) gtk_main_iteration_do(FALSE);
        else g_usleep(static_cast<gulong>(std::min<gint64>(end - now, 2000)));
    }
}

unsigned start_timer(unsigned ms, bool (*fire)())
{
    auto* call = new timer_call{fire};
    return g_timeout_add_full(G_PRIORITY_DEFAULT, ms, run_timer, call,
                              [](gpointer data) { delete static_cast<timer_call*>(data); });
}

void stop_timer(unsigned id)
{
    if (id) g_source_remove(id);
}
