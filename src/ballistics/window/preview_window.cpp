#include "ballistics/window/preview_window.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "ballistics/window/range_card.h"
#include "ballistics/window/shown_units.h"
#include "ballistics/window/solution_table.h"
#include "ballistics/window/trajectory_chart.h"
#include "ballistics/window/truing_dialog.h"
#include "base/numbers.h"
#include "collections/profile_folders.h"
#include "profile/units.h"
#include "shell/shell.h"

namespace {

constexpr int kBackgroundColumn = kTableColumns;  // the row's tint in the store
// The chart's rows: enough for a smooth line at any window size.
constexpr double kChartPoints = 240.0;

struct preview_state {
    bool started = false;  // the conditions came from a profile once
    shot_conditions c;
    double to_yd = 1000, step_yd = 100;
    // Range and step typed by the user; until then they follow the defaults
    // of the unit system and the profile.
    bool range_typed = false, step_typed = false;
    int units = 0;  // the unit system the entries show
    std::string shown_range, shown_step;
    std::string shown_summary, shown_assumptions;  // what the labels hold
    GunProfile profile{};
    solution table, path;
    std::vector<std::string> assumptions;
    guint idle = 0;
    bool columns_made = false;
    // While truing: the observations' ranges, and the trued profile's path.
    std::vector<double> truing_ranges;
    bool truing_profile = false;
    GunProfile trued{};
    solution trued_path;
};
preview_state g;

struct condition_field {
    const char* id;
    const char* unit_id;  // nullptr: a fixed unit text in the window definition
    shown_quantity q;
    int decimals;
    double* value;
};

std::vector<condition_field> condition_fields()
{
    using q = shown_quantity;
    return {{"id_pv_temp", "id_pv_temp_unit", q::temperature, 1, &g.c.temperature_f},
            {"id_pv_pres", "id_pv_pres_unit", q::pressure, 2, &g.c.pressure_inhg},
            {"id_pv_hum", nullptr, q::percent, 1, &g.c.humidity_pct},
            {"id_pv_wind", "id_pv_wind_unit", q::wind, 1, &g.c.wind_mph},
            {"id_pv_wind_dir", nullptr, q::angle, 1, &g.c.wind_from_deg},
            {"id_pv_lat", nullptr, q::angle, 2, &g.c.latitude_deg},
            {"id_pv_azim", nullptr, q::angle, 1, &g.c.azimuth_deg},
            {"id_pv_range", "id_pv_range_unit", q::range, 1, &g.to_yd},
            {"id_pv_step", "id_pv_step_unit", q::range, 1, &g.step_yd}};
}

std::string entry_text(const char* id) { return gtk_entry_get_text(GTK_ENTRY(get_widget(id))); }

void show_condition(const condition_field& f)
{
    std::string text = short_number(to_shown_value(f.q, g.units, *f.value), f.decimals);
    if (entry_text(f.id) != text) gtk_entry_set_text(GTK_ENTRY(get_widget(f.id)), text.c_str());
    if (f.unit_id) gtk_label_set_text(GTK_LABEL(get_widget(f.unit_id)), shown_unit_text(f.q, g.units));
    if (f.value == &g.to_yd) g.shown_range = text;
    if (f.value == &g.step_yd) g.shown_step = text;
}

void show_conditions()
{
    for (const condition_field& f : condition_fields()) show_condition(f);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(get_widget("id_pv_coriolis")), g.c.coriolis);
    for (const char* id : {"id_pv_lat", "id_pv_azim"}) gtk_widget_set_sensitive(get_widget(id), g.c.coriolis);
}

// Every entry back into the state; a text that is not a number keeps the
// value it replaced (and shows it again).
void read_conditions()
{
    for (const condition_field& f : condition_fields()) {
        std::string text = entry_text(f.id);
        double shown = 0;
        if (!read_decimal(text.c_str(), &shown)) {
            show_condition(f);
            continue;
        }
        if (f.value == &g.to_yd && text != g.shown_range) g.range_typed = true;
        if (f.value == &g.step_yd && text != g.shown_step) g.step_typed = true;
        *f.value = to_stored_value(f.q, g.units, shown);
    }
    g.c.coriolis = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(get_widget("id_pv_coriolis")));
}

