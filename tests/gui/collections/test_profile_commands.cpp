// Save, Copy Profile, Delete and the copies between the two sides, each with
// its dialogs answered both ways, the overwrite question, the device limit,
// unsafe names and folder mode.
#include <fstream>

#include "collections/window/profile_commands.h"
#include "collections/window/profile_lists.h"
#include "collections_support.h"
#include "gui_support.h"
#include "settings/device_modes.h"
#include "shell/shell.h"

namespace {

class Commands : public Collections {
protected:
    void save_as(const char* name)
    {
        set_entry_text("id_profile_name", name);
        answer_dialogs({{GTK_RESPONSE_OK}});
        click("id_btn_save");
        pump_events();
    }
    void name_profile(const char* name) { set_entry_text("id_profile_name", name); }
};

std::vector<std::string> entries(const fs::path& dir)
{
    std::vector<std::string> v;
    for (const auto& e : fs::directory_iterator(dir)) v.push_back(e.path().filename().string());
    std::sort(v.begin(), v.end());
    return v;
}

}  // namespace

TEST_F(Commands, SaveWritesTheRecordConfirmsAndListsIt)
{
    set_entry_text("id_bw_entry", "168");
    save_as("GUN A");
    fs::path file = profiles_dir() / "GUN A.pro";
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(fs::file_size(file), 556u);
    GunProfile p{};
    ASSERT_TRUE(read_profile_file(file.string(), p));
    EXPECT_EQ(p.bw, 168.0f);
    EXPECT_STREQ(p.name, "GUN A");
    EXPECT_EQ(p.maxr, 1000.0f);  // save-time values applied
    ASSERT_EQ(seen_dialogs().size(), 1u);
    EXPECT_EQ(seen_dialogs()[0].title, "Profile Saved");
    EXPECT_EQ(seen_dialogs()[0].text, "Profile saved as: GUN A");
    EXPECT_EQ(list_rows("cls"), std::vector<std::string>{"GUN A"});
    EXPECT_EQ(label_markup_colour(), "Black");
    EXPECT_EQ(entries(profiles_dir()), std::vector<std::string>{"GUN A.pro"});  // no temporary left
}

TEST_F(Commands, ReservedNameIsRefusedOnlyInItsExactSpelling)
{
    save_as("NEW GUN");
    ASSERT_EQ(seen_dialogs().size(), 1u);
    EXPECT_EQ(seen_dialogs()[0].title, "Profile Not Saved");
    EXPECT_EQ(seen_dialogs()[0].text, "This profile name is reserved.  Please rename the profile...");
    EXPECT_TRUE(entries(profiles_dir()).empty());
    EXPECT_EQ(label_markup_colour(), "Red");

    save_as("new gun");
    EXPECT_TRUE(fs::exists(profiles_dir() / "new gun.pro"));
}

TEST_F(Commands, PercentSignAndEmptyNameAreSavedLiterally)
{
    save_as("100%s");
    EXPECT_EQ(seen_dialogs().back().text, "Profile saved as: 100%s");
    save_as("");
    EXPECT_TRUE(fs::exists(profiles_dir() / ".pro"));
    EXPECT_EQ(list_rows("cls"), (std::vector<std::string>{"", "100%s"}));
}

TEST_F(Commands, SaveReplacesAnExistingFileWithoutAsking)
{
    save_as("SAME");
    set_entry_text("id_bw_entry", "201");
    save_as("SAME");
    EXPECT_EQ(seen_dialogs().size(), 2u);
    GunProfile p{};
    ASSERT_TRUE(read_profile_file((profiles_dir() / "SAME.pro").string(), p));
    EXPECT_EQ(p.bw, 201.0f);
}

TEST_F(Commands, FirstSaveCreatesTheMissingProfileFolder)
{
    fs::remove_all(profiles_dir());
    save_as("FIRST");
    EXPECT_TRUE(fs::exists(profiles_dir() / "FIRST.pro"));
}

TEST_F(Commands, NamesThatCouldLeaveTheFolderTouchNothing)
{
    const std::pair<const char*, const char*> refused[] = {
        {"../ESCAPE", "/"}, {"a/b", "/"}, {"..", ".."}, {"tab\tx", "a control character (a tab, a line end)"}};
    for (const auto& [bad, why] : refused) {
        name_profile(bad);
        click("id_btn_save");
        pump_events();
        EXPECT_EQ(status_text(), std::string("Could not save profile to disk: a profile name cannot contain ") + why)
            << bad;
        EXPECT_EQ(label_markup_colour(), "Red");
    }
    EXPECT_TRUE(seen_dialogs().empty());
    EXPECT_TRUE(entries(profiles_dir()).empty());
    EXPECT_FALSE(fs::exists(fs::path(test_root()) / "ESCAPE.pro"));

    write_profile(fs::path(test_root()) / "OUTSIDE.pro", 1.0f, "OUTSIDE");
    name_profile("../OUTSIDE");
    answer_dialogs({{GTK_RESPONSE_OK}});
    click("id_pc_pro_del");
    pump_events();
    EXPECT_TRUE(fs::exists(fs::path(test_root()) / "OUTSIDE.pro"));
    for (const char* btn : {"id_cp_to_dev_btn", "id_cp_to_pc_btn"}) {
        click(btn);
        pump_events();
        EXPECT_EQ(shown_overwrite_question(), nullptr) << btn;
    }
    EXPECT_TRUE(entries(device_dir()).empty());
    fs::remove(fs::path(test_root()) / "OUTSIDE.pro");
}

