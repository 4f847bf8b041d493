// Start-up state and the shell services, on the real windows.
#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/startup.h"
#include "gui_support.h"
#include "shell/shell.h"
#include "shell/ui_start.h"

TEST(StartUp, OnlyTheSelectionWindowIsShown)
{
    EXPECT_TRUE(is_visible("id_sw"));
    for (const char* id : {"id_mw", "id_awin", "id_bl_win", "id_progress_win"}) EXPECT_FALSE(is_visible(id)) << id;
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(get_widget("id_sw"))), "Corvane Stowline");
}

// The selection window is built on its own, before the rest: its buttons
// still get their pictures.
TEST(StartUp, DeviceButtonsShowTheirPictures)
{
    for (const char* id : {"id_sel_kolvan", "id_sel_m900", "id_sel_m600", "id_sel_cv-relay"}) {
        GtkWidget* image = gtk_button_get_image(GTK_BUTTON(get_widget(id)));
        ASSERT_TRUE(GTK_IS_IMAGE(image)) << id;
        EXPECT_EQ(gtk_image_get_storage_type(GTK_IMAGE(image)), GTK_IMAGE_PIXBUF) << id;
    }
}

// A window shown first is drawn before it returns, and what the user did
// meanwhile is neither lost nor handled early: it waits, in order.
TEST(StartUp, WindowShownFirstIsDrawnAndEarlyInputWaits)
{
    struct seen {
        int paints = 0;
        std::vector<guint> keys;
    } s;
    GtkWidget* w = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(w), 120, 60);
    g_signal_connect(w, "expose-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, seen* s) -> gboolean {
                         ++s->paints;
                         return FALSE;
                     }),
                     &s);
    g_signal_connect(w, "key-press-event", G_CALLBACK(+[](GtkWidget*, GdkEventKey* e, seen* s) -> gboolean {
                         s->keys.push_back(e->keyval);
                         return TRUE;
                     }),
                     &s);
    gtk_widget_realize(w);
    for (guint key : {GDK_KEY_a, GDK_KEY_b}) {
        GdkEvent* ev = gdk_event_new(GDK_KEY_PRESS);
        ev->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(w)));
        ev->key.keyval = key;
        gdk_event_put(ev);
        gdk_event_free(ev);
    }
    gint64 start = g_get_monotonic_time();
    show_window_first(w);
    // It returns on the window's expose, not after its half-second fallback.
    EXPECT_LT(g_get_monotonic_time() - start, 500 * 1000);
    EXPECT_GE(s.paints, 1);
    EXPECT_TRUE(s.keys.empty());
    pump_events();
    EXPECT_EQ(s.keys, (std::vector<guint>{GDK_KEY_a, GDK_KEY_b}));
    gtk_widget_destroy(w);
    pump_events();
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
    for (const char* id :
         {"id_clickvalW", "id_lbl_1", "id_clickw_units", "id_clickvalE", "id_lbl_99", "id_clicke_units"})
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
    // Never inside a character: "é" is two bytes, the 255th would be half.
    status_message("%s%s", std::string(254, 'x').c_str(), "\xc3\xa9 and more");
    EXPECT_EQ(status_text(), std::string(254, 'x'));
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
    EXPECT_FALSE(progress_is_visible());
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
    EXPECT_STREQ(gtk_about_dialog_get_version(GTK_ABOUT_DIALOG(about)), STOWLINE_VERSION);
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