void make_table_columns()
{
    GtkTreeView* view = GTK_TREE_VIEW(get_widget("id_pv_table"));
    for (int i = 0; i < kTableColumns; ++i) {
        GtkCellRenderer* cell = gtk_cell_renderer_text_new();
        g_object_set(cell, "xalign", i == kTableMarkColumn ? 0.0 : 1.0, "xpad", 6, NULL);
        GtkTreeViewColumn* col =
            gtk_tree_view_column_new_with_attributes("", cell, "text", i, "cell-background", kBackgroundColumn, NULL);
        gtk_tree_view_column_set_sizing(col, GTK_TREE_VIEW_COLUMN_FIXED);
        gtk_tree_view_column_set_alignment(col, i == kTableMarkColumn ? 0.0f : 1.0f);
        gtk_tree_view_append_column(view, col);
    }
    // Fixed widths and row heights: a table of thousands of rows lays out at once.
    gtk_tree_view_set_fixed_height_mode(view, TRUE);
    gtk_tree_view_set_rules_hint(view, TRUE);
}

int text_pixels(GtkWidget* widget, const std::string& text)
{
    PangoLayout* layout = gtk_widget_create_pango_layout(widget, text.c_str());
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout, &w, &h);
    g_object_unref(layout);
    return w;
}

const char* row_tint(const solution_row& r)
{
    if (r.subsonic) return "#f9d9d9";
    if (r.transonic) return "#fcebd3";
    if (r.zero) return "#efdff5";
    return nullptr;
}

// The rows nearest the truing observations, each within half a step.
std::vector<bool> observed_rows()
{
    std::vector<bool> marked(g.table.rows.size(), false);
    for (double r : g.truing_ranges) {
        size_t best = marked.size();
        double gap = g.step_yd / 2 + 1e-6;
        for (size_t i = 0; i < g.table.rows.size(); ++i)
            if (std::fabs(g.table.rows[i].range_yd - r) <= gap) {
                gap = std::fabs(g.table.rows[i].range_yd - r);
                best = i;
            }
        if (best < marked.size()) marked[best] = true;
    }
    return marked;
}

void fill_table()
{
    GtkTreeView* view = GTK_TREE_VIEW(get_widget("id_pv_table"));
    GtkListStore* store = GTK_LIST_STORE(get_object("id_preview_ls"));
    if (!g.columns_made) {
        make_table_columns();
        g.columns_made = true;
    }
    std::vector<std::string> titles = table_titles(g.table, g.units, true);
    std::vector<size_t> longest(kTableColumns, 0);
    std::vector<std::string> widest(titles);

    // Rows of the same count are written over in place (an edit in the
    // form): the view keeps its layout and redraws only the cells that
    // changed. Otherwise the store is filled while detached from the view.
    const size_t rows = g.table.ok ? g.table.rows.size() : 0;
    const std::vector<bool> observed = observed_rows();
    const bool in_place = gtk_tree_model_iter_n_children(GTK_TREE_MODEL(store), nullptr) == static_cast<int>(rows);
    if (!in_place) {
        g_object_ref(store);
        gtk_tree_view_set_model(view, nullptr);
        gtk_list_store_clear(store);
    }
    GtkTreeIter it;
    bool have = in_place && gtk_tree_model_get_iter_first(GTK_TREE_MODEL(store), &it);
    for (size_t r = 0; r < rows; ++r) {
        const solution_row& row = g.table.rows[r];
        std::vector<std::string> cells = table_cells(g.table, row, g.units);
        if (observed[r]) cells[kTableMarkColumn] += cells[kTableMarkColumn].empty() ? "Observed" : ", observed";
        if (!in_place) gtk_list_store_append(store, &it);
        for (int i = 0; i < kTableColumns; ++i) {
            gchar* old = nullptr;
            if (have) gtk_tree_model_get(GTK_TREE_MODEL(store), &it, i, &old, -1);
            if (!old || cells[i] != old) gtk_list_store_set(store, &it, i, cells[i].c_str(), -1);
            g_free(old);
            if (cells[i].size() > longest[i]) {
                longest[i] = cells[i].size();
                if (cells[i].size() >= widest[i].size()) widest[i] = cells[i];
            }
        }
        gchar* tint = nullptr;
        if (have) gtk_tree_model_get(GTK_TREE_MODEL(store), &it, kBackgroundColumn, &tint, -1);
        const char* want = observed[r] ? "#d3e5fa" : row_tint(row);
        if (!have || (tint ? !want || std::strcmp(tint, want) != 0 : want != nullptr))
            gtk_list_store_set(store, &it, kBackgroundColumn, want, -1);
        g_free(tint);
        if (have) have = gtk_tree_model_iter_next(GTK_TREE_MODEL(store), &it);
    }
    if (!in_place) {
        gtk_tree_view_set_model(view, GTK_TREE_MODEL(store));
        g_object_unref(store);
    }
    // Titles and widths only when they change: each change lays the window
    // out again.
    for (int i = 0; i < kTableColumns; ++i) {
        GtkTreeViewColumn* col = gtk_tree_view_get_column(view, i);
        const char* title = gtk_tree_view_column_get_title(col);
        if (!title || titles[i] != title) gtk_tree_view_column_set_title(col, titles[i].c_str());
        int w =
            std::max(text_pixels(GTK_WIDGET(view), titles[i]), text_pixels(GTK_WIDGET(view), widest[i] + "00")) + 18;
        if (gtk_tree_view_column_get_fixed_width(col) != w) gtk_tree_view_column_set_fixed_width(col, w);
    }
}

