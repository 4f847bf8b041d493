#include "collections/window/profile_lists.h"

#include <cerrno>
#include <string>
#include <vector>

#include "base/console.h"
#include "collections/profile_folders.h"
#include "settings/device_modes.h"
#include "shell/shell.h"

int device_profile_count = 0;

namespace {

// The one column of the `cls` and `dls` stores: the profile name.
constexpr int kNameColumn = kTextColumn;

// What each store shows now. A refresh that finds the same names leaves the
// store alone: refilling a long list re-lays out every row and would drop the
// user's selection at every step of a transfer.
std::vector<std::string> g_pc_rows;
std::vector<std::string> g_device_rows;
// Refilling a store moves the cursor; that is not a user's selection.
bool g_refilling = false;

void on_selection_changed(GtkTreeSelection* selection, gpointer);

void setup_column(const char* view_id, const char* store_id, const char* title)
{
    GtkTreeView* view = GTK_TREE_VIEW(get_widget(view_id));
    gtk_tree_view_append_column(view, new_text_column(title, kNameColumn, 150));
    set_list_model(view, GTK_TREE_MODEL(get_object(store_id)));
    // One row at a time; a selection made any way (a screen reader's too)
    // loads its profile.
    GtkTreeSelection* selection = gtk_tree_view_get_selection(view);
    gtk_tree_selection_set_mode(selection, GTK_SELECTION_SINGLE);
    g_signal_connect(selection, "changed", G_CALLBACK(on_selection_changed), nullptr);
}

void set_row(GtkListStore* store, GtkTreeIter* iter, const std::string& file_name)
{
    gtk_list_store_set(store, iter, kNameColumn, profile_row_text(file_name).c_str(), -1);
}

void append_row(const char* store_id, const char* file_name)
{
    GtkListStore* store = GTK_LIST_STORE(get_object(store_id));
    GtkTreeIter iter;
    gtk_list_store_append(store, &iter);
    set_row(store, &iter, file_name);
}

// Brings the store from the names it shows to the new scan by removing and
// inserting only the rows that differ (both are in byte order), so a large
// list is not rebuilt and re-laid out when one file came or went.
void update_store(GtkListStore* store, const std::vector<std::string>& shown, const std::vector<std::string>& names)
{
    GtkTreeIter it;
    bool valid = gtk_tree_model_get_iter_first(GTK_TREE_MODEL(store), &it);
    size_t i = 0, j = 0;
    while (i < shown.size() || j < names.size()) {
        bool take_old = i < shown.size() && (j >= names.size() || compare_names(shown[i], names[j]));
        bool take_new = j < names.size() && (i >= shown.size() || compare_names(names[j], shown[i]));
        if (take_old) {
            valid = gtk_list_store_remove(store, &it);
            ++i;
        } else if (take_new) {
            GtkTreeIter added;
            gtk_list_store_insert_before(store, &added, valid ? &it : nullptr);
            set_row(store, &added, names[j]);
            ++j;
        } else {
            valid = gtk_tree_model_iter_next(GTK_TREE_MODEL(store), &it);
            ++i;
            ++j;
        }
    }
}

void fill_store(const char* store_id, const FolderScan& scan, std::vector<std::string>& shown,
                void (*add_row)(const char*))
{
    GtkListStore* store = GTK_LIST_STORE(get_object(store_id));
    int rows = gtk_tree_model_iter_n_children(GTK_TREE_MODEL(store), nullptr);
    bool in_step = rows == static_cast<int>(shown.size());
    if (in_step && scan.names == shown) return;
    g_refilling = true;
    if (in_step) {
        update_store(store, shown, scan.names);
    } else {
        gtk_list_store_clear(store);
        for (const std::string& name : scan.names) add_row(name.c_str());
    }
    g_refilling = false;
    shown = scan.names;
}

// Which row the form shows: the last profile loaded from a list or saved to
// the PC side. The lists highlight that row and no other.
bool g_shown_on_device = false;
bool g_shown_from_list = false;
std::string g_shown_name;

// Moving the selection ourselves is not a user's choice.
bool g_highlighting = false;
// The list the user acted in last, and the pending look at the selections.
bool g_pending_device = false;
guint g_sync_source = 0;
bool g_in_sync = false;

GtkTreeView* list_view(bool device_side) { return GTK_TREE_VIEW(get_widget(device_side ? "id_dls_tv" : "id_cls_tv")); }

bool selected_name(bool device_side, std::string& name)
{
    GtkTreeModel* model = nullptr;
    GtkTreeIter iter;
    if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(list_view(device_side)), &model, &iter))
        return false;
    name = model_text(model, &iter, kNameColumn);
    return true;
}

bool is_shown(bool device_side, const std::string& name)
{
    return g_shown_from_list && g_shown_on_device == device_side && g_shown_name == name;
}

