#include "library/window/bullet_window.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "library/bullet_table.h"
#include "profile/gun_profile.h"
#include "shell/shell.h"

namespace {

struct bullet_page {
    const char* view;
    const char* store;
    const char* empty_label;
    int kind;
    const char* nothing_text;  // the page when the library has none of its kind
};

// Notebook page order.
const bullet_page kPages[] = {
    {"id_bl_tv", "id_bl_ls", "id_bl_g1_empty_lbl", kBulletListG1, "No bullets with a G1 coefficient in the library."},
    {"id_bl_g7_tv", "id_bl_g7", "id_bl_g7_empty_lbl", kBulletListG7,
     "No bullets with a G7 coefficient in the library."},
    {"id_bl_cc_tv", "id_bl_cc", "id_bl_cc_empty_lbl", kBulletListCustom,
     "No bullets with a custom drag curve in the library."},
};
constexpr int kPageCount = 3;
const char* const kNoMatchText = "No bullets on this page match the filter.";

// The columns of the three bullet stores; the custom-curve store has no BC.
enum bullet_column { col_manufacturer, col_name, col_caliber, col_weight, col_length, col_bc };

struct list_column {
    const char* title;
    int store_column;
    int min_width;
};
const list_column kColumns[] = {
    {"Caliber", col_caliber, 45}, {"Manufacturer", col_manufacturer, 45},
    {"Name", col_name, 90},       {"Weight", col_weight, 45},
    {"Length", col_length, 45},   {"BC", col_bc, 45},
};

// Each page's columns in kColumns order (the custom page has no BC), and the
// title widget inside each header, whose request the column must meet.
struct sized_column {
    GtkTreeViewColumn* column = nullptr;
    GtkCellRenderer* cell = nullptr;
    GtkWidget* title = nullptr;
};
sized_column g_columns[kPageCount][std::size(kColumns)];

const bullet_record* g_records = bullet_table;
int g_record_count = kBulletCount;

// Per page: the table index of each store row as the store stands, and the
// filter text it was built with.
std::vector<int> g_rows[kPageCount];
std::string g_applied_filter[kPageCount];
// The custom-curve list's records with their points split in two; entry i
// belongs to row i of the unfiltered list.
custom_curve_entry custom_curve_cache[kBulletCount];
int custom_curve_count = 0;
// Table index of each custom_curve_cache entry, ascending.
std::vector<int> g_curve_records;

int page_of_kind(int kind)
{
    for (int p = 0; p < kPageCount; ++p)
        if (kPages[p].kind == kind) return p;
    return -1;
}

GtkListStore* page_store(int page) { return GTK_LIST_STORE(get_object(kPages[page].store)); }
GtkTreeView* page_view(int page) { return GTK_TREE_VIEW(get_widget(kPages[page].view)); }

std::string filter_text()
{
    GtkWidget* entry = get_widget("id_bl_filter");
    return entry ? gtk_entry_get_text(GTK_ENTRY(entry)) : "";
}

int selected_record(int page)
{
    int row = selected_row_index(page_view(page));
    return row < 0 || row >= static_cast<int>(g_rows[page].size()) ? -1 : g_rows[page][row];
}

void show_empty_note(int page)
{
    GtkWidget* label = get_widget(kPages[page].empty_label);
    if (!label) return;
    if (!g_rows[page].empty()) {
        gtk_widget_hide(label);
        return;
    }
    // An empty page says why: nothing of its kind at all, or nothing matching.
    bool any = false;
    for (int i = 0; i < g_record_count && !any; ++i) any = bullet_has_kind(g_records[i], kPages[page].kind);
    gtk_label_set_text(GTK_LABEL(label), any ? kNoMatchText : kPages[page].nothing_text);
    gtk_widget_show(label);
}

// Rebuilds one page's store from the table for `filter`, keeping the selected
// bullet selected when it still matches.
void fill_page(int page, const std::string& filter)
{
    const bullet_page& pg = kPages[page];
    GtkListStore* store = page_store(page);
    GtkTreeView* view = page_view(page);
    int keep = selected_record(page);

    std::vector<int>& rows = g_rows[page];
    rows.assign(static_cast<size_t>(g_record_count), 0);
    int n = bullet_list_rows(g_records, g_record_count, pg.kind, filter.c_str(), rows.data(), g_record_count);
    rows.resize(static_cast<size_t>(n));
    g_applied_filter[page] = filter;

    // Detached while it changes, so the view does not follow every row.
    g_object_ref(store);
    gtk_tree_view_set_model(view, nullptr);
    gtk_list_store_clear(store);
    for (int t : rows) {
        bullet_row_texts r = bullet_row(g_records[t], pg.kind);
        GtkTreeIter iter;
        if (pg.kind == kBulletListCustom)
            gtk_list_store_insert_with_values(store, &iter, -1, col_manufacturer, r.manufacturer, col_name,
                                              r.bullet_name, col_caliber, r.caliber, col_weight, r.weight, col_length,
                                              r.length, -1);
        else
            gtk_list_store_insert_with_values(store, &iter, -1, col_manufacturer, r.manufacturer, col_name,
                                              r.bullet_name, col_caliber, r.caliber, col_weight, r.weight, col_length,
                                              r.length, col_bc, r.bc, -1);
    }
    gtk_tree_view_set_model(view, GTK_TREE_MODEL(store));
    g_object_unref(store);
    gtk_widget_trigger_tooltip_query(GTK_WIDGET(view));  // a shown name may be gone

    auto at = std::find(rows.begin(), rows.end(), keep);
    if (keep >= 0 && at != rows.end()) {
        GtkTreePath* path = gtk_tree_path_new_from_indices(static_cast<int>(at - rows.begin()), -1);
        gtk_tree_selection_select_path(gtk_tree_view_get_selection(view), path);
        gtk_tree_view_scroll_to_cell(view, path, nullptr, FALSE, 0, 0);
        gtk_tree_path_free(path);
    }
    show_empty_note(page);
}

const char* column_text(const bullet_row_texts& t, int store_column)
{
    switch (store_column) {
    case col_manufacturer: return t.manufacturer;
    case col_name: return t.bullet_name;
    case col_caliber: return t.caliber;
    case col_weight: return t.weight;
    case col_length: return t.length;
    default: return t.bc;
    }
}

// The width a column needs to show `text` whole: the text in the view's
// font, the renderer's padding, and what the view puts around every cell.
int cell_width(GtkTreeView* view, GtkCellRenderer* cell, const char* text)
{
    int xpad = 0, focus_line = 0, separator = 0;
    g_object_get(cell, "xpad", &xpad, nullptr);
    gtk_widget_style_get(GTK_WIDGET(view), "focus-line-width", &focus_line, "horizontal-separator", &separator,
                         nullptr);
    PangoLayout* layout = gtk_widget_create_pango_layout(GTK_WIDGET(view), text);
    int width = 0;
    pango_layout_get_pixel_size(layout, &width, nullptr);
    g_object_unref(layout);
    return width + 2 * xpad + 2 * focus_line + separator;
}

// Fixed widths from the longest texts of the whole list, so that the view
// never measures its rows (thousands of them) and filtering never moves a
// column. Name is the exception: it gives way and takes the spare width.
void size_columns(int page)
{
    bullet_row_texts longest = bullet_longest_texts(g_records, g_record_count, kPages[page].kind);
    for (size_t c = 0; c < std::size(kColumns); ++c) {
        const sized_column& sc = g_columns[page][c];
        if (!sc.column) continue;
        int width = kColumns[c].min_width;
        GtkWidget* header = gtk_widget_get_ancestor(sc.title, GTK_TYPE_BUTTON);
        if (header) {
            GtkRequisition request;
            gtk_widget_size_request(header, &request);
            width = std::max(width, request.width);
        }
        if (kColumns[c].store_column != col_name)
            width =
                std::max(width, cell_width(page_view(page), sc.cell, column_text(longest, kColumns[c].store_column)));
        gtk_tree_view_column_set_fixed_width(sc.column, width);
    }
}

// Copies a store cell into a fixed text field, "" when empty.
void cell_text(GtkTreeModel* model, GtkTreeIter* iter, int column, char* buf, size_t n)
{
    std::snprintf(buf, n, "%s", model_text(model, iter, column).c_str());
}

const custom_curve_entry* curve_of_record(int record)
{
    auto at = std::lower_bound(g_curve_records.begin(), g_curve_records.end(), record);
    if (at == g_curve_records.end() || *at != record) return nullptr;
    int entry = static_cast<int>(at - g_curve_records.begin());
    return entry < custom_curve_count ? &custom_curve_cache[entry] : nullptr;
}

void apply_selected_bullet()
{
    int page = gtk_notebook_get_current_page(GTK_NOTEBOOK(get_widget("id_bl_nb")));
    if (page < 0 || page >= kPageCount) return;
    const bullet_page& pg = kPages[page];
    GtkTreeView* view = page_view(page);
    int row = selected_row_index(view);
    int record = bullet_table_index(pg.kind, row);
    if (record < 0) return;

    // The values reach the profile as the row shows them.
    GtkTreeModel* model = gtk_tree_view_get_model(view);
    GtkTreeIter iter;
    if (!gtk_tree_model_iter_nth_child(model, &iter, nullptr, row)) return;
    bullet_row_texts texts{};
    cell_text(model, &iter, col_caliber, texts.caliber, sizeof texts.caliber);
    cell_text(model, &iter, col_weight, texts.weight, sizeof texts.weight);
    cell_text(model, &iter, col_length, texts.length, sizeof texts.length);
    if (pg.kind != kBulletListCustom) cell_text(model, &iter, col_bc, texts.bc, sizeof texts.bc);

    // What the user typed and did not confirm yet stays, under the bullet.
    window_hooks.read_form();
    bullet_choice choice{};
    const custom_curve_entry* curve = pg.kind == kBulletListCustom ? curve_of_record(record) : nullptr;
    if (!bullet_choice_from_row(texts, pg.kind, &choice) || !apply_bullet_choice(cvIn, choice, curve)) {
        status_message("The library lacks values for this bullet: the profile is unchanged.\n");
        return;
    }

    window_hooks.show_chosen_bullet(pg.kind == kBulletListCustom);
    gtk_widget_hide(get_widget("id_bl_win"));
    mark_profile_state(profile_unsaved);
    if (!choice.length_known)
        status_message("Bullet length is not in the library: the profile keeps its length; please check it.\n");
}

void on_question_response(GtkDialog* dialog, gint response, gpointer) { apply_chosen_bullet(dialog, response); }
void close_note(GtkDialog* dialog, gint, gpointer) { close_dialog_later(GTK_WIDGET(dialog)); }

}  // namespace