std::string profile_title()
{
    std::string name = profile_name(g.profile);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name.empty() ? "Unnamed profile" : name;
}

// One line: the zero, the bore angle, the velocity and the stability.
std::string summary_text(bool markup)
{
    std::string zero = short_number(to_shown_value(shown_quantity::range, g.units, g.profile.zr), 0) + " " +
                       shown_unit_text(shown_quantity::range, g.units);
    std::string name = profile_title();
    if (markup) {
        gchar* escaped = g_markup_escape_text(name.c_str(), -1);
        name = std::string("<b>") + escaped + "</b>";
        g_free(escaped);
    }
    if (!g.table.ok) return name + ": zeroed at " + zero + ".";
    std::string mv = short_number(to_shown_value(shown_quantity::velocity, g.units, g.table.mv_fps), 0) + " " +
                     shown_unit_text(shown_quantity::velocity, g.units);
    std::string stability = g.table.stability ? "stability factor " + format_number("%.2f", *g.table.stability)
                                              : "no stability factor (no twist)";
    return name + ": zeroed at " + zero + ", bore angle " + format_number("%+.2f", g.table.zero_angle_moa) +
           " MOA to the line of sight, muzzle velocity " + mv + ", " + stability + ".";
}

std::string conditions_text()
{
    using q = shown_quantity;
    auto value = [](q quantity, double v, int decimals) {
        return short_number(to_shown_value(quantity, g.units, v), decimals) + " " + shown_unit_text(quantity, g.units);
    };
    std::string s = "Shot conditions: " + value(q::temperature, g.c.temperature_f, 1) + ", " +
                    value(q::pressure, g.c.pressure_inhg, 2) + ", humidity " + short_number(g.c.humidity_pct, 1) +
                    " %, wind " + value(q::wind, g.c.wind_mph, 1) + " from " + short_number(g.c.wind_from_deg, 1) +
                    "\xC2\xB0 (0 from the target, 90 from the right), ";
    if (g.c.coriolis)
        s += "Coriolis at latitude " + short_number(g.c.latitude_deg, 2) + "\xC2\xB0, firing " +
             short_number(g.c.azimuth_deg, 1) + "\xC2\xB0 from north.";
    else s += "no Coriolis.";
    return s;
}

// What the chart shows, in words, for a screen reader.
std::string chart_description()
{
    if (!g.table.ok) return g.table.missing;
    if (g.path.rows.empty()) return "No rows.";
    auto range = [](double yd) {
        return short_number(to_shown_value(shown_quantity::range, g.units, yd), 0) + " " +
               shown_unit_text(shown_quantity::range, g.units);
    };
    auto length = [](double in) {
        return short_number(to_shown_value(shown_quantity::length, g.units, in), 1) + " " +
               shown_unit_text(shown_quantity::length, g.units);
    };
    const solution_row& last = g.path.rows.back();
    std::string d = "The path to " + range(last.range_yd) + ": drop " + length(last.drop_in) + ", windage " +
                    length(last.windage_in) + " there.";
    for (double r : g.path.zero_crossings_yd) d += " Crosses the line of sight at " + range(r) + ".";
    if (g.path.transonic_yd) d += " Below Mach 1.2 at " + range(*g.path.transonic_yd) + ".";
    if (g.path.subsonic_yd) d += " Below Mach 1.0 at " + range(*g.path.subsonic_yd) + ".";
    return d;
}