void highlight_shown_row()
{
    g_highlighting = true;
    for (bool device_side : {false, true}) {
        GtkTreeView* view = list_view(device_side);
        GtkTreeModel* model = gtk_tree_view_get_model(view);
        GtkTreeIter iter;
        bool found = false;
        if (model && g_shown_from_list && g_shown_on_device == device_side) {
            for (bool ok = gtk_tree_model_get_iter_first(model, &iter); ok && !found;) {
                found = model_text(model, &iter, kNameColumn) == g_shown_name;
                if (!found) ok = gtk_tree_model_iter_next(model, &iter);
            }
        }
        if (found) {
            GtkTreePath* path = gtk_tree_model_get_path(model, &iter);
            gtk_tree_view_set_cursor(view, path, nullptr, FALSE);
            gtk_tree_path_free(path);
        } else {
            gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(view));
        }
    }
    g_highlighting = false;
}

// A row the user selected: settle the changes of the shown profile, then
// load it. A refused load leaves the form, its name and the highlight as
// they were.
void load_chosen(bool device_side, const std::string& name)
{
    if (!window_hooks.settle_changes()) return;
    std::string path = device_side ? device_profile_path(name.c_str()) : pc_profile_path(name.c_str());
    console_message("Selected profile name ---> %s\n", path.c_str());
    GtkEntry* entry = GTK_ENTRY(get_widget("id_profile_name"));
    std::string before = gtk_entry_get_text(entry);
    gtk_entry_set_text(entry, name.c_str());
    if (!window_hooks.load_profile(path.c_str())) {
        gtk_entry_set_text(entry, before.c_str());
        return;
    }
    note_shown_profile(device_side, name);
    // The name entry keeps the 10 characters the device keeps; a longer file
    // name is shortened there, and the user is told before a save uses it.
    std::string shown = gtk_entry_get_text(entry);
    if (shown != name)
        status_failure("The name %s is longer than the %d characters the device keeps: it is saved as %s", name.c_str(),
                       gtk_entry_get_max_length(entry), shown.c_str());
}

// Runs once the click or key that moved a selection is handled whole (a
// Ctrl-click changes the selection after the cursor).
gboolean sync_selection(gpointer)
{
    g_sync_source = 0;
    if (g_in_sync) return FALSE;  // the outer look ends with the highlight
    g_in_sync = true;
    std::string name;
    for (bool device_side : {g_pending_device, !g_pending_device}) {
        if (selected_name(device_side, name) && !is_shown(device_side, name)) {
            load_chosen(device_side, name);
            break;
        }
    }
    highlight_shown_row();
    g_in_sync = false;
    return FALSE;
}

void selection_moved(bool device_side)
{
    if (g_refilling || g_highlighting) return;
    g_pending_device = device_side;
    if (!g_sync_source) g_sync_source = g_idle_add(sync_selection, nullptr);
}

void on_selection_changed(GtkTreeSelection* selection, gpointer)
{
    selection_moved(gtk_tree_selection_get_tree_view(selection) == list_view(true));
}

}  // namespace

void setup_profile_list_columns()
{
    setup_column("id_cls_tv", "cls", "-- Profiles on PC --");
    setup_column("id_dls_tv", "dls", "-- Profiles on Device --");
}

void add_pc_profile_row(const char* file_name) { append_row("cls", file_name); }
void add_device_profile_row(const char* file_name) { append_row("dls", file_name); }

int scan_pc_profiles()
{
    FolderScan scan = scan_pc_folder();
    fill_store("cls", scan, g_pc_rows, add_pc_profile_row);
    if (scan.incomplete) status_note("Not every PC profile could be listed...\n");
    return 1;
}

int scan_device_profiles()
{
    FolderScan scan = scan_device_folder();
    fill_store("dls", scan, g_device_rows, add_device_profile_row);
    device_profile_count = static_cast<int>(scan.names.size());
    if (scan.incomplete) status_note("Not every device profile could be listed...\n");
    if (!scan.opened && kolvan_folder_mode && device_folder_is_set()) status_note("%s", velmora_folder_gone().c_str());
    return 1;
}

void refresh_profile_lists()
{
    scan_pc_profiles();
    scan_device_profiles();
    for (int i = 0; i < 5; ++i) gtk_main_iteration_do(FALSE);
}

void on_pc_list_cursor_changed(GtkTreeView*) { selection_moved(false); }
void on_device_list_cursor_changed(GtkTreeView*) { selection_moved(true); }

void note_shown_profile(bool device_side, const std::string& name)
{
    g_shown_from_list = true;
    g_shown_on_device = device_side;
    g_shown_name = name;
    highlight_shown_row();
}

std::string velmora_folder_gone()
{
    int error = device_folder_error();
    std::string text = "The Velmora folder ";
    text += kolvan_folder;
    if (error == ENOENT) return text + " is not there: is the unit plugged in?";
    return text + " cannot be read: " + system_reason(error);
}

void note_profile_left_lists()
{
    g_shown_from_list = false;
    g_shown_name.clear();
    highlight_shown_row();
}

void clear_device_folder()
{
    if (kolvan_folder_mode) return;
    delete_device_mirror_files();
    scan_device_profiles();
}
