// The two profile lists on the real widgets: columns, filling from the
// folders, the refresh pump, selection loading a profile, folder mode.
#include <fstream>

#include "collections/window/profile_lists.h"
#include "collections_support.h"
#include "gui_support.h"
#include "settings/device_modes.h"
#include "shell/shell.h"

using Lists = Collections;

TEST_F(Lists, ColumnsAndStartState)
{
    for (auto [view, title] :
         {std::pair{"id_cls_tv", "-- Profiles on PC --"}, {"id_dls_tv", "-- Profiles on Device --"}}) {
        GtkTreeView* tv = GTK_TREE_VIEW(get_widget(view));
        GtkTreeViewColumn* c = gtk_tree_view_get_column(tv, 0);
        ASSERT_TRUE(c) << view;
        EXPECT_STREQ(gtk_tree_view_column_get_title(c), title);
        EXPECT_EQ(gtk_tree_view_column_get_min_width(c), 150);
        EXPECT_EQ(gtk_tree_view_get_column(tv, 1), nullptr);
        EXPECT_TRUE(gtk_tree_view_get_rules_hint(tv));
    }
    EXPECT_TRUE(list_rows("dls").empty());
    EXPECT_EQ(device_profile_count, 0);
}

TEST_F(Lists, RowsFollowTheFoldersWithTheirFiltersAndOrder)
{
    for (const char* n : {"GUN2.pro", "GUN10.pro", "alpha.pro", "Zed.pro", "UPPER.PRO", ".pro", "notes.txt"}) {
        std::ofstream(profiles_dir() / n) << "x";
        std::ofstream(device_dir() / n) << "x";
    }
    refresh_profile_lists();
    EXPECT_EQ(list_rows("cls"), (std::vector<std::string>{"", "GUN10", "GUN2", "Zed", "alpha"}));
    EXPECT_EQ(list_rows("dls"), (std::vector<std::string>{"", "GUN10", "GUN2", "UPPER", "Zed", "alpha"}));
    EXPECT_EQ(device_profile_count, 6);

    fs::remove_all(profiles_dir());
    fs::remove(device_dir() / "GUN2.pro");
    refresh_profile_lists();
    EXPECT_TRUE(list_rows("cls").empty());
    EXPECT_EQ(device_profile_count, 5);
}

TEST_F(Lists, OverfullDeviceFolderIsCappedAndSaysSo)
{
    for (int i = 0; i < 60; ++i) std::ofstream(device_dir() / ("G" + std::to_string(100 + i) + ".pro")) << "x";
    status_message("before");
    scan_device_profiles();
    EXPECT_EQ(list_rows("dls").size(), 50u);
    EXPECT_EQ(device_profile_count, 50);
    EXPECT_NE(status_text(), "before");
}

