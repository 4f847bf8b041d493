#include "editor/window/editor.h"

#include <cerrno>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "editor/form_model.h"
#include "profile/gun_profile.h"
#include "profile/units.h"
#include "shell/shell.h"

namespace {

// Entries in the order show_profile fills them.
struct EntryRef {
    const char* id;
    std::string* text;
};

std::vector<EntryRef> entries_in_show_order(FormState& f)
{
    std::vector<EntryRef> v;
    v.push_back({"id_bw_entry", &f.bw});
    v.push_back({"id_ssfV_entry", &f.ssfV});
    v.push_back({"id_ssfH_entry", &f.ssfH});
    v.push_back({"id_clickvalE", &f.clickvalE});
    v.push_back({"id_clickvalW", &f.clickvalW});
    v.push_back({"id_bh_entry", &f.bh});
    v.push_back({"id_zh_entry", &f.zh});
    v.push_back({"id_zo_entry", &f.zo});
    v.push_back({"id_bd_entry", &f.bd});
    v.push_back({"id_bl_entry", &f.bl});
    v.push_back({"id_tr_entry", &f.tr});
    v.push_back({"id_mv_entry", &f.mv});
    v.push_back({"id_zr_entry", &f.zr});
    static const char* const temp_ids[6] = {"id_temp_1_entry", "id_temp_2_entry", "id_temp_3_entry",
                                            "id_temp_4_entry", "id_temp_5_entry", "id_temp_6_entry"};
    static const char* const mv_ids[6] = {"id_mv_1_entry", "id_mv_2_entry", "id_mv_3_entry",
                                          "id_mv_4_entry", "id_mv_5_entry", "id_mv_6_entry"};
    static const char* const vel_ids[6] = {"id_vel_1", "id_vel_2", "id_vel_3", "id_vel_4", "id_vel_5", "id_vel_6"};
    static const char* const dsf_ids[6] = {"id_dsf_1", "id_dsf_2", "id_dsf_3", "id_dsf_4", "id_dsf_5", "id_dsf_6"};
    for (int i = 0; i < 6; ++i) v.push_back({temp_ids[i], &f.temp[i]});
    for (int i = 0; i < 6; ++i) v.push_back({mv_ids[i], &f.mvt[i]});
    for (int i = 0; i < 6; ++i) v.push_back({vel_ids[i], &f.vel[i]});
    for (int i = 0; i < 6; ++i) v.push_back({dsf_ids[i], &f.dsf[i]});
    v.push_back({"id_bc_entry", &f.bc});
    return v;
}

struct ComboRef {
    const char* id;
    std::string* text;
};

std::vector<ComboRef> combos(FormState& f)
{
    return {{"id_eunits", &f.eunits},
            {"id_wunits", &f.wunits},
            {"id_clicke_units", &f.clicke_units},
            {"id_clickw_units", &f.clickw_units}};
}

void set_entry(const char* id, const std::string& text)
{
    GtkWidget* w = get_widget(id);
    if (w) gtk_entry_set_text(GTK_ENTRY(w), text.c_str());
}

std::string entry_text(const char* id)
{
    GtkWidget* w = get_widget(id);
    return w ? gtk_entry_get_text(GTK_ENTRY(w)) : "";
}

// Selects the row whose text is `text`; none when no row has it.
void set_combo_text(GtkWidget* combo, const std::string& text)
{
    if (!combo) return;
    GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(combo));
    if (!model) return;  // not filled yet (start-up shows the profile first)
    GtkTreeIter iter;
    if (!text.empty() && gtk_tree_model_get_iter_first(model, &iter)) {
        do {
            if (model_text(model, &iter, kTextColumn) == text) {
                gtk_combo_box_set_active_iter(GTK_COMBO_BOX(combo), &iter);
                return;
            }
        } while (gtk_tree_model_iter_next(model, &iter));
    }
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), -1);
}

void set_label(const char* id, const char* text)
{
    GtkWidget* w = get_widget(id);
    if (w) gtk_label_set_text(GTK_LABEL(w), text);
}

void set_click_row_sensitive(bool sensitive, const char* entry, const char* label, const char* combo)
{
    gtk_widget_set_sensitive(get_widget(entry), sensitive);
    gtk_widget_set_sensitive(get_widget(label), sensitive);
    gtk_widget_set_sensitive(get_widget(combo), sensitive);
}