void show_solution()
{
    GtkWidget* missing = get_widget("id_pv_missing");
    if (!g.table.ok) {
        gchar* m =
            g_markup_printf_escaped("<span foreground=\"#b00000\" weight=\"bold\">%s</span>", g.table.missing.c_str());
        gtk_label_set_markup(GTK_LABEL(missing), m);
        g_free(m);
        gtk_widget_show(missing);
    } else {
        gtk_widget_hide(missing);
    }
    std::string summary = summary_text(true);
    if (summary != g.shown_summary) {
        gtk_label_set_markup(GTK_LABEL(get_widget("id_pv_summary")), summary.c_str());
        g.shown_summary = summary;
    }
    fill_table();

    GtkWidget* end = get_widget("id_pv_end_note");
    if (g.table.end_note != gtk_label_get_text(GTK_LABEL(end)))
        gtk_label_set_text(GTK_LABEL(end), g.table.end_note.c_str());
    gtk_widget_set_visible(end, g.table.ok && !g.table.end_note.empty());

    std::string text = "\xE2\x80\xA2 " + conditions_text();
    for (const std::string& a : g.assumptions) text += "\n\xE2\x80\xA2 " + a;
    if (text != g.shown_assumptions) {
        gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(get_widget("id_pv_assumptions"))), text.c_str(),
                                 -1);
        g.shown_assumptions = text;
    }
    GtkWidget* chart = get_widget("id_pv_chart");
    atk_object_set_description(gtk_widget_get_accessible(chart), chart_description().c_str());
    gtk_widget_queue_draw(chart);
}

void solve()
{
    g.table = solve_profile(g.profile, g.c, g.to_yd, g.step_yd);
    merge_close_rows(g.table);
    if (g.table.ok && !g.table.rows.empty()) {
        double to = g.table.rows.back().range_yd;
        g.path = to > 0 ? solve_profile(g.profile, g.c, to, std::max(to / kChartPoints, 0.5)) : g.table;
        if (!g.path.ok) g.path = g.table;
    } else {
        g.path = g.table;
    }
    g.assumptions = solver_assumptions(g.profile, g.c, g.units);
    g.trued_path = solution{};
    if (g.truing_profile && g.path.ok && !g.path.rows.empty()) {
        double to = g.path.rows.back().range_yd;
        g.trued_path = solve_profile(g.trued, g.c, to, std::max(to / kChartPoints, 0.5));
    }
}

// The path before truing, dashed, on the chart of the trued one.
void draw_path_before(cairo_t* cr, double width, double height)
{
    const solution& after = g.trued_path;
    if (!after.ok || after.rows.empty() || !g.path.ok) return;
    chart_frame f = chart_layout(width, height, after, g.units);
    cairo_save(cr);
    cairo_rectangle(cr, f.left, f.top, f.right - f.left, f.bottom - f.top);
    cairo_clip(cr);
    bool first = true;
    for (const solution_row& r : g.path.rows) {
        double x = f.x_at(to_shown_value(shown_quantity::range, g.units, r.range_yd));
        double y = f.y_at(to_shown_value(shown_quantity::length, g.units, r.drop_in));
        if (first) cairo_move_to(cr, x, y);
        else cairo_line_to(cr, x, y);
        first = false;
    }
    const double dash[] = {7.0, 5.0};
    cairo_set_dash(cr, dash, 2, 0);
    cairo_set_line_width(cr, 2.0);
    cairo_set_source_rgb(cr, 0.45, 0.45, 0.45);
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, kChartFont);
    cairo_move_to(cr, f.left + 8, f.bottom - 8);
    cairo_show_text(cr, "Dashed: the path before truing; solid: after.");
    cairo_restore(cr);
}

gboolean run_idle_update(gpointer)
{
    g.idle = 0;
    update_solution_preview();
    return FALSE;
}