TEST_F(Lists, SelectingARowLoadsThatProfile)
{
    write_profile(profiles_dir() / "ALPHA.pro", 150.0f, "ALPHA");
    write_profile(profiles_dir() / "LONGERNAME12.pro", 222.0f, "LONGERNAME12");
    scan_pc_profiles();
    testing::internal::CaptureStdout();
    select_row("id_cls_tv", 1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Selected profile name ---> ../Profiles/LONGERNAME12.pro\n"), std::string::npos) << out;
    EXPECT_EQ(cvIn.bw, 222.0f);                              // loaded by its full name
    EXPECT_EQ(entry_text("id_profile_name"), "LONGERNAME");  // the entry keeps 10 characters
    EXPECT_EQ(label_markup_colour(), "Black");

    select_row("id_cls_tv", 0);
    EXPECT_EQ(cvIn.bw, 150.0f);
    EXPECT_EQ(entry_text("id_bw_entry"), "150");
    EXPECT_EQ(entry_text("id_profile_name"), "ALPHA");
}

TEST_F(Lists, RescanDoesNotLoadAnotherProfile)
{
    write_profile(profiles_dir() / "A.pro", 150.0f, "A");
    write_profile(profiles_dir() / "B.pro", 160.0f, "B");
    scan_pc_profiles();
    select_row("id_cls_tv", 0);
    set_entry_text("id_bw_entry", "199");
    press_enter("id_bw_entry");
    fs::remove(profiles_dir() / "A.pro");  // the selected row goes away
    refresh_profile_lists();
    EXPECT_EQ(list_rows("cls"), std::vector<std::string>{"B"});
    EXPECT_EQ(cvIn.bw, 199.0f);
    EXPECT_EQ(label_markup_colour(), "Red");
}

TEST_F(Lists, FolderModeReadsTheChosenFolder)
{
    write_profile(device_dir() / "MIRROR.pro", 100.0f, "MIRROR");
    fs::path unit = fs::path(test_root()) / "unit";
    fs::create_directories(unit);
    write_profile(unit / "WRIST.pro", 177.0f, "WRIST");

    set_device_kind(relay_mode != 0, true);
    scan_device_profiles();
    EXPECT_TRUE(list_rows("dls").empty());  // no folder chosen yet
    ASSERT_TRUE(set_kolvan_folder(unit.c_str()));
    scan_device_profiles();
    EXPECT_EQ(list_rows("dls"), std::vector<std::string>{"WRIST"});
    select_row("id_dls_tv", 0);
    EXPECT_EQ(cvIn.bw, 177.0f);
    EXPECT_EQ(entry_text("id_profile_name"), "WRIST");

    // Clearing the mirror leaves everything alone in folder mode.
    clear_device_folder();
    EXPECT_TRUE(fs::exists(device_dir() / "MIRROR.pro"));
    set_device_kind(relay_mode != 0, false);
    clear_device_folder();
    EXPECT_FALSE(fs::exists(device_dir() / "MIRROR.pro"));
    EXPECT_TRUE(list_rows("dls").empty());
    fs::remove_all(unit);
}

TEST_F(Lists, NewAndRemovedFilesUpdateTheListAndKeepTheSelection)
{
    for (const char* n : {"B", "D", "F"}) write_profile(profiles_dir() / (std::string(n) + ".pro"), 150.0f, n);
    scan_pc_profiles();
    select_row("id_cls_tv", 1);  // D
    for (const char* n : {"A", "C", "E", "G"}) std::ofstream(profiles_dir() / (std::string(n) + ".pro")) << "x";
    fs::remove(profiles_dir() / "F.pro");
    refresh_profile_lists();
    EXPECT_EQ(list_rows("cls"), (std::vector<std::string>{"A", "B", "C", "D", "E", "G"}));
    GtkTreeModel* model = nullptr;
    GtkTreeIter iter;
    ASSERT_TRUE(gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(get_widget("id_cls_tv"))),
                                                &model, &iter));
    gchar* text = nullptr;
    gtk_tree_model_get(model, &iter, 0, &text, -1);
    EXPECT_STREQ(text, "D");
    g_free(text);

    // Of both device-side spellings of one name, the row opens X.pro: X.PRO
    // is left out, and said so.
    std::ofstream(device_dir() / "X.pro") << "x";
    scan_device_profiles();
    std::ofstream(device_dir() / "X.PRO") << "x";
    std::ofstream(device_dir() / "W.pro") << "x";
    status_message("-");
    scan_device_profiles();
    EXPECT_EQ(list_rows("dls"), (std::vector<std::string>{"W", "X"}));
    EXPECT_EQ(status_text(), "Not every device profile could be listed: X.PRO (a case twin of X.pro)");
}

namespace {

// The rows highlighted in a list, by name.
std::vector<std::string> highlighted(const char* view_id)
{
    GtkTreeModel* model = nullptr;
    GtkTreeIter iter;
    GtkTreeSelection* s = gtk_tree_view_get_selection(GTK_TREE_VIEW(get_widget(view_id)));
    if (!gtk_tree_selection_get_selected(s, &model, &iter)) return {};
    gchar* text = nullptr;
    gtk_tree_model_get(model, &iter, 0, &text, -1);
    std::vector<std::string> rows{text ? text : ""};
    g_free(text);
    return rows;
}

}  // namespace

