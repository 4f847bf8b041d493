// The editor form on the real widgets: showing, reading back, unit systems,
// click widgets and the saved/unsaved label.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "editor/window/editor.h"
#include "gui_support.h"
#include "profile/gun_profile.h"
#include "profile/units.h"
#include "shell/shell.h"

namespace {

void choose_units(const char* radio)
{
    set_toggle(radio, true);
    pump_events();
}

class Editor : public testing::Test {
protected:
    void SetUp() override
    {
        choose_units("id_mix_units");
        std::memset(&cvIn, 0, sizeof cvIn);
        new_profile(nullptr);
        pump_events();
    }
    void TearDown() override { choose_units("id_mix_units"); }

    std::string write_temp_profile(const GunProfile& p, const char* name)
    {
        std::string path = test_root() + "/" + name;
        EXPECT_TRUE(write_profile_bytes(path, p));
        return path;
    }
};

}  // namespace

TEST_F(Editor, NewProfileUnderMixed)
{
    EXPECT_EQ(entry_text("id_bw_entry"), "175");
    EXPECT_EQ(entry_text("id_bd_entry"), "0.308");
    EXPECT_EQ(entry_text("id_bl_entry"), "1.240");
    EXPECT_EQ(entry_text("id_tr_entry"), "10.00");
    EXPECT_EQ(entry_text("id_mv_entry"), "2600");
    EXPECT_EQ(entry_text("id_zr_entry"), " 100");
    EXPECT_EQ(entry_text("id_bh_entry"), "1.50");
    EXPECT_EQ(entry_text("id_bc_entry"), "0.475");
    EXPECT_EQ(entry_text("id_clickvalE"), "10");
    EXPECT_EQ(entry_text("id_clickvalW"), "10");
    EXPECT_EQ(entry_text("id_ssfV_entry"), "1.00");
    EXPECT_EQ(entry_text("id_ssfH_entry"), "1.00");
    for (const char* id : {"id_temp_1_entry", "id_temp_6_entry"}) EXPECT_EQ(entry_text(id), "0") << id;
    EXPECT_EQ(label_text("id_zr_unit_lbl"), "meters");
    EXPECT_EQ(label_text("id_bd_unit_lbl"), "inches");
    EXPECT_EQ(label_text("id_mv_unit_lbl"), "fps");
    EXPECT_EQ(entry_text("id_profile_name"), "UNSAVED");
    EXPECT_EQ(label_markup_colour(), "Red");
}

TEST_F(Editor, MetricShowsConvertedValuesAndLabels)
{
    choose_units("id_metric_units");
    EXPECT_EQ(input_units, 3);
    EXPECT_EQ(entry_text("id_bd_entry"), "0.782");
    EXPECT_EQ(entry_text("id_bl_entry"), "3.150");
    EXPECT_EQ(entry_text("id_tr_entry"), "25.40");
    EXPECT_EQ(entry_text("id_bh_entry"), "3.81");
    EXPECT_EQ(entry_text("id_mv_entry"), " 792");
    EXPECT_EQ(entry_text("id_zr_entry"), " 100");
    for (const char* id :
         {"id_bh_unit_lbl", "id_bd_unit_lbl", "id_bl_unit_lbl", "id_zo_unit_lbl", "id_zh_unit_lbl", "id_tr_unit_lbl"})
        EXPECT_EQ(label_text(id), "cm") << id;
    EXPECT_EQ(label_text("id_mv_unit_lbl"), "m/s");
    EXPECT_EQ(label_text("id_zr_unit_lbl"), "meters");
    // Bullet weight and BC are never converted.
    EXPECT_EQ(entry_text("id_bw_entry"), "175");
    EXPECT_EQ(entry_text("id_bc_entry"), "0.475");
}

TEST_F(Editor, MetricReadBackKeepsUntouchedFieldsAndConvertsTypedOnes)
{
    const GunProfile before = cvIn;
    choose_units("id_metric_units");
    press_enter("id_bw_entry");
    EXPECT_EQ(std::memcmp(&cvIn.mv, &before.mv, 4), 0);
    EXPECT_EQ(std::memcmp(&cvIn.bd, &before.bd, 4), 0);
    EXPECT_EQ(std::memcmp(&cvIn.zr, &before.zr, 4), 0);
    set_entry_text("id_zr_entry", "91");
    press_enter("id_zr_entry");
    EXPECT_EQ(cvIn.zr, static_cast<float>(91 / 0.9144));
    EXPECT_EQ(cvIn.temp, 59.0f);
    EXPECT_EQ(cvIn.pres, 29.92f);
    EXPECT_EQ(cvIn.maxr, 1094.0f);
    EXPECT_EQ(cvIn.alt, 0.0f);
}

