// The Solution Preview on the real widgets: it shows the form as it is now,
// follows Enter and choices without touching the profile or its saved mark,
// shows the unit systems, the shot's conditions and refusals, saves and
// prints the range card, and opens and closes from the menu and keyboard.
#include <gtest/gtest.h>

#include <gdk/gdkkeysyms.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "ballistics/window/preview_window.h"
#include "editor/window/editor.h"
#include "gui_support.h"
#include "profile/gun_profile.h"
#include "profile/units.h"
#include "shell/shell.h"

namespace {

GtkTreeModel* table() { return GTK_TREE_MODEL(get_object("id_preview_ls")); }

std::string cell(int row, int column)
{
    GtkTreeIter it;
    if (!gtk_tree_model_iter_nth_child(table(), &it, nullptr, row)) return "";
    gchar* text = nullptr;
    gtk_tree_model_get(table(), &it, column, &text, -1);
    std::string s = text ? text : "";
    g_free(text);
    return s;
}

// The cell in `column` of the row whose range reads `range`.
std::string at_range(const char* range, int column)
{
    for (int r = 0; r < gtk_tree_model_iter_n_children(table(), nullptr); ++r)
        if (cell(r, 0) == range) return cell(r, column);
    return "";
}

std::string column_title(int i)
{
    return gtk_tree_view_column_get_title(gtk_tree_view_get_column(GTK_TREE_VIEW(get_widget("id_pv_table")), i));
}

std::string assumptions()
{
    GtkTextBuffer* b = gtk_text_view_get_buffer(GTK_TEXT_VIEW(get_widget("id_pv_assumptions")));
    GtkTextIter s, e;
    gtk_text_buffer_get_bounds(b, &s, &e);
    gchar* t = gtk_text_buffer_get_text(b, &s, &e, FALSE);
    std::string text = t;
    g_free(t);
    return text;
}

std::string first_bytes(const std::string& path, size_t n)
{
    std::ifstream f(path, std::ios::binary);
    std::string s(n, '\0');
    f.read(&s[0], static_cast<std::streamsize>(n));
    return s.substr(0, static_cast<size_t>(f.gcount()));
}

long file_size(const std::string& path)
{
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    return f ? static_cast<long>(f.tellg()) : -1;
}

// What the shown file chooser would save to; then cancels it.
std::string g_chosen;
gboolean read_chooser(gpointer)
{
    GList* tops = gtk_window_list_toplevels();
    for (GList* t = tops; t; t = t->next)
        if (GTK_IS_FILE_CHOOSER_DIALOG(t->data) && gtk_widget_get_visible(GTK_WIDGET(t->data))) {
            gchar* f = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(t->data));
            g_chosen = f ? f : "";
            g_free(f);
            gtk_dialog_response(GTK_DIALOG(t->data), GTK_RESPONSE_CANCEL);
            g_list_free(tops);
            return FALSE;
        }
    g_list_free(tops);
    return TRUE;
}

constexpr int kVelocity = 5;
constexpr int kWindage = 3;

class Preview : public testing::Test {
protected:
    void SetUp() override
    {
        set_toggle("id_mix_units", true);
        std::memset(&cvIn, 0, sizeof cvIn);
        new_profile(nullptr);
        open_solution_preview(nullptr);
        pump_events();
    }
    void TearDown() override
    {
        hide_solution_preview(nullptr);
        set_toggle("id_mix_units", true);
        pump_events();
    }
};

}  // namespace

