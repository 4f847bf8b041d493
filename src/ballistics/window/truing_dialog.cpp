#include "ballistics/window/truing_dialog.h"

#include <cmath>
#include <string>
#include <vector>

#include "ballistics/truing.h"
#include "ballistics/window/shown_units.h"
#include "base/numbers.h"

namespace {

truing_owner g_owner{};

constexpr int kRows = 6;
const hold_unit kUnits[] = {hold_unit::mil, hold_unit::moa, hold_unit::smoa, hold_unit::inch};

struct row_widgets {
    GtkWidget *range, *hold, *before, *after, *difference;
};

struct truing_dialog {
    GtkWidget* dialog = nullptr;
    GtkWidget *unit = nullptr, *note = nullptr, *apply = nullptr, *cancel = nullptr, *range_title = nullptr;
    row_widgets rows[kRows]{};
    guint idle = 0;
    bool ok = false;
    GunProfile trued{};
};
truing_dialog d;

hold_unit chosen_unit()
{
    int i = gtk_combo_box_get_active(GTK_COMBO_BOX(d.unit));
    return kUnits[i >= 0 && i < 4 ? i : 0];
}

void set_note(const std::string& text, bool refusal)
{
    gchar* m = refusal ? g_markup_printf_escaped("<span foreground=\"#b00000\">%s</span>", text.c_str())
                       : g_markup_escape_text(text.c_str(), -1);
    gtk_label_set_markup(GTK_LABEL(d.note), m);
    g_free(m);
}

std::string velocity_text(double fps)
{
    int units = g_owner.units();
    return short_number(to_shown_value(shown_quantity::velocity, units, fps), 1) + " " +
           shown_unit_text(shown_quantity::velocity, units);
}

// Reads the rows, trues, and shows the holds, the note and the preview's marks.
void recalculate()
{
    const int units = g_owner.units();
    const hold_unit unit = chosen_unit();
    std::vector<truing_observation> obs;
    std::vector<int> row_of;  // the dialog row of each observation
    std::vector<double> ranges;
    std::string problem;
    for (int i = 0; i < kRows; ++i) {
        row_widgets& w = d.rows[i];
        for (GtkWidget* l : {w.before, w.after, w.difference}) gtk_label_set_text(GTK_LABEL(l), "");
        std::string range = gtk_entry_get_text(GTK_ENTRY(w.range)), hold = gtk_entry_get_text(GTK_ENTRY(w.hold));
        if (range.empty() && hold.empty()) continue;
        double r = 0, h = 0;
        const char* end = nullptr;
        if (!read_decimal(range.c_str(), &r, &end) || *end) {
            if (problem.empty()) problem = "Row " + std::to_string(i + 1) + ": the range is not a number.";
            continue;
        }
        if (!read_decimal(hold.c_str(), &h, &end) || *end) {
            if (problem.empty() && !hold.empty())
                problem = "Row " + std::to_string(i + 1) + ": the hold is not a number.";
            ranges.push_back(to_stored_value(shown_quantity::range, units, r));
            continue;
        }
        truing_observation o;
        o.range_yd = to_stored_value(shown_quantity::range, units, r);
        o.hold = h;
        o.unit = unit;
        obs.push_back(o);
        row_of.push_back(i);
        ranges.push_back(o.range_yd);
    }
    d.ok = false;
    if (!problem.empty()) {
        set_note(problem, true);
    } else if (obs.empty()) {
        set_note("Type a range and the elevation hold that put the shot on the target's centre there, "
                 "one row each; positive holds raise the sight.",
                 false);
    } else {
        truing_result r = true_profile(g_owner.profile(), g_owner.conditions(), obs);
        if (!r.ok) {
            set_note(r.refusal, true);
        } else {
            d.ok = true;
            d.trued = r.trued;
            for (size_t k = 0; k < r.rows.size(); ++k) {
                const truing_row& t = r.rows[k];
                row_widgets& w = d.rows[row_of[k]];
                double before = moa_to_hold(t.before_moa, unit, t.range_yd);
                double after = moa_to_hold(t.after_moa, unit, t.range_yd);
                gtk_label_set_text(GTK_LABEL(w.before), format_number("%.2f", before).c_str());
                gtk_label_set_text(GTK_LABEL(w.after), format_number("%.2f", after).c_str());
                gtk_label_set_text(GTK_LABEL(w.difference), format_number("%+.2f", after - before).c_str());
            }
            std::string note = "Muzzle velocity " + velocity_text(r.mv_before_fps) + " \xE2\x86\x92 " +
                               velocity_text(r.mv_after_fps) + (r.velocity_fitted ? "" : " (no hold beyond Mach 1.2)");
            note += ". Drop scale factors:";
            if (r.factors.empty()) note += " none";
            for (size_t k = 0; k < r.factors.size(); ++k)
                note += std::string(k ? "," : "") + " Mach " + format_number("%.2f", r.factors[k].mach) + " " +
                        format_number("%.3f", r.factors[k].factor);
            set_note(note + ".", false);
        }
    }
    gtk_widget_set_sensitive(d.apply, d.ok);
    g_owner.show(ranges, d.ok ? &d.trued : nullptr);
}

gboolean run_idle(gpointer)
{
    d.idle = 0;
    recalculate();
    return FALSE;
}

void on_changed(GtkWidget*, gpointer)
{
    if (!d.idle) d.idle = g_idle_add(run_idle, nullptr);
}

void finish()
{
    if (d.idle) {
        g_source_remove(d.idle);
        d.idle = 0;
    }
    gtk_widget_hide(d.dialog);
    g_owner.show({}, nullptr);
}

void on_response(GtkDialog*, gint response, gpointer)
{
    if (response == GTK_RESPONSE_APPLY) {
        if (d.idle) run_idle(nullptr);
        if (!d.ok) return;
        GunProfile trued = d.trued;
        finish();
        if (g_owner.apply) g_owner.apply(trued);
        else copy_trued_fields(cvIn, trued);
        return;
    }
    finish();
}

gboolean on_delete(GtkWidget*, GdkEvent*, gpointer)
{
    finish();
    return TRUE;
}

GtkWidget* cell_label(const char* text, float xalign)
{
    GtkWidget* l = gtk_label_new(text);
    gtk_misc_set_alignment(GTK_MISC(l), xalign, 0.5f);
    return l;
}

void build(GtkWindow* parent)
{
    d.dialog = gtk_dialog_new_with_buttons("True the Profile", parent, GTK_DIALOG_DESTROY_WITH_PARENT, GTK_STOCK_CANCEL,
                                           GTK_RESPONSE_CANCEL, GTK_STOCK_APPLY, GTK_RESPONSE_APPLY, NULL);
    d.cancel = gtk_dialog_get_widget_for_response(GTK_DIALOG(d.dialog), GTK_RESPONSE_CANCEL);
    d.apply = gtk_dialog_get_widget_for_response(GTK_DIALOG(d.dialog), GTK_RESPONSE_APPLY);
    GtkWidget* box = gtk_vbox_new(FALSE, 8);
    gtk_container_set_border_width(GTK_CONTAINER(box), 10);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(d.dialog))), box, TRUE, TRUE, 0);

    GtkWidget* intro = gtk_label_new("The holds you needed at the range, in the conditions the preview shows. "
                                     "The velocity follows the holds beyond Mach 1.2, drop scale factors the "
                                     "others.");
    gtk_label_set_line_wrap(GTK_LABEL(intro), TRUE);
    gtk_widget_set_size_request(intro, 470, -1);
    gtk_misc_set_alignment(GTK_MISC(intro), 0, 0.5f);
    gtk_box_pack_start(GTK_BOX(box), intro, FALSE, FALSE, 0);

    GtkWidget* unit_row = gtk_hbox_new(FALSE, 6);
    gtk_box_pack_start(GTK_BOX(unit_row), gtk_label_new("Holds in"), FALSE, FALSE, 0);
    d.unit = gtk_combo_box_text_new();
    for (hold_unit u : kUnits) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(d.unit), hold_unit_text(u));
    gtk_box_pack_start(GTK_BOX(unit_row), d.unit, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), unit_row, FALSE, FALSE, 0);
    atk_object_set_name(gtk_widget_get_accessible(d.unit), "Hold unit");

    GtkWidget* table = gtk_table_new(kRows + 1, 5, FALSE);
    gtk_table_set_col_spacings(GTK_TABLE(table), 8);
    gtk_table_set_row_spacings(GTK_TABLE(table), 3);
    d.range_title = cell_label("Range", 0);
    const char* titles[] = {nullptr, "Hold", "Before", "After", "Difference"};
    gtk_table_attach(GTK_TABLE(table), d.range_title, 0, 1, 0, 1, GTK_FILL, GTK_FILL, 0, 0);
    for (int c = 1; c < 5; ++c)
        gtk_table_attach(GTK_TABLE(table), cell_label(titles[c], c == 1 ? 0.0f : 1.0f), c, c + 1, 0, 1, GTK_FILL,
                         GTK_FILL, 0, 0);
    for (int i = 0; i < kRows; ++i) {
        row_widgets& w = d.rows[i];
        w.range = gtk_entry_new();
        w.hold = gtk_entry_new();
        for (GtkWidget* e : {w.range, w.hold}) {
            gtk_entry_set_width_chars(GTK_ENTRY(e), 8);
            g_signal_connect(e, "changed", G_CALLBACK(on_changed), nullptr);
        }
        std::string n = std::to_string(i + 1);
        atk_object_set_name(gtk_widget_get_accessible(w.range), ("Range " + n).c_str());
        atk_object_set_name(gtk_widget_get_accessible(w.hold), ("Hold " + n).c_str());
        w.before = cell_label("", 1);
        w.after = cell_label("", 1);
        w.difference = cell_label("", 1);
        GtkWidget* cells[] = {w.range, w.hold, w.before, w.after, w.difference};
        for (int c = 0; c < 5; ++c)
            gtk_table_attach(GTK_TABLE(table), cells[c], c, c + 1, i + 1, i + 2, GTK_FILL, GTK_FILL, 0, 0);
    }
    gtk_box_pack_start(GTK_BOX(box), table, FALSE, FALSE, 0);

    d.note = gtk_label_new("");
    gtk_label_set_line_wrap(GTK_LABEL(d.note), TRUE);
    gtk_widget_set_size_request(d.note, 470, -1);
    gtk_misc_set_alignment(GTK_MISC(d.note), 0, 0.5f);
    gtk_box_pack_start(GTK_BOX(box), d.note, FALSE, FALSE, 0);

    g_signal_connect(d.unit, "changed", G_CALLBACK(on_changed), nullptr);
    g_signal_connect(d.dialog, "response", G_CALLBACK(on_response), nullptr);
    g_signal_connect(d.dialog, "delete-event", G_CALLBACK(on_delete), nullptr);
    gtk_widget_show_all(box);
}

}  // namespace