void setup_bullet_list_columns()
{
    for (int page = 0; page < kPageCount; ++page) {
        const bullet_page& pg = kPages[page];
        GtkTreeView* view = GTK_TREE_VIEW(get_widget(pg.view));
        for (size_t c = 0; c < std::size(kColumns); ++c) {
            const list_column& lc = kColumns[c];
            if (pg.kind == kBulletListCustom && lc.store_column == col_bc) continue;
            sized_column& sc = g_columns[page][c];
            sc.column = new_text_column(lc.title, lc.store_column, lc.min_width, &sc.cell);
            gtk_tree_view_column_set_sizing(sc.column, GTK_TREE_VIEW_COLUMN_FIXED);
            gtk_tree_view_column_set_fixed_width(sc.column, lc.min_width);
            // The header shows a label of ours, through which its button is
            // found and asked for its width.
            sc.title = gtk_label_new(lc.title);
            gtk_widget_show(sc.title);
            gtk_tree_view_column_set_widget(sc.column, sc.title);
            if (lc.store_column == col_name) {
                // The longest names would widen the view past the window and push
                // OK out of sight (no horizontal scroll bar): Name gives way and
                // takes the spare width instead; its tooltip shows it whole.
                g_object_set(sc.cell, "ellipsize", PANGO_ELLIPSIZE_END, nullptr);
                gtk_tree_view_column_set_expand(sc.column, TRUE);
            }
            gtk_tree_view_append_column(view, sc.column);
        }
        // Rows of one height: the view lays out only the rows it shows.
        gtk_tree_view_set_fixed_height_mode(view, TRUE);
        gtk_tree_view_set_tooltip_column(view, col_name);
        set_list_model(view, GTK_TREE_MODEL(get_object(pg.store)));
    }
}