TEST_F(Commands, CopyProfileSavesUnderTheNewNameAndKeepsTheOld)
{
    save_as("OLD");
    name_profile("OLD");
    answer_dialogs({{kAnswerWithEnter, "NEWER"}, {GTK_RESPONSE_OK}});
    click("id_btn_copy");
    pump_events();
    ASSERT_EQ(seen_dialogs().size(), 3u);
    EXPECT_EQ(seen_dialogs()[1].title, "Copy Profile");
    EXPECT_EQ(seen_dialogs()[2].text, "Profile saved as: NEWER");
    EXPECT_EQ(entry_text("id_profile_name"), "NEWER");
    EXPECT_EQ(entries(profiles_dir()), (std::vector<std::string>{"NEWER.pro", "OLD.pro"}));
    EXPECT_EQ(list_rows("cls"), (std::vector<std::string>{"NEWER", "OLD"}));
}

TEST_F(Commands, CopyProfileCancelledChangesNothing)
{
    name_profile("KEEP");
    set_entry_text("id_bw_entry", "133");
    float bw_before = cvIn.bw;
    answer_dialogs({{GTK_RESPONSE_CANCEL, "OTHER"}});
    click("id_btn_copy");
    pump_events();
    EXPECT_EQ(entry_text("id_profile_name"), "KEEP");
    EXPECT_EQ(cvIn.bw, bw_before);
    EXPECT_TRUE(entries(profiles_dir()).empty());
}

TEST_F(Commands, DeleteAsksFirstOnEitherSide)
{
    write_profile(profiles_dir() / "GONE.pro", 1.0f, "GONE");
    write_profile(device_dir() / "GONE.pro", 1.0f, "GONE");
    refresh_profile_lists();
    name_profile("GONE");

    answer_dialogs({{GTK_RESPONSE_CANCEL}});
    click("id_pc_pro_del");
    pump_events();
    EXPECT_TRUE(fs::exists(profiles_dir() / "GONE.pro"));
    ASSERT_EQ(seen_dialogs().size(), 1u);
    EXPECT_EQ(seen_dialogs()[0].title, "Delete Profile from PC");
    EXPECT_EQ(seen_dialogs()[0].entry, "GONE");
    EXPECT_FALSE(seen_dialogs()[0].entry_sensitive);

    answer_dialogs({{GTK_RESPONSE_OK}});
    click("id_pc_pro_del");
    pump_events();
    EXPECT_FALSE(fs::exists(profiles_dir() / "GONE.pro"));
    EXPECT_TRUE(list_rows("cls").empty());
    EXPECT_EQ(list_rows("dls"), std::vector<std::string>{"GONE"});

    testing::internal::CaptureStdout();
    answer_dialogs({{GTK_RESPONSE_OK}});
    click("id_device_pro_del");
    pump_events();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(seen_dialogs().back().title, "Delete Profile from Device");
    EXPECT_NE(out.find("---> Delete command:  ../Device/GONE.pro\n"), std::string::npos) << out;
    EXPECT_TRUE(entries(device_dir()).empty());
    EXPECT_TRUE(list_rows("dls").empty());
    EXPECT_EQ(device_profile_count, 0);
}