void open_truing_dialog(GtkWindow* parent, const truing_owner& owner)
{
    g_owner = owner;
    if (!d.dialog) build(parent);
    // The profile's own output unit to start with; clicks read as MIL.
    const GunProfile& p = g_owner.profile();
    if (gtk_combo_box_get_active(GTK_COMBO_BOX(d.unit)) < 0)
        gtk_combo_box_set_active(GTK_COMBO_BOX(d.unit), p.eu == 2 ? 1 : p.eu == 3 ? 2 : 0);
    std::string title = std::string("Range (") + shown_unit_text(shown_quantity::range, g_owner.units()) + ")";
    gtk_label_set_text(GTK_LABEL(d.range_title), title.c_str());
    gtk_widget_show(d.dialog);
    gtk_window_present(GTK_WINDOW(d.dialog));
    recalculate();
}

void close_truing_dialog()
{
    if (d.dialog && gtk_widget_get_visible(d.dialog)) finish();
}

GtkWidget* truing_dialog_part(const char* name)
{
    if (!d.dialog) return nullptr;
    std::string n = name;
    if (n == "dialog") return d.dialog;
    if (n == "unit") return d.unit;
    if (n == "note") return d.note;
    if (n == "apply") return d.apply;
    if (n == "cancel") return d.cancel;
    static const char* const kinds[] = {"range", "hold", "before", "after", "difference"};
    for (int k = 0; k < 5; ++k) {
        std::string kind = kinds[k];
        if (n.size() == kind.size() + 1 && n.compare(0, kind.size(), kind) == 0) {
            int i = n.back() - '1';
            if (i < 0 || i >= kRows) return nullptr;
            const row_widgets& w = d.rows[i];
            GtkWidget* parts[] = {w.range, w.hold, w.before, w.after, w.difference};
            return parts[k];
        }
    }
    return nullptr;
}