void fill_bullet_list(int list_kind)
{
    int page = page_of_kind(list_kind);
    if (page < 0) return;
    if (list_kind == kBulletListCustom) {
        custom_curve_count = fill_custom_curve_cache(g_records, g_record_count, custom_curve_cache, kBulletCount);
        g_curve_records.assign(static_cast<size_t>(g_record_count), 0);
        int n = bullet_list_rows(g_records, g_record_count, kBulletListCustom, nullptr, g_curve_records.data(),
                                 g_record_count);
        g_curve_records.resize(static_cast<size_t>(n));
    }
    size_columns(page);
    fill_page(page, filter_text());
}

void open_bullet_library(GtkWidget*) { gtk_widget_show(get_widget("id_bl_win")); }

gboolean hide_bullet_library(GtkWidget*)
{
    gtk_widget_hide(get_widget("id_bl_win"));
    return TRUE;
}

void ask_bullet_confirmation(GtkWidget*)
{
    GtkWindow* window = GTK_WINDOW(get_widget("id_bl_win"));
    int page = gtk_notebook_get_current_page(GTK_NOTEBOOK(get_widget("id_bl_nb")));
    if (page < 0 || page >= kPageCount || selected_row_index(page_view(page)) < 0) {
        // Nothing to overwrite with: say what to do instead of asking.
        GtkWidget* note = gtk_message_dialog_new(window, GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_INFO,
                                                 GTK_BUTTONS_OK, "Select a bullet in the list first.");
        gtk_window_set_title(GTK_WINDOW(note), "No Bullet Selected");
        g_signal_connect(note, "response", G_CALLBACK(close_note), nullptr);
        gtk_widget_show_all(note);
        return;
    }
    GtkWidget* dialog = gtk_message_dialog_new(window, GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_QUESTION,
                                               GTK_BUTTONS_YES_NO, "Proceed?");
    gtk_message_dialog_set_markup(GTK_MESSAGE_DIALOG(dialog),
                                  "Warning: Selecting a new bullet will overwrite your current bullet.\n"
                                  "Do you wish to proceed?");
    g_signal_connect(dialog, "response", G_CALLBACK(on_question_response), nullptr);
    gtk_widget_show_all(dialog);
}