TEST_F(Editor, EnglishShowsYardsAndReadsBackAsTyped)
{
    choose_units("id_english_units");
    EXPECT_EQ(label_text("id_zr_unit_lbl"), "yards");
    EXPECT_EQ(entry_text("id_zr_entry"), " 109");
    set_entry_text("id_zr_entry", "300");
    set_entry_text("id_mv_entry", "2650abc");
    press_enter("id_mv_entry");
    EXPECT_EQ(cvIn.zr, 300.0f);
    EXPECT_EQ(cvIn.mv, 2650.0f);
    set_entry_text("id_mv_entry", "abc");
    press_enter("id_zr_entry");
    EXPECT_EQ(cvIn.mv, 0.0f);
}

TEST_F(Editor, MixedReadsTheZeroRangeInMeters)
{
    set_entry_text("id_zr_entry", "300");
    press_enter("id_zr_entry");
    EXPECT_EQ(cvIn.zr, static_cast<float>(300 / 0.9144));
}

TEST_F(Editor, SwitchingUnitsWithoutEnterKeepsWhatWasTyped)
{
    choose_units("id_english_units");
    set_entry_text("id_mv_entry", "2700");
    choose_units("id_metric_units");
    EXPECT_EQ(entry_text("id_mv_entry"), " 823");
    EXPECT_EQ(cvIn.mv, 2700.0f);
    choose_units("id_english_units");
    EXPECT_EQ(entry_text("id_mv_entry"), "2700");
    EXPECT_EQ(entry_text("id_bd_entry"), "0.308");
}

TEST_F(Editor, ClicksOutputUnitEnablesOnlyItsRow)
{
    set_combo_text("id_eunits", "CLICKS");
    pump_events();
    for (const char* id : {"id_clickvalE", "id_lbl_99", "id_clicke_units"}) EXPECT_TRUE(is_sensitive(id)) << id;
    for (const char* id : {"id_clickvalW", "id_lbl_1", "id_clickw_units"}) EXPECT_FALSE(is_sensitive(id)) << id;

    set_entry_text("id_clickvalE", "12");
    set_combo_text("id_clicke_units", "SMOA");
    set_combo_text("id_eunits", "MIL");
    pump_events();
    for (const char* id : {"id_clickvalE", "id_lbl_99", "id_clicke_units"}) EXPECT_FALSE(is_sensitive(id)) << id;
    // The value stays in the entry and is still read back.
    EXPECT_EQ(entry_text("id_clickvalE"), "12");
    press_enter("id_bw_entry");
    EXPECT_EQ(cvIn.cve, 12);
    EXPECT_EQ(cvIn.ce, 3);
    EXPECT_EQ(cvIn.eu, 1);

    set_combo_text("id_wunits", "CLICKS");
    press_enter("id_bw_entry");
    EXPECT_EQ(cvIn.wu, 4);
    EXPECT_TRUE(is_sensitive("id_clickvalW"));
    set_combo_text("id_wunits", "TMOA");
    EXPECT_FALSE(is_sensitive("id_clickvalW"));
}

TEST_F(Editor, LoadingAProfileWithClicksSelectsItAndMarksSaved)
{
    GunProfile p = cvIn;
    p.eu = 4;
    p.cve = 7;
    p.bt = -11.0f;
    p.mv = 2750.0f;
    std::string path = write_temp_profile(p, "clicks.pro");
    load_profile_file(path.c_str());
    pump_events();
    EXPECT_EQ(combo_text("id_eunits"), "CLICKS");
    EXPECT_TRUE(is_sensitive("id_clickvalE"));
    EXPECT_EQ(entry_text("id_clickvalE"), "07");
    EXPECT_EQ(entry_text("id_tr_entry"), "-11.00");
    EXPECT_EQ(cvIn.sd, -1);
    EXPECT_EQ(label_markup_colour(), "Black");

    // Any edit turns the label red again.
    set_entry_text("id_mv_entry", "2760");
    EXPECT_EQ(label_markup_colour(), "Red");
}

TEST_F(Editor, LabelColourFollowsUnitChangesButNotTheDragCurveRadios)
{
    mark_profile_state(2);
    set_toggle("id_g7_btn", true);
    pump_events();
    EXPECT_EQ(label_markup_colour(), "Black");
    EXPECT_EQ(cvIn.dc, 0);
    press_enter("id_bc_entry");
    EXPECT_EQ(cvIn.dc, 1);

    mark_profile_state(2);
    choose_units("id_english_units");
    EXPECT_EQ(label_markup_colour(), "Red");
    mark_profile_state(2);
    set_combo_text("id_wunits", "SMOA");
    EXPECT_EQ(label_markup_colour(), "Red");
}

TEST_F(Editor, MissingFileKeepsTheProfileAndTurnsTheLabelBlack)
{
    cvIn.mv = 2811.0f;
    load_profile_file((test_root() + "/no-such.pro").c_str());
    EXPECT_EQ(cvIn.mv, 2811.0f);
    EXPECT_EQ(entry_text("id_mv_entry"), "2811");
    EXPECT_EQ(label_markup_colour(), "Black");
}