// The G1/G7 radios in their box for a standard curve; for a custom curve the
// box is insensitive and the custom-curve note shows instead.
void show_drag_curve_controls(bool custom)
{
    GtkWidget* box = get_widget("id_bc_hbox");
    if (!custom) {
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(get_widget(cvIn.dc == 0 ? "id_g1_btn" : "id_g7_btn")), TRUE);
        gtk_widget_set_sensitive(box, TRUE);
        gtk_widget_show(box);
        // A custom curve chosen from the library hid the caption with the box.
        gtk_widget_show(get_widget("id_drag_curve_lbl"));
        gtk_widget_hide(get_widget("id_custom_dc_lbl"));
    } else {
        gtk_widget_set_sensitive(box, FALSE);
        gtk_widget_show(get_widget("id_custom_dc_lbl"));
    }
}

// The form as show_profile left it, in the unit system it was shown in: what
// the user typed since is told apart from it.
FormState g_shown_form;
int g_shown_units = kUnitsMixed;
// The record changed since it was loaded, saved or made new in a way the form
// no longer shows against g_shown_form (a bullet chosen, typed values kept
// over a unit switch).
bool g_changed = false;
// The shown profile is not on disk as shown: a new profile, until saved.
bool g_new_unsaved = false;
// show_profile is filling the widgets: their change handlers see no edit.
bool g_showing = false;

FormState read_form_texts()
{
    FormState f;
    for (const EntryRef& e : entries_in_show_order(f)) *e.text = entry_text(e.id);
    for (const ComboRef& c : combos(f)) *c.text = combo_active_text(get_widget(c.id));
    f.g1_active = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(get_widget("id_g1_btn")));
    return f;
}

// The form shows the record as loaded, saved or made new.
void mark_unchanged()
{
    g_shown_form = read_form_texts();
    g_shown_units = input_units;
    g_changed = false;
}

// The label follows what the user did: red while the shown profile differs
// from the one loaded or saved (or is new), black again when it does not.
void refresh_profile_mark()
{
    mark_profile_state(g_new_unsaved || profile_has_changes() ? profile_unsaved : profile_saved);
}

// The texts typed since the form was shown, and only those, read into `p`;
// the fields the user left alone keep their stored bits. Then the values a
// read-back always sets, which no form field shows.
bool apply_typed_texts(GunProfile& p)
{
    bool changed = apply_typed_changes(g_shown_form, read_form_texts(), g_shown_units, p);
    p.alt = 0.0f;
    p.temp = kStandardTemperatureF;
    p.pres = kStandardPressureInHg;
    p.maxr = 1094.0f;
    return changed;
}

// The combo `combo_id` shows the text column of its store through `renderer`.
void pack_text_renderer(GtkCellRenderer* renderer, const char* combo_id)
{
    GtkCellLayout* layout = GTK_CELL_LAYOUT(get_widget(combo_id));
    gtk_cell_layout_pack_start(layout, renderer, TRUE);
    gtk_cell_layout_set_attributes(layout, renderer, "text", kTextColumn, NULL);
}

// Fills a unit store with the texts of unit codes 1 to `last` and makes the
// first row the active row of both combos.
void fill_unit_store(const char* store_id, int last, const char* combo_a, const char* combo_b)
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

}  // namespace

bool profile_has_changes()
{
    return g_changed || form_has_changes(g_shown_form, read_form_texts(), g_shown_units, cvIn);
}

bool settle_unsaved_changes()
{
    if (!profile_has_changes()) return true;
    std::string name = entry_text("id_profile_name");
    switch (ask_save_changes(name.c_str())) {
    case change_answer::save: return window_hooks.save_profile();
    case change_answer::discard: return true;
    case change_answer::cancel: break;
    }
    return false;
}

void show_profile()
{
    g_showing = true;
    FormState f;
    f.g1_active = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(get_widget("id_g1_btn")));
    profile_to_form(cvIn, input_units, f);

    std::vector<EntryRef> entries = entries_in_show_order(f);
    set_entry(entries[0].id, *entries[0].text);  // bullet weight comes first

    show_drag_curve_controls(f.custom_curve);

    for (size_t i = 1; i < 5; ++i) set_entry(entries[i].id, *entries[i].text);  // ssf, click values
    for (const ComboRef& c : combos(f)) set_combo_text(get_widget(c.id), *c.text);
    for (size_t i = 5; i < entries.size(); ++i) set_entry(entries[i].id, *entries[i].text);
    g_shown_form = read_form_texts();
    g_shown_units = input_units;
    g_showing = false;
    window_hooks.form_changed();
}