range_card card()
{
    range_card c;
    c.title = "Range card: " + profile_title();
    c.notes.push_back(summary_text(false));
    c.notes.push_back(conditions_text());
    for (const std::string& a : g.assumptions) c.notes.push_back(a);
    c.table = &g.table;
    c.path = &g.path;
    c.units = g.units;
    return c;
}

gboolean on_chart_expose(GtkWidget* widget, GdkEventExpose*, gpointer)
{
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    cairo_t* cr = gdk_cairo_create(gtk_widget_get_window(widget));
    if (g.trued_path.ok) {
        draw_trajectory_chart(cr, a.width, a.height, g.trued_path, g.units);
        draw_path_before(cr, a.width, a.height);
    } else {
        draw_trajectory_chart(cr, a.width, a.height, g.path.ok ? g.path : g.table, g.units);
    }
    cairo_destroy(cr);
    return TRUE;
}

void show_error(const char* title, const std::string& detail)
{
    GtkWidget* d = gtk_message_dialog_new(GTK_WINDOW(get_widget("id_preview_win")), GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                          GTK_BUTTONS_OK, "%s", title);
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(d), "%s", detail.c_str());
    gtk_dialog_run(GTK_DIALOG(d));
    gtk_widget_destroy(d);
}

// A file name from the profile's name: letters, digits, "-" and "_" only.
std::string suggested_file_name()
{
    std::string base;
    for (char ch : profile_title()) base += (g_ascii_isalnum(ch) || ch == '-' || ch == '_') ? ch : '_';
    return base + "-range-card.pdf";
}

void on_begin_print(GtkPrintOperation* op, GtkPrintContext* context, gpointer)
{
    range_card c = card();
    gtk_print_operation_set_n_pages(
        op, range_card_pages(c, gtk_print_context_get_width(context), gtk_print_context_get_height(context)));
}

void on_draw_page(GtkPrintOperation*, GtkPrintContext* context, gint page, gpointer)
{
    range_card c = card();
    draw_range_card_page(gtk_print_context_get_cairo_context(context), c, gtk_print_context_get_width(context),
                         gtk_print_context_get_height(context), page);
}

void on_condition_activate(GtkEntry* e, gpointer) { on_preview_condition_entered(GTK_WIDGET(e)); }
void on_coriolis(GtkToggleButton* b, gpointer) { on_preview_coriolis_toggled(GTK_WIDGET(b)); }
void on_reset(GtkButton* b, gpointer) { on_preview_reset_clicked(GTK_WIDGET(b)); }
gboolean on_delete(GtkWidget* w, GdkEvent*, gpointer) { return hide_solution_preview(w); }
void on_close(GtkButton* b, gpointer) { hide_solution_preview(GTK_WIDGET(b)); }
void on_save(GtkButton* b, gpointer) { save_range_card(GTK_WIDGET(b)); }
void on_print(GtkButton* b, gpointer) { print_range_card(GTK_WIDGET(b)); }
void on_true(GtkButton* b, gpointer) { on_preview_true_clicked(GTK_WIDGET(b)); }

}  // namespace

const solution& preview_solution() { return g.table; }
const GunProfile& preview_profile() { return g.profile; }
const shot_conditions& preview_conditions() { return g.c; }
int preview_units() { return g.units; }

void preview_show_truing(const std::vector<double>& ranges_yd, const GunProfile* trued)
{
    g.truing_ranges = ranges_yd;
    g.truing_profile = trued != nullptr;
    if (trued) g.trued = *trued;
    solve();
    show_solution();
}

void on_preview_true_clicked(GtkWidget*)
{
    update_solution_preview();
    const truing_owner owner{preview_profile, preview_conditions, preview_units, preview_show_truing,
                             [](const GunProfile& trued) { window_hooks.apply_trued(trued); }};
    open_truing_dialog(GTK_WINDOW(get_widget("id_preview_win")), owner);
}