// Another row with unsaved changes asks first; Cancel keeps the form and the
// highlight, Save writes the shown profile before the other one loads.
TEST_F(Lists, AnotherRowAsksAboutUnsavedChanges)
{
    write_profile(profiles_dir() / "A.pro", 150.0f, "A");
    write_profile(profiles_dir() / "B.pro", 160.0f, "B");
    scan_pc_profiles();
    select_row("id_cls_tv", 0);
    struct Row {
        std::vector<DialogAnswer> answers;
        std::string shown;
        float saved_a;
    };
    const Row rows[] = {
        {{{GTK_RESPONSE_CANCEL}}, "A", 150.0f},
        {{{GTK_RESPONSE_DELETE_EVENT}}, "A", 150.0f},
        {{{GTK_RESPONSE_YES}, {GTK_RESPONSE_OK}}, "B", 171.0f},
    };
    for (const Row& r : rows) {
        set_entry_text("id_bw_entry", "171");
        answer_dialogs(r.answers);
        select_row("id_cls_tv", 1);
        pump_events();
        EXPECT_EQ(seen_dialogs().at(seen_dialogs().size() - r.answers.size()).text, "Save changes to A?");
        EXPECT_EQ(entry_text("id_profile_name"), r.shown);
        EXPECT_EQ(highlighted("id_cls_tv"), std::vector<std::string>{r.shown});
        EXPECT_EQ(entry_text("id_bw_entry"), r.shown == "A" ? "171" : "160");
        GunProfile a{};
        ASSERT_TRUE(read_profile_file((profiles_dir() / "A.pro").string(), a));
        EXPECT_EQ(a.bw, r.saved_a);
    }
    // Discard: the other profile loads, the file keeps what it had.
    set_entry_text("id_bw_entry", "199");
    answer_dialogs({{GTK_RESPONSE_NO}});
    select_row("id_cls_tv", 0);
    EXPECT_EQ(entry_text("id_bw_entry"), "171");
    EXPECT_EQ(highlighted("id_cls_tv"), std::vector<std::string>{"A"});
}

// One highlighted row in both lists, always the shown profile's; a refused
// file leaves the form, its name and the highlight as they were.
TEST_F(Lists, OnlyTheShownProfileIsHighlighted)
{
    write_profile(profiles_dir() / "PC.pro", 150.0f, "PC");
    write_profile(device_dir() / "DEV.pro", 140.0f, "DEV");
    std::ofstream(device_dir() / "SHORT.pro") << std::string(300, 'x');
    fs::create_directories(device_dir() / "DIR.pro");
    refresh_profile_lists();
    EXPECT_EQ(list_rows("dls"), (std::vector<std::string>{"DEV", "SHORT"}));

    select_row("id_cls_tv", 0);
    select_row("id_dls_tv", 0);
    EXPECT_TRUE(highlighted("id_cls_tv").empty());
    EXPECT_EQ(highlighted("id_dls_tv"), std::vector<std::string>{"DEV"});

    select_row("id_dls_tv", 1);
    EXPECT_EQ(status_text(), "Not loaded: SHORT.pro holds 300 bytes, too few for a profile (556 or 428)");
    EXPECT_EQ(highlighted("id_dls_tv"), std::vector<std::string>{"DEV"});
    EXPECT_EQ(entry_text("id_profile_name"), "DEV");
    EXPECT_EQ(cvIn.bw, 140.0f);

    click("id_btn_new");
    pump_events();
    EXPECT_TRUE(highlighted("id_cls_tv").empty());
    EXPECT_TRUE(highlighted("id_dls_tv").empty());
}