void update_unit_labels()
{
    const char* length = length_unit_label(input_units);
    for (const char* id : {"id_bh_unit_lbl", "id_bd_unit_lbl", "id_bl_unit_lbl", "id_zo_unit_lbl", "id_zh_unit_lbl"})
        set_label(id, length);
    set_label("id_mv_unit_lbl", velocity_unit_label(input_units));
    set_label("id_zr_unit_lbl", range_unit_label(input_units));
    set_label("id_tr_unit_lbl", length);
    show_profile();
}

void read_form_into_profile()
{
    // What the user typed is in the record now; the form as it stands is
    // what later typing is told apart from.
    if (apply_typed_texts(cvIn)) g_changed = true;
    g_shown_form = read_form_texts();
    g_shown_units = input_units;
    refresh_profile_mark();
    window_hooks.form_changed();
}

void on_form_choice_changed()
{
    if (!g_showing) window_hooks.form_changed();
}

void read_form_into(GunProfile& p) { apply_typed_texts(p); }

void read_shown_profile(GunProfile& p)
{
    p = cvIn;
    read_form_into(p);
    p.temp = cvIn.temp;
    p.pres = cvIn.pres;
    p.maxr = cvIn.maxr;
    set_profile_name(p, gtk_entry_get_text(GTK_ENTRY(get_widget("id_profile_name"))));
}

void show_chosen_bullet(bool custom_curve)
{
    // A custom curve just chosen hides the radios and their caption too.
    if (custom_curve) {
        gtk_widget_hide(get_widget("id_bc_hbox"));
        gtk_widget_hide(get_widget("id_drag_curve_lbl"));
    }
    show_profile();
    g_changed = true;
}

void on_form_entry_changed()
{
    if (!g_showing) refresh_profile_mark();
}

void new_profile(GtkWidget* widget)
{
    // The button asks first; start-up has nothing to lose.
    if (widget && !settle_unsaved_changes()) return;
    apply_new_profile_values(cvIn);
    set_entry("id_profile_name", "UNSAVED");
    show_profile();
    mark_unchanged();
    g_new_unsaved = true;
    mark_profile_state(profile_unsaved);
    window_hooks.profile_left_lists();
}

bool load_profile_file(const char* path)
{
    const ProfileFileRead r = read_profile_file(path, cvIn);
    const std::string file = file_name_of(path);
    if (r.not_a_profile) {
        // "SHORT.pro holds 300 bytes, too few for a profile (556 or 428)": the reason after its "it ".
        status_failure("Not loaded: %s %s", file.c_str(), r.reason.c_str() + 3);
        return false;
    }
    show_profile();
    mark_unchanged();
    g_new_unsaved = false;
    mark_profile_state(profile_saved);
    if (!r.read) status_failure("Could not load %s: %s", file.c_str(), system_reason(r.error).c_str());
    return r.read;
}

bool write_profile_file(const char* path, std::string* reason)
{
    std::string error;
    errno = 0;
    bool written = write_profile_bytes(path, cvIn, &error);
    int code = errno;
    if (written) {
        mark_unchanged();
        g_new_unsaved = false;
        mark_profile_state(profile_saved);
    } else if (reason) {
        *reason = system_reason(code);
    } else {
        status_message("Could not save profile to disk...\n");
    }
    window_hooks.profile_folders_changed();
    return written;
}

void on_input_units_toggled(GtkWidget* widget)
{
    // Only what is shown changes; the stored values keep their bits. What was typed and not yet confirmed with Enter
    // stays, in the new units.
    if (apply_typed_changes(g_shown_form, read_form_texts(), g_shown_units, cvIn)) g_changed = true;
    if (widget == get_widget("id_mix_units")) input_units = kUnitsMixed;
    else if (widget == get_widget("id_english_units")) input_units = kUnitsEnglish;
    else if (widget == get_widget("id_metric_units")) input_units = kUnitsMetric;
    update_unit_labels();
    refresh_profile_mark();
}

void on_output_units_changed(GtkWidget* widget)
{
    // A choice of the user's is an edit of the profile; the combos set by
    // show_profile are none.
    if (!g_showing) {
        refresh_profile_mark();
        window_hooks.form_changed();
    }
    bool elevation = widget == get_widget("id_eunits");
    if (!elevation && widget != get_widget("id_wunits")) return;
    std::string text = combo_active_text(widget);
    int code = unit_code_from_text(text.c_str(), true);
    if (code == 0) return;
    bool clicks = code == kUnitCodeClicks;
    if (elevation) set_click_row_sensitive(clicks, "id_clickvalE", "id_lbl_99", "id_clicke_units");
    else set_click_row_sensitive(clicks, "id_clickvalW", "id_lbl_1", "id_clickw_units");
}

void set_up_form()
{
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
}