void apply_chosen_bullet(GtkDialog* dialog, gint response)
{
    close_dialog_later(GTK_WIDGET(dialog));
    // Only Yes applies: Escape or closing the question keeps the form.
    if (response == GTK_RESPONSE_YES) apply_selected_bullet();
}

int selected_row_index(GtkTreeView* view)
{
    GtkTreeModel* model = nullptr;
    GtkTreeIter iter;
    if (!view || !gtk_tree_selection_get_selected(gtk_tree_view_get_selection(view), &model, &iter)) return -1;
    GtkTreePath* path = gtk_tree_model_get_path(model, &iter);
    int row = gtk_tree_path_get_indices(path)[0];
    gtk_tree_path_free(path);
    return row;
}

int bullet_table_index(int list_kind, int row)
{
    int page = page_of_kind(list_kind);
    if (page < 0 || row < 0 || row >= static_cast<int>(g_rows[page].size())) return -1;
    return g_rows[page][row];
}

void on_bullet_filter_changed()
{
    int page = gtk_notebook_get_current_page(GTK_NOTEBOOK(get_widget("id_bl_nb")));
    if (page < 0 || page >= kPageCount) return;
    std::string text = filter_text();
    if (text != g_applied_filter[page]) fill_page(page, text);
}

void on_bullet_page_switched(int page)
{
    if (page < 0 || page >= kPageCount) return;
    std::string text = filter_text();
    if (text != g_applied_filter[page]) fill_page(page, text);
}

void use_bullet_records(const bullet_record* records, int count)
{
    g_records = records;
    g_record_count = std::min(count, static_cast<int>(kBulletCount));
    for (const bullet_page& pg : kPages) fill_bullet_list(pg.kind);
}