TEST_F(Commands, CopyToDeviceAndBackWithTheOverwriteQuestion)
{
    write_profile(profiles_dir() / "G.pro", 150.0f, "G");
    scan_pc_profiles();
    name_profile("G");
    click("id_cp_to_dev_btn");
    pump_events();
    EXPECT_EQ(shown_overwrite_question(), nullptr);
    EXPECT_EQ(status_text(), "Copied G to the device");
    EXPECT_EQ(file_bytes(device_dir() / "G.pro"), file_bytes(profiles_dir() / "G.pro"));
    EXPECT_EQ(list_rows("dls"), std::vector<std::string>{"G"});
    EXPECT_EQ(device_profile_count, 1);

    write_profile(profiles_dir() / "G.pro", 160.0f, "G");
    std::string old_device = file_bytes(device_dir() / "G.pro");
    for (int response : {GTK_RESPONSE_NO, GTK_RESPONSE_DELETE_EVENT}) {
        click("id_cp_to_dev_btn");
        pump_events();
        GtkWidget* q = shown_overwrite_question();
        ASSERT_TRUE(q);
        EXPECT_EQ(message_markup_text(q),
                  "Warning: The selected profile exists on the device.\nDo you wish to overwrite?");
        GtkMessageType type = GTK_MESSAGE_ERROR;
        g_object_get(q, "message-type", &type, NULL);
        EXPECT_EQ(type, GTK_MESSAGE_QUESTION);
        EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(q)), "Overwrite File");
        gtk_dialog_response(GTK_DIALOG(q), response);
        pump_events();
        EXPECT_EQ(shown_overwrite_question(), nullptr);
        EXPECT_EQ(file_bytes(device_dir() / "G.pro"), old_device) << response;
    }
    click("id_cp_to_dev_btn");
    pump_events();
    gtk_dialog_response(GTK_DIALOG(shown_overwrite_question()), GTK_RESPONSE_YES);
    pump_events();
    EXPECT_EQ(status_text(), "Copied G to the device, replacing the one there");
    EXPECT_EQ(file_bytes(device_dir() / "G.pro"), file_bytes(profiles_dir() / "G.pro"));
    EXPECT_EQ(entries(device_dir()), std::vector<std::string>{"G.pro"});

    // Back to the PC, where the file exists too.
    write_profile(device_dir() / "G.pro", 170.0f, "G");
    click("id_cp_to_pc_btn");
    pump_events();
    GtkWidget* q = shown_overwrite_question();
    ASSERT_TRUE(q);
    EXPECT_EQ(message_markup_text(q), "Warning: The selected profile exists on the PC.\nDo you wish to overwrite?");
    gtk_dialog_response(GTK_DIALOG(q), GTK_RESPONSE_YES);
    pump_events();
    EXPECT_EQ(status_text(), "Copied G to the PC, replacing the one there");
    GunProfile p{};
    ASSERT_TRUE(read_profile_file((profiles_dir() / "G.pro").string(), p));
    EXPECT_EQ(p.bw, 170.0f);
}

TEST_F(Commands, CopyToPcOfANewNameAndAMissingSource)
{
    write_profile(device_dir() / "DEV.pro", 140.0f, "DEV");
    fs::remove_all(profiles_dir());
    name_profile("DEV");
    click("id_cp_to_pc_btn");
    pump_events();
    EXPECT_TRUE(fs::exists(profiles_dir() / "DEV.pro"));
    EXPECT_EQ(list_rows("cls"), std::vector<std::string>{"DEV"});
    EXPECT_EQ(status_text(), "Copied DEV to the PC");

    name_profile("NOWHERE");
    click("id_cp_to_pc_btn");
    pump_events();
    GtkWidget* q = shown_overwrite_question();
    ASSERT_TRUE(q);  // every failed copy asks
    gtk_dialog_response(GTK_DIALOG(q), GTK_RESPONSE_YES);
    pump_events();
    EXPECT_EQ(entries(profiles_dir()), std::vector<std::string>{"DEV.pro"});
}

TEST_F(Commands, DeviceLimitRefusesEvenAnExistingName)
{
    for (int i = 0; i < 30; ++i) std::ofstream(device_dir() / ("D" + std::to_string(10 + i) + ".pro")) << "x";
    write_profile(profiles_dir() / "D10.pro", 1.0f, "D10");
    write_profile(profiles_dir() / "EXTRA.pro", 1.0f, "EXTRA");
    refresh_profile_lists();
    for (const char* name : {"EXTRA", "D10"}) {
        name_profile(name);
        click("id_cp_to_dev_btn");
        pump_events();
        EXPECT_EQ(status_text(), "Maximum number of profiles reached...") << name;
        EXPECT_EQ(shown_overwrite_question(), nullptr);
    }
    EXPECT_FALSE(fs::exists(device_dir() / "EXTRA.pro"));

    set_device_kind(true, kolvan_folder_mode != 0);
    name_profile("EXTRA");
    click("id_cp_to_dev_btn");
    pump_events();
    EXPECT_TRUE(fs::exists(device_dir() / "EXTRA.pro"));
    EXPECT_EQ(device_profile_count, 31);
    for (int i = 0; i < 3; ++i) std::ofstream(device_dir() / ("R" + std::to_string(i) + ".pro")) << "x";
    scan_device_profiles();
    std::ofstream(profiles_dir() / "LAST.pro") << "x";
    name_profile("LAST");
    click("id_cp_to_dev_btn");
    pump_events();
    EXPECT_EQ(status_text(), "Maximum number of profiles reached...");
    EXPECT_FALSE(fs::exists(device_dir() / "LAST.pro"));
}