TEST_F(Editor, CustomCurveDisablesTheRadiosAndSurvivesReadBack)
{
    GunProfile p = cvIn;
    p.dc = 10;
    std::string path = write_temp_profile(p, "custom.pro");
    load_profile_file(path.c_str());
    pump_events();
    EXPECT_FALSE(is_sensitive("id_bc_hbox"));
    EXPECT_TRUE(is_visible("id_custom_dc_lbl"));
    press_enter("id_bw_entry");
    EXPECT_EQ(cvIn.dc, 10);

    new_profile(nullptr);
    pump_events();
    EXPECT_TRUE(is_sensitive("id_bc_hbox"));
    EXPECT_FALSE(is_visible("id_custom_dc_lbl"));
    EXPECT_TRUE(toggle_active("id_g1_btn"));
}

TEST_F(Editor, DamagedValuesAreShownWithoutHarm)
{
    GunProfile p = cvIn;
    p.mv = std::numeric_limits<float>::quiet_NaN();
    p.bd = std::numeric_limits<float>::infinity();
    p.zr = 3.4e38f;
    p.mvt_mv[0] = 3.4e38f;
    p.mvt_temp[0] = -3.4e38f;
    p.vl[0] = 3.4e38f;
    p.eu = 77;
    p.cve = -5;
    p.ce = 4;
    std::string path = write_temp_profile(p, "damaged.pro");
    load_profile_file(path.c_str());
    pump_events();
    EXPECT_EQ(entry_text("id_mv_entry"), " nan");
    EXPECT_EQ(entry_text("id_bd_entry"), "inf");
    EXPECT_LE(entry_text("id_mv_1_entry").size(), 8u);
    EXPECT_LE(entry_text("id_vel_1").size(), 5u);
    EXPECT_EQ(combo_text("id_eunits"), "MIL");
    EXPECT_EQ(cvIn.eu, 1);
    EXPECT_EQ(cvIn.cve, 1);
    EXPECT_EQ(combo_text("id_clicke_units"), "");
}

TEST_F(Editor, FailedWriteReportsAndKeepsTheUnsavedMark)
{
    mark_profile_state(1);
    std::string path = test_root() + "/missing-folder/x.pro";
    EXPECT_FALSE(write_profile_file(path.c_str()));
    EXPECT_EQ(status_text(), "Could not save profile to disk...");
    EXPECT_EQ(label_markup_colour(), "Red");

    std::string good = test_root() + "/good.pro";
    EXPECT_TRUE(write_profile_file(good.c_str()));
    EXPECT_EQ(label_markup_colour(), "Black");
}

// A switch of an output unit leaves typed values too, for the next Enter.
TEST_F(Editor, OutputUnitSwitchKeepsUnconfirmedValues)
{
    set_entry_text("id_mv_entry", "2650");
    set_combo_text("id_eunits", "CLICKS");
    press_enter("id_bw_entry");
    EXPECT_EQ(cvIn.mv, 2650.0f);
    EXPECT_EQ(cvIn.eu, 4);
}

// What counts as a change the user would lose.
TEST_F(Editor, ChangesAreWhatTheUserDidToTheProfile)
{
    const std::pair<const char*, void (*)()> rows[] = {
        {"nothing", [] {}},
        {"units only", [] { choose_units("id_english_units"); }},
        {"the name", [] { set_entry_text("id_profile_name", "OTHER"); }},
        {"Enter without typing", [] { press_enter("id_mv_entry"); }},
        {"a typed value", [] { set_entry_text("id_mv_entry", "2700"); }},
        {"the drag curve", [] { set_toggle("id_g7_btn", true); }},
        {"a click unit", [] { set_combo_text("id_clicke_units", "SMOA"); }},
        {"a bullet chosen", [] { show_chosen_bullet(false); }},
    };
    int row = 0;
    for (const auto& [what, act] : rows) {
        SetUp();
        act();
        pump_events();
        EXPECT_EQ(profile_has_changes(), row++ >= 4) << what;
    }
}

TEST_F(Editor, NewProfileAsksBeforeDroppingChanges)
{
    set_entry_text("id_profile_name", "MINE");
    set_entry_text("id_bw_entry", "180");
    answer_next_dialog(GTK_RESPONSE_CANCEL);
    click("id_btn_new");
    pump_events();
    EXPECT_EQ(entry_text("id_bw_entry"), "180");
    EXPECT_EQ(entry_text("id_profile_name"), "MINE");

    answer_next_dialog(GTK_RESPONSE_NO);  // Discard
    click("id_btn_new");
    pump_events();
    EXPECT_EQ(entry_text("id_bw_entry"), "175");
    EXPECT_EQ(entry_text("id_profile_name"), "UNSAVED");
    EXPECT_FALSE(profile_has_changes());
}