void update_solution_preview()
{
    if (g.idle) {
        g_source_remove(g.idle);
        g.idle = 0;
    }
    g.profile = cvIn;
    window_hooks.form_profile(g.profile);
    if (!g.started) {
        g.c = conditions_from_profile(g.profile);
        g.started = true;
    }
    bool units_changed = g.units != input_units;
    g.units = input_units;
    if (!g.range_typed) g.to_yd = default_range_yd(g.profile, g.units);
    if (!g.step_typed) g.step_yd = default_step_yd(g.units);
    if (units_changed) {
        show_conditions();
    } else {
        for (const condition_field& f : condition_fields())
            if ((f.value == &g.to_yd && !g.range_typed) || (f.value == &g.step_yd && !g.step_typed)) show_condition(f);
    }
    solve();
    show_solution();
}

void open_solution_preview(GtkWidget*)
{
    GtkWidget* win = get_widget("id_preview_win");
    if (!gtk_window_get_transient_for(GTK_WINDOW(win))) {
        gtk_window_set_transient_for(GTK_WINDOW(win), GTK_WINDOW(get_widget("id_mw")));
        // The chart and the table share the height about evenly at first.
        gtk_paned_set_position(GTK_PANED(get_widget("id_pv_paned")), 260);
    }
    gtk_widget_show(win);
    update_solution_preview();
    gtk_window_present(GTK_WINDOW(win));
}

void preview_form_changed()
{
    GtkWidget* win = get_widget("id_preview_win");
    if (g.idle || !win || !gtk_widget_get_visible(win)) return;
    // Before the redraws of the same main-loop pass, so the table and chart
    // show the edit in the frame that follows it.
    g.idle = g_idle_add_full(G_PRIORITY_HIGH_IDLE, run_idle_update, nullptr, nullptr);
}

void on_preview_condition_entered(GtkWidget*)
{
    read_conditions();
    update_solution_preview();
}

void on_preview_coriolis_toggled(GtkWidget* widget)
{
    bool on = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget));
    for (const char* id : {"id_pv_lat", "id_pv_azim"}) gtk_widget_set_sensitive(get_widget(id), on);
    read_conditions();
    update_solution_preview();
}

void on_preview_reset_clicked(GtkWidget*)
{
    g.c = conditions_from_profile(g.profile);
    g.range_typed = g.step_typed = false;
    g.units = 0;  // shows every entry again
    update_solution_preview();
}

gboolean hide_solution_preview(GtkWidget*)
{
    close_truing_dialog();
    gtk_widget_hide(get_widget("id_preview_win"));
    return TRUE;
}

bool save_range_card_to(const std::string& path)
{
    std::string error;
    if (write_range_card(path, card(), range_card_format_for(path), &error)) {
        status_message("Range card saved as %s", path.c_str());
        return true;
    }
    status_message("Could not save the range card: %s", error.c_str());
    return false;
}

void save_range_card(GtkWidget*)
{
    GtkWidget* d = gtk_file_chooser_dialog_new("Save Range Card", GTK_WINDOW(get_widget("id_preview_win")),
                                               GTK_FILE_CHOOSER_ACTION_SAVE, GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL,
                                               GTK_STOCK_SAVE, GTK_RESPONSE_ACCEPT, NULL);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(d);
    gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
    // Beside the profiles, where the user keeps what belongs to them.
    gchar* profiles = g_canonicalize_filename(kPcProfileFolder, nullptr);
    gtk_file_chooser_set_current_folder(chooser, profiles);
    g_free(profiles);
    gtk_file_chooser_set_current_name(chooser, suggested_file_name().c_str());
    static const char* const kinds[][2] = {{"Range card as PDF (*.pdf)", "*.pdf"},
                                           {"Range card as PNG picture (*.png)", "*.png"},
                                           {"Table as CSV (*.csv)", "*.csv"}};
    for (const auto& k : kinds) {
        GtkFileFilter* f = gtk_file_filter_new();
        gtk_file_filter_set_name(f, k[0]);
        gtk_file_filter_add_pattern(f, k[1]);
        gtk_file_chooser_add_filter(chooser, f);
    }
    if (gtk_dialog_run(GTK_DIALOG(d)) == GTK_RESPONSE_ACCEPT) {
        gchar* file = gtk_file_chooser_get_filename(chooser);
        std::string path = file ? file : "";
        g_free(file);
        bool known = false;
        range_card_format_for(path, &known);
        if (!known) {
            // No known ending: the one of the chosen kind.
            GtkFileFilter* chosen = gtk_file_chooser_get_filter(chooser);
            const char* name = chosen ? gtk_file_filter_get_name(chosen) : nullptr;
            std::string n = name ? name : "";
            path += n.find("PNG") != std::string::npos ? ".png" : n.find("CSV") != std::string::npos ? ".csv" : ".pdf";
        }
        gtk_widget_destroy(d);
        std::string error;
        if (!path.empty() && !write_range_card(path, card(), range_card_format_for(path), &error))
            show_error("The range card was not saved.", error);
        else if (!path.empty()) status_message("Range card saved as %s", path.c_str());
        return;
    }
    gtk_widget_destroy(d);
}

