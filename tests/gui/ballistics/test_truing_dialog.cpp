// The truing dialog of the preview: two typed holds, Cancel that changes
// nothing, and Apply that puts the trued velocity into the form as an edit.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "ballistics/window/preview_window.h"
#include "ballistics/window/solution_table.h"
#include "ballistics/window/truing_dialog.h"
#include "editor/window/editor.h"
#include "gui_support.h"
#include "profile/gun_profile.h"
#include "profile/units.h"
#include "shell/shell.h"

namespace {

std::string text_of(const char* part)
{
    GtkWidget* w = truing_dialog_part(part);
    return GTK_IS_ENTRY(w) ? gtk_entry_get_text(GTK_ENTRY(w)) : gtk_label_get_text(GTK_LABEL(w));
}

void type(const char* part, const std::string& text)
{
    gtk_entry_set_text(GTK_ENTRY(truing_dialog_part(part)), text.c_str());
}

// The mark cell of the preview's row at `range`.
std::string mark_at(const char* range)
{
    GtkTreeModel* m = GTK_TREE_MODEL(get_object("id_preview_ls"));
    GtkTreeIter it;
    for (bool ok = gtk_tree_model_get_iter_first(m, &it); ok; ok = gtk_tree_model_iter_next(m, &it)) {
        gchar *r = nullptr, *mark = nullptr;
        gtk_tree_model_get(m, &it, 0, &r, kTableMarkColumn, &mark, -1);
        std::string rs = r ? r : "", ms = mark ? mark : "";
        g_free(r);
        g_free(mark);
        if (rs == range) return ms;
    }
    return "?";
}

}  // namespace

TEST(TruingDialog, TwoHoldsCancelThenApply)
{
    set_toggle("id_english_units", true);
    std::memset(&cvIn, 0, sizeof cvIn);
    new_profile(nullptr);
    GunProfile saved = cvIn;
    set_profile_name(saved, "TRUING");
    const std::string path = test_root() + "/TRUING.pro";
    ASSERT_TRUE(write_profile_bytes(path, saved));
    window_hooks.load_profile(path.c_str());
    open_solution_preview(nullptr);
    pump_events();
    const GunProfile before = cvIn;

    // The holds of the same rifle 50 ft/s faster, in MIL.
    GunProfile faster = preview_profile();
    faster.mv += 50;
    const char* ranges[] = {"500", "700"};
    std::string holds[2];
    for (int i = 0; i < 2; ++i) {
        double yd = std::stod(ranges[i]);
        solution s = solve_profile(faster, conditions_from_profile(faster), yd, yd);
        holds[i] = std::to_string(s.rows.back().elevation_hold);
    }
    ASSERT_EQ(faster.eu, 1);

    click("id_pv_true");
    pump_events();
    ASSERT_TRUE(gtk_widget_get_visible(truing_dialog_part("dialog")));
    gchar* unit = gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(truing_dialog_part("unit")));
    EXPECT_STREQ(unit, "MIL");
    g_free(unit);
    for (int i = 0; i < 2; ++i) {
        type(("range" + std::to_string(i + 1)).c_str(), ranges[i]);
        type(("hold" + std::to_string(i + 1)).c_str(), holds[i]);
    }
    pump_events();
    EXPECT_EQ(text_of("after1"), text_of("hold1").substr(0, text_of("after1").size()));
    EXPECT_NE(text_of("before1"), text_of("after1"));
    EXPECT_EQ(text_of("before3"), "");
    EXPECT_NE(text_of("note").find("2650"), std::string::npos) << text_of("note");
    EXPECT_EQ(mark_at("500"), "Observed");
    EXPECT_EQ(mark_at("600"), "");

    // Cancel: nothing changes, the marks go.
    gtk_button_clicked(GTK_BUTTON(truing_dialog_part("cancel")));
    pump_events();
    EXPECT_FALSE(gtk_widget_get_visible(truing_dialog_part("dialog")));
    EXPECT_EQ(std::memcmp(&cvIn, &before, sizeof cvIn), 0);
    EXPECT_EQ(entry_text("id_mv_entry"), "2600");
    EXPECT_EQ(label_markup_colour(), "Black");
    EXPECT_EQ(mark_at("500"), "");

    // Apply: the form shows the trued velocity, the profile is changed.
    click("id_pv_true");
    pump_events();
    gtk_button_clicked(GTK_BUTTON(truing_dialog_part("apply")));
    pump_events();
    EXPECT_FALSE(gtk_widget_get_visible(truing_dialog_part("dialog")));
    EXPECT_EQ(entry_text("id_mv_entry"), "2650");
    EXPECT_NEAR(cvIn.mv, 2650, 0.5);
    EXPECT_EQ(label_markup_colour(), "Red");
    EXPECT_EQ(preview_solution().mv_fps, cvIn.mv);
    hide_solution_preview(nullptr);
    std::remove(path.c_str());
}