TEST_F(Commands, FolderModeWritesReadsAndDeletesInTheChosenFolder)
{
    set_device_kind(relay_mode != 0, true);
    write_profile(profiles_dir() / "W.pro", 150.0f, "W");
    name_profile("W");
    for (const char* btn : {"id_cp_to_dev_btn", "id_cp_to_pc_btn"}) {
        status_message("-");
        click(btn);
        pump_events();
        EXPECT_EQ(status_text(), "No device folder chosen...") << btn;
        EXPECT_EQ(shown_overwrite_question(), nullptr);
    }
    answer_dialogs({{GTK_RESPONSE_OK}});
    click("id_device_pro_del");
    pump_events();
    EXPECT_EQ(status_text(), "No device folder chosen...");
    EXPECT_FALSE(fs::exists("/W.pro"));

    fs::path unit = fs::path(test_root()) / "unit";
    fs::create_directories(unit);
    ASSERT_TRUE(set_kolvan_folder(unit.c_str()));
    click("id_cp_to_dev_btn");
    pump_events();
    EXPECT_TRUE(fs::exists(unit / "W.pro"));
    EXPECT_TRUE(entries(device_dir()).empty());
    EXPECT_EQ(list_rows("dls"), std::vector<std::string>{"W"});

    write_profile(profiles_dir() / "W.pro", 155.0f, "W");
    click("id_cp_to_dev_btn");
    pump_events();
    gtk_dialog_response(GTK_DIALOG(shown_overwrite_question()), GTK_RESPONSE_YES);
    pump_events();
    EXPECT_EQ(file_bytes(unit / "W.pro"), file_bytes(profiles_dir() / "W.pro"));

    fs::remove(profiles_dir() / "W.pro");
    click("id_cp_to_pc_btn");
    pump_events();
    EXPECT_EQ(file_bytes(unit / "W.pro"), file_bytes(profiles_dir() / "W.pro"));

    answer_dialogs({{GTK_RESPONSE_OK}});
    click("id_device_pro_del");
    pump_events();
    EXPECT_FALSE(fs::exists(unit / "W.pro"));
    EXPECT_TRUE(list_rows("dls").empty());
    fs::remove_all(unit);
}

// Failed saves, deletes and copies name the file and the system's reason, and
// the notes of the rescans after them do not hide that.
TEST_F(Commands, FailuresNameTheFileAndTheReason)
{
    for (int i = 0; i < 60; ++i) std::ofstream(device_dir() / ("G" + std::to_string(100 + i) + ".pro")) << "x";
    fs::remove_all(profiles_dir());
    std::ofstream(profiles_dir()) << "a file where the folder belongs";
    struct Row {
        const char* name;
        void (*act)();
        const char* message;
    };
    const Row rows[] = {
        {"SAVE", [] { click("id_btn_save"); }, "Could not save SAVE.pro: not a directory"},
        {"NONE", [] { answer_dialogs({{GTK_RESPONSE_OK}}), click("id_device_pro_del"); },
         "Could not delete NONE.pro: no such file or directory"},
        {"G100", [] { click("id_cp_to_pc_btn"); },
         "Not copied: G100.pro holds 1 byte, not a whole profile (556 or 428)"},
        {"a/b", [] { click("id_btn_save"); }, "Could not save profile to disk: a profile name cannot contain /"},
        {"a/b", [] { click("id_cp_to_dev_btn"); }, "Could not copy profile: a profile name cannot contain /"},
    };
    for (const Row& r : rows) {
        name_profile(r.name);
        r.act();
        pump_events();
        EXPECT_EQ(status_text(), r.message);
        refresh_profile_lists();  // the device list is over full: its note stays behind
        EXPECT_EQ(status_text(), r.message);
        EXPECT_EQ(shown_overwrite_question(), nullptr);
    }
    fs::remove(profiles_dir());
}

TEST_F(Commands, AnUnpluggedWristUnitIsToldAsSuch)
{
    set_device_kind(relay_mode != 0, true);
    fs::path unit = fs::path(test_root()) / "unit";
    ASSERT_TRUE(set_kolvan_folder(unit.c_str()));
    write_profile(profiles_dir() / "W.pro", 150.0f, "W");
    name_profile("W");
    const std::string gone = "The Velmora folder " + unit.string() + " is not there: is the unit plugged in?";
    for (const char* btn : {"id_cp_to_dev_btn", "id_cp_to_pc_btn"}) {
        click(btn);
        pump_events();
        EXPECT_EQ(status_text(), gone) << btn;
        EXPECT_EQ(shown_overwrite_question(), nullptr) << btn;
    }
    EXPECT_FALSE(fs::exists(unit));
}