bool print_range_card_to(const char* export_pdf)
{
    GtkPrintOperation* op = gtk_print_operation_new();
    gtk_print_operation_set_unit(op, GTK_UNIT_POINTS);
    gtk_print_operation_set_job_name(op, ("Range card " + profile_title()).c_str());
    g_signal_connect(op, "begin-print", G_CALLBACK(on_begin_print), nullptr);
    g_signal_connect(op, "draw-page", G_CALLBACK(on_draw_page), nullptr);
    GtkPrintOperationAction action = GTK_PRINT_OPERATION_ACTION_PRINT_DIALOG;
    if (export_pdf) {
        gtk_print_operation_set_export_filename(op, export_pdf);
        action = GTK_PRINT_OPERATION_ACTION_EXPORT;
    }
    GError* error = nullptr;
    GtkPrintOperationResult result =
        gtk_print_operation_run(op, action, GTK_WINDOW(get_widget("id_preview_win")), &error);
    g_object_unref(op);
    if (result == GTK_PRINT_OPERATION_RESULT_ERROR) {
        std::string why = error ? error->message : "unknown error";
        if (error) g_error_free(error);
        if (!export_pdf) show_error("The range card was not printed.", why);
        return false;
    }
    if (result == GTK_PRINT_OPERATION_RESULT_CANCEL) return false;
    // The bar tells the latest thing done, not an earlier saved card.
    if (export_pdf) status_message("Range card printed to %s", export_pdf);
    else status_message("Range card sent to the printer");
    return true;
}

void print_range_card(GtkWidget*) { print_range_card_to(nullptr); }

void connect_preview_signals()
{
    for (const condition_field& f : condition_fields())
        g_signal_connect(get_object(f.id), "activate", G_CALLBACK(on_condition_activate), nullptr);
    g_signal_connect(get_object("id_pv_coriolis"), "toggled", G_CALLBACK(on_coriolis), nullptr);
    g_signal_connect(get_object("id_pv_reset"), "clicked", G_CALLBACK(on_reset), nullptr);
    g_signal_connect(get_object("id_preview_win"), "delete-event", G_CALLBACK(on_delete), nullptr);
    g_signal_connect(get_object("id_pv_close"), "clicked", G_CALLBACK(on_close), nullptr);
    g_signal_connect(get_object("id_pv_save"), "clicked", G_CALLBACK(on_save), nullptr);
    g_signal_connect(get_object("id_pv_print"), "clicked", G_CALLBACK(on_print), nullptr);
    g_signal_connect(get_object("id_pv_true"), "clicked", G_CALLBACK(on_true), nullptr);
    g_signal_connect(get_object("id_pv_chart"), "expose-event", G_CALLBACK(on_chart_expose), nullptr);

    // Ctrl+T opens the preview from the main window; Escape closes it.
    GtkAccelGroup* main_keys = gtk_accel_group_new();
    gtk_window_add_accel_group(GTK_WINDOW(get_widget("id_mw")), main_keys);
    gtk_widget_add_accelerator(get_widget("id_mi_preview"), "activate", main_keys, GDK_KEY_t, GDK_CONTROL_MASK,
                               GTK_ACCEL_VISIBLE);
    g_object_unref(main_keys);
    GtkAccelGroup* preview_keys = gtk_accel_group_new();
    gtk_window_add_accel_group(GTK_WINDOW(get_widget("id_preview_win")), preview_keys);
    gtk_widget_add_accelerator(get_widget("id_pv_close"), "clicked", preview_keys, GDK_KEY_Escape, GdkModifierType(0),
                               GtkAccelFlags(0));
    g_object_unref(preview_keys);
}