TEST_F(Preview, FollowsTheFormWithoutTouchingTheProfileOrItsMark)
{
    GunProfile saved = cvIn;
    set_profile_name(saved, "PREVIEW");
    std::string path = test_root() + "/PREVIEW.pro";
    ASSERT_TRUE(write_profile_bytes(path, saved));
    window_hooks.load_profile(path.c_str());
    pump_events();
    ASSERT_EQ(label_markup_colour(), "Black");
    EXPECT_EQ(cell(0, kVelocity), "2600");
    const std::string g1_at_1000 = at_range("1000", kVelocity);

    // A choice that does not mark the profile: the preview follows, the
    // record and the black label stay.
    set_toggle("id_g7_btn", true);
    pump_events();
    EXPECT_NE(at_range("1000", kVelocity), g1_at_1000);
    EXPECT_NE(assumptions().find("G7"), std::string::npos) << assumptions();
    EXPECT_EQ(cvIn.dc, 0);
    EXPECT_EQ(label_markup_colour(), "Black");
    set_toggle("id_g1_btn", true);
    pump_events();
    EXPECT_EQ(at_range("1000", kVelocity), g1_at_1000);

    // Enter in an entry: the preview shows the new value.
    set_entry_text("id_mv_entry", "2800");
    press_enter("id_mv_entry");
    pump_events();
    EXPECT_EQ(cell(0, kVelocity), "2800");
    // The drop scale factor table too, though the editor reads it only
    // with the rest of the form.
    const std::string unscaled = at_range("1000", kVelocity);
    set_entry_text("id_vel_1", "3.0");
    set_entry_text("id_dsf_1", "1.20");
    press_enter("id_dsf_1");
    pump_events();
    EXPECT_NE(at_range("1000", kVelocity), unscaled);
    set_entry_text("id_vel_1", "0.00");
    set_entry_text("id_dsf_1", "1.000");
    press_enter("id_vel_1");
    pump_events();
    EXPECT_EQ(at_range("1000", kVelocity), unscaled);

    // Typed but not entered: the preview opened now shows it; cvIn keeps
    // what the last Enter stored.
    set_entry_text("id_mv_entry", "2900");
    open_solution_preview(nullptr);
    pump_events();
    EXPECT_EQ(cell(0, kVelocity), "2900");
    EXPECT_FLOAT_EQ(cvIn.mv, 2800.0f);
    std::remove(path.c_str());
}