TEST(Catalogue, EveryLookedUpIdExistsWithItsKind)
{
    struct Item {
        const char* id;
        GType type;
    };
    const Item items[] = {
        {"id_sw", GTK_TYPE_WINDOW},
        {"id_mw", GTK_TYPE_WINDOW},
        {"id_bl_win", GTK_TYPE_WINDOW},
        {"id_progress_win", GTK_TYPE_WINDOW},
        {"id_awin", GTK_TYPE_ABOUT_DIALOG},
        {"id_sel_kolvan", GTK_TYPE_BUTTON},
        {"id_sel_m900", GTK_TYPE_BUTTON},
        {"id_sel_m600", GTK_TYPE_BUTTON},
        {"id_sel_cv-relay", GTK_TYPE_BUTTON},
        {"id_sw_quit", GTK_TYPE_BUTTON},
        {"id_mi_quit", GTK_TYPE_MENU_ITEM},
        {"id_mi_about", GTK_TYPE_MENU_ITEM},
        {"label5", GTK_TYPE_LABEL},
        {"id_profile_name", GTK_TYPE_ENTRY},
        {"id_btn_save", GTK_TYPE_BUTTON},
        {"id_btn_copy", GTK_TYPE_BUTTON},
        {"id_btn_new", GTK_TYPE_BUTTON},
        {"id_zr_lbl1", GTK_TYPE_LABEL},
        {"id_com_cb", GTK_TYPE_COMBO_BOX},
        {"id_connect_btn", GTK_TYPE_BUTTON},
        {"id_con_img", GTK_TYPE_IMAGE},
        {"id_kolvan_folder_sel", GTK_TYPE_BUTTON},
        {"id_db_btn", GTK_TYPE_BUTTON},
        {"id_bc_hbox", GTK_TYPE_HBOX},
        {"id_g1_btn", GTK_TYPE_RADIO_BUTTON},
        {"id_g7_btn", GTK_TYPE_RADIO_BUTTON},
        {"id_drag_curve_lbl", GTK_TYPE_LABEL},
        {"id_custom_dc_lbl", GTK_TYPE_LABEL},
        {"id_eunits", GTK_TYPE_COMBO_BOX},
        {"id_wunits", GTK_TYPE_COMBO_BOX},
        {"id_clicke_units", GTK_TYPE_COMBO_BOX},
        {"id_clickw_units", GTK_TYPE_COMBO_BOX},
        {"id_lbl_99", GTK_TYPE_LABEL},
        {"id_lbl_1", GTK_TYPE_LABEL},
        {"id_cls_tv", GTK_TYPE_TREE_VIEW},
        {"id_dls_tv", GTK_TYPE_TREE_VIEW},
        {"id_pc_pro_del", GTK_TYPE_BUTTON},
        {"id_device_pro_del", GTK_TYPE_BUTTON},
        {"id_download_btn", GTK_TYPE_BUTTON},
        {"id_upload_btn", GTK_TYPE_BUTTON},
        {"id_cp_to_dev_btn", GTK_TYPE_BUTTON},
        {"id_cp_to_pc_btn", GTK_TYPE_BUTTON},
        {"id_sb", GTK_TYPE_STATUSBAR},
        {"id_bl_nb", GTK_TYPE_NOTEBOOK},
        {"id_bl_tv", GTK_TYPE_TREE_VIEW},
        {"id_bl_g7_tv", GTK_TYPE_TREE_VIEW},
        {"id_bl_cc_tv", GTK_TYPE_TREE_VIEW},
        {"id_bl_cl", GTK_TYPE_BUTTON},
        {"id_bl_ok", GTK_TYPE_BUTTON},
        {"id_progress_lbl", GTK_TYPE_LABEL},
        {"id_progress_bar", GTK_TYPE_PROGRESS_BAR},
    };
    for (const Item& item : items) {
        GObject* obj = get_object(item.id);
        ASSERT_NE(obj, nullptr) << item.id;
        EXPECT_TRUE(G_TYPE_CHECK_INSTANCE_TYPE(obj, item.type)) << item.id;
    }
    for (const char* id : {"cls", "dls", "id_bl_ls", "id_bl_g7", "id_bl_cc"})
        EXPECT_TRUE(GTK_IS_LIST_STORE(get_object(id))) << id;
    for (const char* id : {"id_com_ts", "id_units_ts", "id_click_ts"})
        EXPECT_TRUE(GTK_IS_TREE_STORE(get_object(id))) << id;
    EXPECT_EQ(gtk_tree_model_get_n_columns(GTK_TREE_MODEL(get_object("id_bl_ls"))), 7);
    EXPECT_EQ(gtk_tree_model_get_n_columns(GTK_TREE_MODEL(get_object("id_bl_cc"))), 5);
}

TEST(Catalogue, EntryLimitsAndReadOnlyTables)
{
    EXPECT_EQ(gtk_entry_get_max_length(GTK_ENTRY(get_widget("id_profile_name"))), 10);
    EXPECT_EQ(gtk_entry_get_max_length(GTK_ENTRY(get_widget("id_clickvalE"))), 2);
    EXPECT_EQ(gtk_entry_get_max_length(GTK_ENTRY(get_widget("id_clickvalW"))), 2);
    EXPECT_EQ(gtk_entry_get_max_length(GTK_ENTRY(get_widget("id_dsf_1"))), 8);
    EXPECT_EQ(gtk_entry_get_max_length(GTK_ENTRY(get_widget("id_dsf_2"))), 5);
    EXPECT_EQ(gtk_entry_get_max_length(GTK_ENTRY(get_widget("id_vel_6"))), 5);
    EXPECT_EQ(gtk_entry_get_max_length(GTK_ENTRY(get_widget("id_temp_3_entry"))), 8);
    for (const char* id : {"id_vel_1", "id_vel_6", "id_dsf_1", "id_dsf_6"})
        EXPECT_FALSE(gtk_editable_get_editable(GTK_EDITABLE(get_widget(id)))) << id;

    // Typing past the limit keeps the first characters only.
    set_entry_text("id_profile_name", "ABCDEFGHIJKLMN");
    EXPECT_EQ(entry_text("id_profile_name"), "ABCDEFGHIJ");

    GSList* units = gtk_radio_button_get_group(GTK_RADIO_BUTTON(get_widget("id_mix_units")));
    EXPECT_EQ(g_slist_length(units), 3u);
    EXPECT_NE(g_slist_find(units, get_widget("id_metric_units")), nullptr);
    GSList* curves = gtk_radio_button_get_group(GTK_RADIO_BUTTON(get_widget("id_g1_btn")));
    EXPECT_EQ(g_slist_length(curves), 2u);
    EXPECT_NE(g_slist_find(curves, get_widget("id_g7_btn")), nullptr);
}

