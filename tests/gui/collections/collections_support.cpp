#include "collections_support.h"

#include <cstring>
#include <deque>
#include <fstream>

#include "collections/window/profile_lists.h"
#include "editor/window/editor.h"
#include "gui_support.h"
#include "settings/device_modes.h"
#include "shell/shell.h"

namespace {

std::deque<DialogAnswer> g_answers;
std::vector<SeenDialog> g_seen;
GtkWidget* g_last_answered = nullptr;
guint g_timer = 0;

GtkWidget* shown_modal_dialog()
{
    GList* tops = gtk_window_list_toplevels();
    GtkWidget* found = nullptr;
    for (GList* t = tops; t && !found; t = t->next) {
        GtkWidget* w = GTK_WIDGET(t->data);
        if (GTK_IS_DIALOG(w) && !GTK_IS_ABOUT_DIALOG(w) && gtk_widget_get_visible(w) &&
            gtk_window_get_modal(GTK_WINDOW(w)) && w != g_last_answered)
            found = w;
    }
    g_list_free(tops);
    return found;
}

gboolean answer_one(gpointer)
{
    if (g_answers.empty()) {
        g_timer = 0;
        return FALSE;
    }
    GtkWidget* d = shown_modal_dialog();
    if (!d) return TRUE;
    DialogAnswer a = g_answers.front();
    g_answers.pop_front();
    SeenDialog seen;
    const char* title = gtk_window_get_title(GTK_WINDOW(d));
    seen.title = title ? title : "";
    if (GTK_IS_MESSAGE_DIALOG(d)) {
        gchar* text = nullptr;
        g_object_get(d, "text", &text, NULL);
        seen.text = text ? text : "";
        g_free(text);
    }
    if (GtkWidget* e = find_descendant(gtk_dialog_get_content_area(GTK_DIALOG(d)), GTK_TYPE_ENTRY)) {
        if (a.type_text && gtk_widget_is_sensitive(e)) gtk_entry_set_text(GTK_ENTRY(e), a.type_text);
        seen.entry = gtk_entry_get_text(GTK_ENTRY(e));
        seen.entry_sensitive = gtk_widget_is_sensitive(e);
    }
    g_seen.push_back(seen);
    if (g_last_answered) g_object_remove_weak_pointer(G_OBJECT(g_last_answered), (gpointer*)&g_last_answered);
    g_last_answered = d;
    g_object_add_weak_pointer(G_OBJECT(d), (gpointer*)&g_last_answered);
    GtkWidget* entry = find_descendant(gtk_dialog_get_content_area(GTK_DIALOG(d)), GTK_TYPE_ENTRY);
    if (a.response == kAnswerWithEnter && entry) gtk_widget_activate(entry);
    else gtk_dialog_response(GTK_DIALOG(d), a.response);
    return TRUE;
}

}  // namespace

void answer_dialogs(std::vector<DialogAnswer> answers)
{
    for (const DialogAnswer& a : answers) g_answers.push_back(a);
    if (!g_timer) g_timer = g_timeout_add(20, answer_one, nullptr);
}

const std::vector<SeenDialog>& seen_dialogs() { return g_seen; }

GtkWidget* shown_overwrite_question()
{
    GList* tops = gtk_window_list_toplevels();
    GtkWidget* found = nullptr;
    for (GList* t = tops; t && !found; t = t->next)
        if (GTK_IS_MESSAGE_DIALOG(t->data) && gtk_widget_get_visible(GTK_WIDGET(t->data)) &&
            !gtk_window_get_modal(GTK_WINDOW(t->data)))
            found = GTK_WIDGET(t->data);
    g_list_free(tops);
    return found;
}

std::string message_markup_text(GtkWidget* dialog)
{
    gchar* text = nullptr;
    g_object_get(dialog, "text", &text, NULL);
    std::string s = text ? text : "";
    g_free(text);
    return s;
}

std::vector<std::string> list_rows(const char* store_id)
{
    GtkTreeModel* model = GTK_TREE_MODEL(get_object(store_id));
    std::vector<std::string> rows;
    GtkTreeIter iter;
    for (bool ok = gtk_tree_model_get_iter_first(model, &iter); ok; ok = gtk_tree_model_iter_next(model, &iter)) {
        gchar* text = nullptr;
        gtk_tree_model_get(model, &iter, 0, &text, -1);
        rows.push_back(text ? text : "");
        g_free(text);
    }
    return rows;
}

void select_row(const char* view_id, int row)
{
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(get_widget(view_id)), path, nullptr, FALSE);
    gtk_tree_path_free(path);
    pump_events();
}

fs::path profiles_dir() { return fs::path(test_root()) / "Profiles"; }
fs::path device_dir() { return fs::path(test_root()) / "Device"; }

void write_profile(const fs::path& path, float bw, const char* name)
{
    GunProfile p{};
    apply_new_profile_values(p);
    p.bw = bw;
    set_profile_name(p, name);
    ASSERT_TRUE(write_profile_bytes(path.string(), p));
}

std::string file_bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Collections::SetUp()
{
    for (const fs::path& dir : {profiles_dir(), device_dir()}) {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    set_device_kind(false, false);
    set_kolvan_folder("");
    g_seen.clear();
    new_profile(nullptr);
    refresh_profile_lists();
    pump_events();
}

void Collections::TearDown()
{
    while (GtkWidget* q = shown_overwrite_question()) gtk_dialog_response(GTK_DIALOG(q), GTK_RESPONSE_NO);
    EXPECT_TRUE(g_answers.empty()) << "dialogs expected but not shown";
    g_answers.clear();
    set_device_kind(false, false);
    set_kolvan_folder("");
    pump_events();
}
