// Start-up state and the shell services, on the real windows.
#include <gtest/gtest.h>

#include "app/shell.h"
#include "gui_support.h"

TEST(StartUp, OnlyTheSelectionWindowIsShown)
{
    EXPECT_TRUE(is_visible("id_sw"));
    for (const char* id : {"id_mw", "id_awin", "id_bl_win", "id_progress_win"}) EXPECT_FALSE(is_visible(id)) << id;
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(get_widget("id_sw"))), "Corvane Stowline");
}

TEST(StartUp, UnitCombosOfferTheirRowsAndShowMil)
{
    for (const char* id : {"id_eunits", "id_wunits", "id_clicke_units", "id_clickw_units"})
        EXPECT_EQ(combo_text(id), "MIL") << id;
    EXPECT_EQ(combo_rows("id_eunits"), 4);
    EXPECT_EQ(combo_rows("id_wunits"), 4);
    EXPECT_EQ(combo_rows("id_clicke_units"), 3);
    EXPECT_EQ(combo_rows("id_clickw_units"), 3);
}

TEST(StartUp, ClickWidgetsStartInsensitiveAndTheProfileUnsaved)
{
    for (const char* id : {"id_clickvalW", "id_lbl_1", "id_clickw_units", "id_clickvalE", "id_lbl_99", "id_clicke_units"})
        EXPECT_FALSE(is_sensitive(id)) << id;
    EXPECT_EQ(label_markup_colour(), "Red");
    EXPECT_EQ(entry_text("id_profile_name"), "UNSAVED");
    EXPECT_FALSE(is_visible("id_custom_dc_lbl"));
    EXPECT_TRUE(toggle_active("id_mix_units"));
}

TEST(StatusBar, ShowsOnlyTheLatestMessage)
{
    GtkStatusbar* sb = GTK_STATUSBAR(get_widget("id_sb"));
    status_message("first %d", 1);
    status_message("second %s", "message");
    EXPECT_EQ(status_text(), "second message");
    // Popping the one message leaves the bar empty: nothing older sits below.
    gtk_statusbar_pop(sb, 0);
    EXPECT_EQ(status_text(), "");
}

TEST(StatusBar, LongTextIsCutAt255Characters)
{
    std::string longer(400, 'x');
    status_message("%s", longer.c_str());
    EXPECT_EQ(status_text().size(), 255u);
}

TEST(ProgressWindow, FractionOnlyWhileShown)
{
    GtkProgressBar* bar = GTK_PROGRESS_BAR(get_widget("id_progress_bar"));
    progress_show("Sending 3 profiles...");
    EXPECT_TRUE(is_visible("id_progress_win"));
    EXPECT_EQ(label_text("id_progress_lbl"), "Sending 3 profiles...");
    progress_set_fraction(0.5);
    EXPECT_STREQ(gtk_progress_bar_get_text(bar), " 50%");
    progress_set_fraction(1.0);
    EXPECT_STREQ(gtk_progress_bar_get_text(bar), "100%");

    // Closing from the frame only hides it; later fractions change nothing.
    GdkEvent* ev = gdk_event_new(GDK_DELETE);
    ev->any.window = GDK_WINDOW(g_object_ref(get_widget("id_progress_win")->window));
    gtk_main_do_event(ev);
    gdk_event_free(ev);
    pump_events();
    EXPECT_FALSE(is_visible("id_progress_win"));
    EXPECT_EQ(progress_visible, 0);
    progress_set_fraction(0.25);
    EXPECT_STREQ(gtk_progress_bar_get_text(bar), "100%");
    EXPECT_FALSE(is_visible("id_progress_win"));

    progress_show("again");
    EXPECT_TRUE(is_visible("id_progress_win"));
    progress_hide();
    EXPECT_FALSE(is_visible("id_progress_win"));
}

TEST(AboutWindow, HidesOnCloseAndShowsAgain)
{
    GtkWidget* about = get_widget("id_awin");
    gtk_menu_item_activate(GTK_MENU_ITEM(get_widget("id_mi_about")));
    pump_events();
    EXPECT_TRUE(is_visible("id_awin"));
    gtk_dialog_response(GTK_DIALOG(about), GTK_RESPONSE_CANCEL);
    pump_events();
    EXPECT_FALSE(is_visible("id_awin"));
    gtk_menu_item_activate(GTK_MENU_ITEM(get_widget("id_mi_about")));
    pump_events();
    EXPECT_TRUE(is_visible("id_awin"));
    EXPECT_STREQ(gtk_about_dialog_get_program_name(GTK_ABOUT_DIALOG(about)), "Stowline for Corvane Devices");
    EXPECT_STREQ(gtk_about_dialog_get_version(GTK_ABOUT_DIALOG(about)), "- Build 090");
    std::string comments = gtk_about_dialog_get_comments(GTK_ABOUT_DIALOG(about));
    EXPECT_EQ(comments.rfind("DATABASE VERSION: 320000", 0), 0u);
    // A second close path: the dialog's own "close" keybinding signal.
    g_signal_emit_by_name(about, "close");
    pump_events();
    EXPECT_FALSE(is_visible("id_awin"));
}

TEST(ProfileLabel, RedForUnsavedBlackForSaved)
{
    mark_profile_state(2);
    EXPECT_EQ(label_markup_colour(), "Black");
    mark_profile_state(1);
    EXPECT_EQ(label_markup_colour(), "Red");
    mark_profile_state(7);
    EXPECT_EQ(label_markup_colour(), "Black");
}