TEST(Catalogue, PictureOnlyControlsCarryAccessibleNames)
{
    const std::pair<const char*, const char*> names[] = {
        {"id_sel_kolvan", "Velmora"},
        {"id_sel_m900", "M900"},
        {"id_sel_m600", "M600"},
        {"id_sel_cv-relay", "cv-relay"},
        {"id_profile_name", "Profile Name"},
        {"id_mv_entry", "Muzzle Velocity"},
        {"id_eunits", "E Units"},
        {"id_wunits", "W Units"},
        {"id_com_cb", "COM Port"},
    };
    for (const auto& [id, name] : names)
        EXPECT_STREQ(atk_object_get_name(gtk_widget_get_accessible(get_widget(id))), name) << id;
}

TEST(StatusBar, TrailingLineEndIsNotDrawn)
{
    status_message("Connected to device...\n");
    EXPECT_EQ(status_text(), "Connected to device...");
}

// Changing the device kind without a restart: File, Change Device Kind asks
// about unsaved changes, then shows the selection window with every control
// back; closing it returns to the kind of before.
TEST(DeviceKind, ChangedFromTheMenuWithTheUnsavedQuestion)
{
    auto button_text = [](const char* id) -> std::string {
        return gtk_label_get_text(GTK_LABEL(find_descendant(get_widget(id), GTK_TYPE_LABEL)));
    };
    const std::string download = button_text("id_download_btn");
    click("id_sel_cv-relay");
    pump_events();
    ASSERT_TRUE(is_visible("id_mw"));
    EXPECT_NE(button_text("id_download_btn"), download);
    gtk_entry_set_text(GTK_ENTRY(get_widget("id_mv_entry")), "2666");

    answer_next_dialog(GTK_RESPONSE_CANCEL);
    gtk_menu_item_activate(GTK_MENU_ITEM(get_widget("id_mi_device_kind")));
    pump_events();
    EXPECT_TRUE(is_visible("id_mw"));
    EXPECT_FALSE(is_visible("id_sw"));

    answer_next_dialog(GTK_RESPONSE_NO);
    gtk_menu_item_activate(GTK_MENU_ITEM(get_widget("id_mi_device_kind")));
    pump_events();
    EXPECT_FALSE(is_visible("id_mw"));
    EXPECT_TRUE(is_visible("id_sw"));
    EXPECT_EQ(button_text("id_download_btn"), download);
    EXPECT_TRUE(is_visible("id_kolvan_folder_sel"));

    // Closing the selection window goes back to the relay.
    GdkEvent* close = gdk_event_new(GDK_DELETE);
    close->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(get_widget("id_sw"))));
    gtk_main_do_event(close);
    gdk_event_free(close);
    pump_events();
    EXPECT_TRUE(is_visible("id_mw"));
    EXPECT_NE(button_text("id_download_btn"), download);

    answer_next_dialog(GTK_RESPONSE_NO);
    gtk_menu_item_activate(GTK_MENU_ITEM(get_widget("id_mi_device_kind")));
    click("id_sel_kolvan");
    pump_events();
    EXPECT_TRUE(is_visible("id_mw"));
    EXPECT_TRUE(is_visible("id_kolvan_folder_sel"));
    EXPECT_FALSE(is_visible("id_connect_btn"));
    EXPECT_EQ(button_text("id_download_btn"), download);
}

// Quitting with unsaved changes asks; Cancel (or closing the question) keeps
// the program and the form.
TEST(Quitting, AsksAboutUnsavedChangesAndCancelKeepsEverything)
{
    gtk_entry_set_text(GTK_ENTRY(get_widget("id_mv_entry")), "2777");
    for (int response : {GTK_RESPONSE_CANCEL, GTK_RESPONSE_DELETE_EVENT}) {
        answer_next_dialog(response);
        EXPECT_FALSE(quit_application()) << response;
        EXPECT_EQ(entry_text("id_mv_entry"), "2777");
    }
    // Ctrl+Q in the main window is File > Quit.
    GList* quit_closures = gtk_widget_list_accel_closures(get_widget("id_mi_quit"));
    bool ctrl_q = false;
    for (GSList* g = gtk_accel_groups_from_object(get_object("id_mw")); g; g = g->next) {
        guint n = 0;
        GtkAccelGroupEntry* e = gtk_accel_group_query(GTK_ACCEL_GROUP(g->data), GDK_KEY_q, GDK_CONTROL_MASK, &n);
        for (guint i = 0; i < n; ++i) ctrl_q |= g_list_find(quit_closures, e[i].closure) != nullptr;
    }
    g_list_free(quit_closures);
    EXPECT_TRUE(ctrl_q);
}