TEST_F(Preview, ShowsEachUnitSystem)
{
    struct {
        const char* radio;
        const char *range_title, *drop_title, *temperature, *wind_unit, *zero_row;
    } cases[] = {
        // The new profile's zero, 109.1 yd, as stored: not the form's rounding.
        {"id_english_units", "Range\n(yd)", "Drop\n(in)", "59", "mph", "109.1"},
        {"id_metric_units", "Range\n(m)", "Drop\n(cm)", "15", "m/s", "99.8"},
        {"id_mix_units", "Range\n(m)", "Drop\n(in)", "59", "mph", "99.8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.radio);
        set_toggle(c.radio, true);
        pump_events();
        EXPECT_EQ(column_title(0), c.range_title);
        EXPECT_EQ(column_title(1), c.drop_title);
        EXPECT_EQ(entry_text("id_pv_temp"), c.temperature);
        EXPECT_EQ(label_text("id_pv_wind_unit"), c.wind_unit);
        EXPECT_EQ(entry_text("id_pv_step"), "100");
        EXPECT_EQ(at_range("100", 0), "100");
        EXPECT_EQ(at_range(c.zero_row, 9), "Zero");
    }
}

TEST_F(Preview, ConditionsRefusalsTheEndNoteAndTheProfileAtmosphere)
{
    const std::string calm = at_range("500", kWindage);
    set_entry_text("id_pv_wind", "10");
    set_entry_text("id_pv_wind_dir", "90");
    press_enter("id_pv_wind_dir");
    pump_events();
    EXPECT_NE(at_range("500", kWindage), calm);
    EXPECT_LT(preview_solution().rows.back().windage_in, -10);
    EXPECT_GT(preview_solution().rows.back().windage_hold, 0);
    EXPECT_NE(assumptions().find("wind 10 mph from 90"), std::string::npos) << assumptions();
    std::string chart = atk_object_get_description(gtk_widget_get_accessible(get_widget("id_pv_chart")));
    EXPECT_NE(chart.find("Crosses the line of sight at 100 m."), std::string::npos) << chart;

    set_entry_text("id_bc_entry", "0");
    press_enter("id_bc_entry");
    pump_events();
    EXPECT_TRUE(is_visible("id_pv_missing"));
    EXPECT_FALSE(preview_solution().missing.empty());
    EXPECT_EQ(label_text("id_pv_missing"), preview_solution().missing);
    EXPECT_EQ(gtk_tree_model_iter_n_children(table(), nullptr), 0);

    set_entry_text("id_bc_entry", "0.475");
    press_enter("id_bc_entry");

    // Far enough for the bullet to slow below 100 ft/s: the rows end there
    // with the solver's note under the table.
    set_entry_text("id_pv_range", "15000");
    set_entry_text("id_pv_step", "1000");
    press_enter("id_pv_step");
    pump_events();
    ASSERT_FALSE(preview_solution().end_note.empty());
    EXPECT_TRUE(is_visible("id_pv_end_note"));
    EXPECT_EQ(label_text("id_pv_end_note"), preview_solution().end_note);

    // The profile's atmosphere again, and the default range and step.
    click("id_pv_reset");
    pump_events();
    EXPECT_EQ(entry_text("id_pv_wind"), "0");
    EXPECT_EQ(entry_text("id_pv_range"), "1000");
    EXPECT_EQ(entry_text("id_pv_step"), "100");
    EXPECT_FALSE(is_visible("id_pv_end_note"));
}

TEST_F(Preview, SavesAndPrintsTheRangeCard)
{
    struct {
        const char* name;
        const char* starts;
    } cases[] = {{"card.pdf", "%PDF"}, {"card.png", "\x89PNG"}, {"card.csv", "Range (m),Drop (in)"}};
    for (const auto& c : cases) {
        std::string path = test_root() + "/" + c.name;
        EXPECT_TRUE(save_range_card_to(path)) << c.name;
        EXPECT_EQ(first_bytes(path, std::strlen(c.starts)), c.starts) << c.name;
        std::remove(path.c_str());
    }
    // Printed to a file, the card is about the size of the saved one (the
    // same fonts, embedded once).
    std::string printed = test_root() + "/printed.pdf", saved = test_root() + "/saved.pdf";
    EXPECT_TRUE(print_range_card_to(printed.c_str()));
    EXPECT_EQ(status_text(), "Range card printed to " + printed);  // not the card saved before
    EXPECT_TRUE(save_range_card_to(saved));
    EXPECT_EQ(first_bytes(printed, 4), "%PDF");
    EXPECT_LT(file_size(printed), 2 * file_size(saved));
    std::remove(printed.c_str());
    std::remove(saved.c_str());

    // The chooser opens among the profiles with the profile's name filled in.
    g_timeout_add(20, read_chooser, nullptr);
    save_range_card(nullptr);
    EXPECT_EQ(g_chosen, test_root() + "/Profiles/UNSAVED-range-card.pdf");
    EXPECT_FALSE(save_range_card_to(test_root() + "/no-such-folder/card.pdf"));
}

TEST_F(Preview, OpensFromItsMenuItemWithCtrlTAndClosesWithEscape)
{
    hide_solution_preview(nullptr);
    bool ctrl_t = false;
    for (GSList* g = gtk_accel_groups_from_object(get_object("id_mw")); g; g = g->next) {
        guint n = 0;
        GtkAccelGroupEntry* e = gtk_accel_group_query(GTK_ACCEL_GROUP(g->data), GDK_KEY_t, GDK_CONTROL_MASK, &n);
        ctrl_t |= n > 0 && e;
    }
    EXPECT_TRUE(ctrl_t);
    gtk_menu_item_activate(GTK_MENU_ITEM(get_widget("id_mi_preview")));
    pump_events();
    EXPECT_TRUE(is_visible("id_preview_win"));
    gtk_accel_groups_activate(get_object("id_preview_win"), GDK_KEY_Escape, GdkModifierType(0));
    pump_events();
    EXPECT_FALSE(is_visible("id_preview_win"));
}
