#include "collections/window/profile_lists.h"

#include <string>
#include <vector>

#include "app/shell/shell.h"
#include "base/console.h"
#include "collections/profile_folders.h"
#include "settings/device_modes.h"

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

void setup_column(const char* view_id, const char* store_id, const char* title)
{
    GtkTreeView* view = GTK_TREE_VIEW(get_widget(view_id));
    gtk_tree_view_append_column(view, new_text_column(title, kNameColumn, 150));
    set_list_model(view, GTK_TREE_MODEL(get_object(store_id)));
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

std::string selected_name(GtkTreeView* view)
{
    GtkTreeModel* model = nullptr;
    GtkTreeIter iter;
    if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(view), &model, &iter)) return {};
    return model_text(model, &iter, kNameColumn);
}

void load_selected(GtkTreeView* view, bool device_side)
{
    if (g_refilling) return;
    if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(view), nullptr, nullptr)) return;
    std::string name = selected_name(view);
    std::string path = device_side ? device_profile_path(name.c_str()) : pc_profile_path(name.c_str());
    console_message("Selected profile name ---> %s\n", path.c_str());
    gtk_entry_set_text(GTK_ENTRY(get_widget("id_profile_name")), name.c_str());
    window_hooks.load_profile(path.c_str());
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
    if (scan.incomplete) status_message("Not every PC profile could be listed...\n");
    return 1;
}

int scan_device_profiles()
{
    FolderScan scan = scan_device_folder();
    fill_store("dls", scan, g_device_rows, add_device_profile_row);
    device_profile_count = static_cast<int>(scan.names.size());
    if (scan.incomplete) status_message("Not every device profile could be listed...\n");
    return 1;
}

void refresh_profile_lists()
{
    scan_pc_profiles();
    scan_device_profiles();
    for (int i = 0; i < 5; ++i) gtk_main_iteration_do(FALSE);
}

void on_pc_list_cursor_changed(GtkTreeView* view) { load_selected(view, false); }
void on_device_list_cursor_changed(GtkTreeView* view) { load_selected(view, true); }

void clear_device_folder()
{
    if (kolvan_folder_mode) return;
    delete_device_mirror_files();
    scan_device_profiles();
}
