// The bullet library window on the real widgets: its pages and columns, the
// question and its answers, what a choice writes into cvIn and the editor,
// unknown values, and the filter. The shipped table has no drag curves, so
// the custom page is also driven with a small table of test records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "editor/window/editor.h"
#include "gui_support.h"
#include "library/bullet_table.h"
#include "library/window/bullet_window.h"
#include "profile/gun_profile.h"
#include "shell/shell.h"

namespace {

GtkTreeView* view(const char* id) { return GTK_TREE_VIEW(get_widget(id)); }
GtkTreeModel* model_of(const char* view_id) { return gtk_tree_view_get_model(view(view_id)); }
int rows_of(const char* view_id) { return gtk_tree_model_iter_n_children(model_of(view_id), nullptr); }

std::string cell(const char* view_id, int row, int column)
{
    GtkTreeIter iter;
    if (!gtk_tree_model_iter_nth_child(model_of(view_id), &iter, nullptr, row)) return "<no row>";
    gchar* text = nullptr;
    gtk_tree_model_get(model_of(view_id), &iter, column, &text, -1);
    std::string s = text ? text : "";
    g_free(text);
    return s;
}

void show_page(int page)
{
    gtk_notebook_set_current_page(GTK_NOTEBOOK(get_widget("id_bl_nb")), page);
    pump_events();
}

void select_row(const char* view_id, int row)
{
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_selection_select_path(gtk_tree_view_get_selection(view(view_id)), path);
    gtk_tree_path_free(path);
}

// A double-click on a row: its first click selects it, then the view reports
// the activation.
void activate_row(const char* view_id, int row)
{
    select_row(view_id, row);
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_view_row_activated(view(view_id), path, gtk_tree_view_get_column(view(view_id), 0));
    gtk_tree_path_free(path);
    pump_events();
}

std::vector<GtkWidget*> questions()
{
    std::vector<GtkWidget*> found;
    GList* tops = gtk_window_list_toplevels();
    for (GList* t = tops; t; t = t->next)
        if (GTK_IS_MESSAGE_DIALOG(t->data) && gtk_widget_get_visible(GTK_WIDGET(t->data)))
            found.push_back(GTK_WIDGET(t->data));
    g_list_free(tops);
    return found;
}

GtkWidget* the_question()
{
    std::vector<GtkWidget*> q = questions();
    return q.size() == 1 ? q[0] : nullptr;
}

void answer(int response)
{
    GtkWidget* q = the_question();
    ASSERT_NE(q, nullptr);
    gtk_dialog_response(GTK_DIALOG(q), response);
    pump_events();
}

// Closing the question from its window frame.
void close_question()
{
    GtkWidget* q = the_question();
    ASSERT_NE(q, nullptr);
    GdkEvent* ev = gdk_event_new(GDK_DELETE);
    ev->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(q)));
    gtk_main_do_event(ev);
    gdk_event_free(ev);
    pump_events();
}

std::vector<std::string> column_titles(const char* view_id)
{
    std::vector<std::string> titles;
    GList* cols = gtk_tree_view_get_columns(view(view_id));
    for (GList* c = cols; c; c = c->next)
        titles.push_back(gtk_tree_view_column_get_title(GTK_TREE_VIEW_COLUMN(c->data)));
    g_list_free(cols);
    return titles;
}

// Every column but Name is as wide as its header asks and as each of its rows
// needs by the toolkit's own measure (what an autosized column would take),
// so no text is cut; Name gives way instead (ellipsized, taking the spare
// width). The rows have one height, so the view never measures them all.
void expect_columns_fit(const char* view_id)
{
    GtkTreeView* v = view(view_id);
    GtkTreeModel* model = model_of(view_id);
    EXPECT_TRUE(gtk_tree_view_get_fixed_height_mode(v)) << view_id;
    GList* cols = gtk_tree_view_get_columns(v);
    for (GList* c = cols; c; c = c->next) {
        GtkTreeViewColumn* col = GTK_TREE_VIEW_COLUMN(c->data);
        std::string where = std::string(view_id) + " " + gtk_tree_view_column_get_title(col);
        GList* cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(col));
        GObject* cell = G_OBJECT(cells->data);
        g_list_free(cells);
        if (where.substr(where.size() - 5) == " Name") {
            PangoEllipsizeMode mode = PANGO_ELLIPSIZE_NONE;
            g_object_get(cell, "ellipsize", &mode, nullptr);
            EXPECT_EQ(mode, PANGO_ELLIPSIZE_END) << where;
            EXPECT_TRUE(gtk_tree_view_column_get_expand(col)) << where;
            continue;
        }
        GtkWidget* header = gtk_widget_get_ancestor(gtk_tree_view_column_get_widget(col), GTK_TYPE_BUTTON);
        ASSERT_NE(header, nullptr) << where;
        GtkRequisition asked;
        gtk_widget_size_request(header, &asked);
        EXPECT_LE(asked.width, gtk_tree_view_column_get_width(col)) << where;
        int widest = 0;
        GtkTreeIter iter;
        for (gboolean ok = gtk_tree_model_get_iter_first(model, &iter); ok;
             ok = gtk_tree_model_iter_next(model, &iter)) {
            gtk_tree_view_column_cell_set_cell_data(col, model, &iter, FALSE, FALSE);
            int width = 0;
            gtk_tree_view_column_cell_get_size(col, nullptr, nullptr, nullptr, &width, nullptr);
            widest = std::max(widest, width);
        }
        GdkRectangle area;
        gtk_tree_view_get_cell_area(v, nullptr, col, &area);
        EXPECT_LE(widest, area.width) << where;
    }
    g_list_free(cols);
}

uint32_t bits_of(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

int first_g1_record_without_length()
{
    for (int i = 0; i < kBulletCount; ++i)
        if (bullet_table[i].bc_g1 != 0.0f && bullet_table[i].length_in == 0.0f) return i;
    return -1;
}

class BulletWindow : public testing::Test {
protected:
    void SetUp() override
    {
        for (GtkWidget* q : questions()) gtk_widget_destroy(q);
        set_entry_text("id_bl_filter", "");
        for (const char* id : {"id_bl_tv", "id_bl_g7_tv", "id_bl_cc_tv"})
            gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(view(id)));
        show_page(0);
        std::memset(&cvIn, 0, sizeof cvIn);
        new_profile(nullptr);
        for (int k = 0; k < 32; ++k) cvIn.cc[k] = CurvePoint{0.5f + k, 0.25f * k};
        click("id_db_btn");
        pump_events();
        before = cvIn;
    }
    void TearDown() override
    {
        for (GtkWidget* q : questions()) gtk_widget_destroy(q);
        hide_bullet_library(nullptr);
        pump_events();
    }

    bool profile_unchanged() const { return std::memcmp(&cvIn, &before, sizeof cvIn) == 0; }

    GunProfile before{};
};

}  // namespace

TEST_F(BulletWindow, OpensWithThreePagesListingWhatEachApplies)
{
    EXPECT_TRUE(is_visible("id_bl_win"));
    GtkNotebook* nb = GTK_NOTEBOOK(get_widget("id_bl_nb"));
    ASSERT_EQ(gtk_notebook_get_n_pages(nb), 3);
    const char* tabs[] = {"G1 Standard", "G7 Standard", "Corvane Custom Drag Curves"};
    for (int p = 0; p < 3; ++p)
        EXPECT_STREQ(gtk_notebook_get_tab_label_text(nb, gtk_notebook_get_nth_page(nb, p)), tabs[p]);

    std::vector<std::string> six = {"Caliber", "Manufacturer", "Name", "Weight", "Length", "BC"};
    EXPECT_EQ(column_titles("id_bl_tv"), six);
    EXPECT_EQ(column_titles("id_bl_g7_tv"), six);
    six.pop_back();
    EXPECT_EQ(column_titles("id_bl_cc_tv"), six);
    EXPECT_EQ(model_of("id_bl_cc_tv"), GTK_TREE_MODEL(get_object("id_bl_cc")));

    int g1 = 0, g7 = 0;
    for (int i = 0; i < kBulletCount; ++i) {
        g1 += bullet_table[i].bc_g1 != 0.0f;
        g7 += bullet_table[i].bc_g7 != 0.0f;
    }
    EXPECT_EQ(rows_of("id_bl_tv"), g1);
    EXPECT_EQ(rows_of("id_bl_g7_tv"), g7);
    EXPECT_EQ(rows_of("id_bl_cc_tv"), 0);
    EXPECT_FALSE(is_visible("id_bl_g1_empty_lbl"));
    EXPECT_FALSE(is_visible("id_bl_g7_empty_lbl"));
    EXPECT_TRUE(is_visible("id_bl_cc_empty_lbl"));
    EXPECT_EQ(label_text("id_bl_cc_empty_lbl"), "No bullets with a custom drag curve in the library.");

    // Rows map back to their records, in table order.
    for (int page = 0; page < 2; ++page) {
        int kind = page == 0 ? kBulletListG1 : kBulletListG7;
        int last = -1;
        for (int r = 0; r < rows_of(page == 0 ? "id_bl_tv" : "id_bl_g7_tv"); ++r) {
            int t = bullet_table_index(kind, r);
            ASSERT_GT(t, last);
            ASSERT_TRUE(bullet_has_kind(bullet_table[t], kind));
            last = t;
        }
    }
    EXPECT_EQ(cell("id_bl_tv", 0, 0), "Aguila");
    EXPECT_EQ(cell("id_bl_tv", 0, 3), " 60");
    EXPECT_EQ(cell("id_bl_tv", 0, 5), "0.113");
    EXPECT_EQ(cell("id_bl_g7_tv", 0, 5), "0.058");
}

// The longest names must not push the buttons out of the window, which has
// no horizontal scroll bar.
TEST_F(BulletWindow, LongNamesLeaveOkInsideTheWindow)
{
    for (int page = 0; page < 2; ++page) {
        show_page(page);
        for (int i = 0; i < 20; ++i) pump_events();
        GtkAllocation win, ok, tv;
        gtk_widget_get_allocation(get_widget("id_bl_win"), &win);
        gtk_widget_get_allocation(get_widget("id_bl_ok"), &ok);
        gtk_widget_get_allocation(get_widget(page == 0 ? "id_bl_tv" : "id_bl_g7_tv"), &tv);
        EXPECT_LE(ok.x + ok.width, win.width) << page;
        EXPECT_LE(tv.width, win.width) << page;
    }
}

TEST_F(BulletWindow, EveryColumnButNameShowsItsLongestTextWhole)
{
    const char* views[] = {"id_bl_tv", "id_bl_g7_tv"};
    for (int page = 0; page < 2; ++page) {
        show_page(page);
        expect_columns_fit(views[page]);
    }
    // Filtering keeps the widths of the whole list: no column moves.
    int before = gtk_tree_view_column_get_width(gtk_tree_view_get_column(view("id_bl_g7_tv"), 1));
    set_entry_text("id_bl_filter", "sierra");
    pump_events();
    EXPECT_EQ(gtk_tree_view_column_get_width(gtk_tree_view_get_column(view("id_bl_g7_tv"), 1)), before);
}

TEST_F(BulletWindow, UnknownCellsAreEmptyNeverZero)
{
    int t = first_g1_record_without_length();
    ASSERT_GE(t, 0);
    int row = -1;
    for (int r = 0; r < rows_of("id_bl_tv") && row < 0; ++r)
        if (bullet_table_index(kBulletListG1, r) == t) row = r;
    EXPECT_EQ(cell("id_bl_tv", row, 4), "");
    for (const char* id : {"id_bl_tv", "id_bl_g7_tv"})
        for (int r = 0; r < rows_of(id); ++r)
            for (int c = 2; c <= 5; ++c) ASSERT_NE(cell(id, r, c), "0.000") << id << " row " << r << " col " << c;
}

TEST_F(BulletWindow, CancelAndFrameCloseOnlyHide)
{
    click("id_bl_cl");
    EXPECT_FALSE(is_visible("id_bl_win"));
    click("id_db_btn");
    show_page(1);
    select_row("id_bl_g7_tv", 3);
    GdkEvent* ev = gdk_event_new(GDK_DELETE);
    ev->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(get_widget("id_bl_win"))));
    gtk_main_do_event(ev);
    gdk_event_free(ev);
    pump_events();
    EXPECT_FALSE(is_visible("id_bl_win"));
    click("id_db_btn");
    pump_events();
    EXPECT_TRUE(is_visible("id_bl_win"));
    EXPECT_EQ(gtk_notebook_get_current_page(GTK_NOTEBOOK(get_widget("id_bl_nb"))), 1);
    EXPECT_EQ(selected_row_index(view("id_bl_g7_tv")), 3);
    EXPECT_TRUE(profile_unchanged());
}

TEST_F(BulletWindow, YesOnG1AppliesTheShownValues)
{
    select_row("id_bl_tv", 0);
    click("id_bl_ok");
    GtkWidget* q = the_question();
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(q)), GTK_WINDOW(get_widget("id_bl_win")));
    EXPECT_FALSE(gtk_window_get_modal(GTK_WINDOW(q)));
    gchar* text = nullptr;
    g_object_get(q, "text", &text, nullptr);
    EXPECT_STREQ(text, "Warning: Selecting a new bullet will overwrite your current bullet.\nDo you wish to proceed?");
    g_free(text);
    mark_profile_state(2);
    answer(GTK_RESPONSE_YES);

    EXPECT_FLOAT_EQ(cvIn.bd, 0.222f);
    EXPECT_FLOAT_EQ(cvIn.bl, 0.684f);
    EXPECT_FLOAT_EQ(cvIn.bw, 60.0f);
    EXPECT_FLOAT_EQ(cvIn.bc, 0.113f);
    EXPECT_EQ(cvIn.dc, 0);
    EXPECT_EQ(std::memcmp(cvIn.cc, before.cc, sizeof cvIn.cc), 0);
    EXPECT_EQ(entry_text("id_bd_entry"), "0.222");
    EXPECT_EQ(entry_text("id_bc_entry"), "0.113");
    EXPECT_TRUE(toggle_active("id_g1_btn"));
    EXPECT_TRUE(is_visible("id_bc_hbox"));
    EXPECT_TRUE(is_sensitive("id_bc_hbox"));
    EXPECT_FALSE(is_visible("id_custom_dc_lbl"));
    EXPECT_FALSE(is_visible("id_bl_win"));
    EXPECT_EQ(label_markup_colour(), "Red");
    EXPECT_TRUE(questions().empty());
}

TEST_F(BulletWindow, DoubleClickOnG7AsksAndAppliesG7)
{
    show_page(1);
    activate_row("id_bl_g7_tv", 0);
    answer(GTK_RESPONSE_YES);
    EXPECT_FLOAT_EQ(cvIn.bc, 0.058f);
    EXPECT_EQ(cvIn.dc, 1);
    EXPECT_TRUE(toggle_active("id_g7_btn"));
    EXPECT_FALSE(is_visible("id_bl_win"));
}

TEST_F(BulletWindow, DoubleClickOnG1Asks)
{
    activate_row("id_bl_tv", 0);
    EXPECT_NE(the_question(), nullptr);
}

TEST_F(BulletWindow, NoChangesNothingAndKeepsTheWindow)
{
    select_row("id_bl_tv", 0);
    click("id_bl_ok");
    answer(GTK_RESPONSE_NO);
    EXPECT_TRUE(profile_unchanged());
    EXPECT_TRUE(is_visible("id_bl_win"));
    EXPECT_TRUE(questions().empty());
}

TEST_F(BulletWindow, OnlyYesAppliesEscapeAndClosingKeepTheForm)
{
    select_row("id_bl_tv", 0);
    for (bool by_frame : {true, false}) {
        click("id_bl_ok");
        if (by_frame) close_question();
        else answer(GTK_RESPONSE_DELETE_EVENT);  // what Escape gives
        EXPECT_TRUE(profile_unchanged()) << by_frame;
        EXPECT_TRUE(is_visible("id_bl_win")) << by_frame;
        EXPECT_TRUE(questions().empty()) << by_frame;
    }
}

TEST_F(BulletWindow, OkWithoutASelectedRowSaysSoAndAsksNothingOnEveryPage)
{
    for (int page = 0; page < 3; ++page) {
        show_page(page);
        click("id_bl_ok");
        GtkWidget* note = the_question();
        ASSERT_NE(note, nullptr) << page;
        EXPECT_EQ(gtk_window_get_title(GTK_WINDOW(note)), std::string("No Bullet Selected")) << page;
        answer(GTK_RESPONSE_OK);
        EXPECT_TRUE(profile_unchanged()) << page;
        EXPECT_TRUE(is_visible("id_bl_win")) << page;
        EXPECT_TRUE(questions().empty()) << page;
    }
}

TEST_F(BulletWindow, PageAndRowAreReadWhenTheAnswerComes)
{
    select_row("id_bl_tv", 1);
    show_page(1);
    select_row("id_bl_g7_tv", 0);
    show_page(0);
    click("id_bl_ok");
    show_page(1);
    answer(GTK_RESPONSE_YES);
    EXPECT_EQ(cvIn.dc, 1);
    EXPECT_FLOAT_EQ(cvIn.bc, 0.058f);
}

TEST_F(BulletWindow, UnknownLengthKeepsTheProfilesAndSaysSo)
{
    int t = first_g1_record_without_length();
    ASSERT_GE(t, 0);
    int row = -1;
    for (int r = 0; r < rows_of("id_bl_tv") && row < 0; ++r)
        if (bullet_table_index(kBulletListG1, r) == t) row = r;
    select_row("id_bl_tv", row);
    click("id_bl_ok");
    answer(GTK_RESPONSE_YES);
    EXPECT_FLOAT_EQ(cvIn.bl, before.bl);
    EXPECT_EQ(entry_text("id_bl_entry"), "1.240");
    EXPECT_NEAR(cvIn.bw, bullet_table[t].weight_gr, 0.5f);
    EXPECT_NEAR(cvIn.bd, bullet_table[t].diameter_in, 0.0005f);
    EXPECT_NE(status_text().find("length"), std::string::npos) << status_text();
    EXPECT_FALSE(is_visible("id_bl_win"));
}

TEST_F(BulletWindow, FilterNarrowsThePageAndChoosesTheRightRecord)
{
    int all = rows_of("id_bl_tv");
    set_entry_text("id_bl_filter", "  sniper ");
    pump_events();
    ASSERT_EQ(rows_of("id_bl_tv"), 1);
    EXPECT_EQ(cell("id_bl_tv", 0, 1), "SniperSubsonic");

    // Caliber text, maker and name all match; every row shown matches and
    // maps to its own record.
    set_entry_text("id_bl_filter", "0.264");
    pump_events();
    int n = rows_of("id_bl_tv");
    ASSERT_GT(n, 1);
    ASSERT_LT(n, all);
    for (int r = 0; r < n; ++r) {
        int t = bullet_table_index(kBulletListG1, r);
        ASSERT_GE(t, 0);
        EXPECT_EQ(cell("id_bl_tv", r, 2), "0.264");
        EXPECT_EQ(cell("id_bl_tv", r, 1), bullet_table[t].bullet_name);
    }
    int pick = n - 1;
    int record = bullet_table_index(kBulletListG1, pick);
    select_row("id_bl_tv", pick);

    // The selected bullet stays selected while it still matches.
    set_entry_text("id_bl_filter", "0.26");
    pump_events();
    int kept = selected_row_index(view("id_bl_tv"));
    ASSERT_GE(kept, 0);
    EXPECT_EQ(bullet_table_index(kBulletListG1, kept), record);

    click("id_bl_ok");
    answer(GTK_RESPONSE_YES);
    EXPECT_NEAR(cvIn.bw, bullet_table[record].weight_gr, 0.5f);
    EXPECT_NEAR(cvIn.bc, bullet_table[record].bc_g1, 0.0005f);
    EXPECT_FLOAT_EQ(cvIn.bd, 0.264f);

    // The other page follows the filter when it is shown; nothing matching
    // says so; clearing shows the whole page again.
    click("id_db_btn");
    set_entry_text("id_bl_filter", "Berger");
    show_page(1);
    for (int r = 0; r < rows_of("id_bl_g7_tv"); ++r) EXPECT_EQ(cell("id_bl_g7_tv", r, 0), "Berger");
    EXPECT_GT(rows_of("id_bl_g7_tv"), 0);
    set_entry_text("id_bl_filter", "no such bullet");
    pump_events();
    EXPECT_EQ(rows_of("id_bl_g7_tv"), 0);
    EXPECT_TRUE(is_visible("id_bl_g7_empty_lbl"));
    EXPECT_EQ(label_text("id_bl_g7_empty_lbl"), "No bullets on this page match the filter.");
    set_entry_text("id_bl_filter", "");
    pump_events();
    EXPECT_FALSE(is_visible("id_bl_g7_empty_lbl"));
    show_page(0);
    EXPECT_EQ(rows_of("id_bl_tv"), all);
}

TEST(AboutNotice, SaysWhereTheBulletDataComesFrom)
{
    gchar* comments = nullptr;
    gchar* licence = nullptr;
    g_object_get(get_object("id_awin"), "comments", &comments, "license", &licence, nullptr);
    std::string c = comments ? comments : "";
    std::string l = licence ? licence : "";
    g_free(comments);
    g_free(licence);
    EXPECT_EQ(c.rfind("DATABASE VERSION: 320000\n", 0), 0u) << c;
    EXPECT_NE(c.find("projectiles"), std::string::npos);
    EXPECT_NE(c.find("MIT"), std::string::npos);
    EXPECT_NE(l.find("Copyright (c) 2018 ammolytics"), std::string::npos);
}

// The custom page with records that carry curves.
namespace {

bullet_record test_record(const char* name, float weight, float length, float g1, bool curve, uint32_t seed)
{
    bullet_record r{};
    std::snprintf(r.manufacturer, sizeof r.manufacturer, "%s", "Test Maker");
    std::snprintf(r.bullet_name, sizeof r.bullet_name, "%s", name);
    r.diameter_in = 0.308f;
    r.weight_gr = weight;
    r.length_in = length;
    r.bc_g1 = g1;
    if (curve)
        for (int k = 0; k < kBulletCurvePoints; ++k) {
            r.curve[k].mach = 0.1f * static_cast<float>(k + 1);
            uint32_t bits = seed + 977u * static_cast<uint32_t>(k);
            std::memcpy(&r.curve[k].cd, &bits, sizeof bits);
        }
    return r;
}

class CustomCurvePage : public BulletWindow {
protected:
    void SetUp() override
    {
        records[0] = test_record("Alpha", 150.0f, 1.1f, 0.4f, true, 0x3e800001u);
        records[1] = test_record("Bravo", 155.5f, 0.0f, 0.41f, false, 0);
        records[2] = test_record("Charlie", 168.0f, 1.2149f, 0.0f, true, 0x7fc00042u);  // NaN payloads
        use_bullet_records(records, 3);
        BulletWindow::SetUp();
    }
    void TearDown() override
    {
        BulletWindow::TearDown();
        set_entry_text("id_bl_filter", "");
        use_bullet_records(bullet_table, kBulletCount);
        show_profile();
    }
    void expect_curve_of(int r)
    {
        for (int k = 0; k < kBulletCurvePoints; ++k) {
            EXPECT_EQ(bits_of(cvIn.cc[k].mach), bits_of(records[r].curve[k].mach)) << k;
            EXPECT_EQ(bits_of(cvIn.cc[k].cd), bits_of(records[r].curve[k].cd)) << k;
        }
    }
    bullet_record records[3];
};

}  // namespace

TEST_F(CustomCurvePage, ListsOnlyRecordsWithACurve)
{
    EXPECT_EQ(rows_of("id_bl_cc_tv"), 2);
    EXPECT_EQ(cell("id_bl_cc_tv", 1, 1), "Charlie");
    EXPECT_EQ(cell("id_bl_cc_tv", 1, 4), "1.215");
    EXPECT_EQ(rows_of("id_bl_tv"), 2);
    EXPECT_EQ(cell("id_bl_tv", 1, 3), "156");  // whole grains, as shown
    EXPECT_EQ(rows_of("id_bl_g7_tv"), 0);
    EXPECT_TRUE(is_visible("id_bl_g7_empty_lbl"));
    EXPECT_FALSE(is_visible("id_bl_cc_empty_lbl"));
}

// The widths follow the records listed (none of the shipped ones has a curve).
TEST_F(CustomCurvePage, ColumnsFitTheRecordsListed)
{
    show_page(2);
    expect_columns_fit("id_bl_cc_tv");
}

TEST_F(CustomCurvePage, DoubleClickDoesNothingOkAsks)
{
    show_page(2);
    activate_row("id_bl_cc_tv", 0);
    EXPECT_TRUE(questions().empty());
    select_row("id_bl_cc_tv", 0);
    click("id_bl_ok");
    EXPECT_NE(the_question(), nullptr);
}

TEST_F(CustomCurvePage, CustomThenG1KeepsTheCurve)
{
    show_page(2);
    select_row("id_bl_cc_tv", 1);
    click("id_bl_ok");
    answer(GTK_RESPONSE_YES);
    EXPECT_EQ(cvIn.dc, 10);
    EXPECT_FLOAT_EQ(cvIn.bc, 1.0f);
    EXPECT_FLOAT_EQ(cvIn.bw, 168.0f);
    EXPECT_FLOAT_EQ(cvIn.bl, 1.215f);
    expect_curve_of(2);
    EXPECT_FALSE(is_visible("id_bc_hbox"));
    EXPECT_FALSE(is_sensitive("id_bc_hbox"));
    EXPECT_FALSE(is_visible("id_drag_curve_lbl"));
    EXPECT_TRUE(is_visible("id_custom_dc_lbl"));
    EXPECT_EQ(entry_text("id_bc_entry"), "1.000");

    click("id_db_btn");
    show_page(0);
    select_row("id_bl_tv", 1);  // Bravo: no length published
    click("id_bl_ok");
    answer(GTK_RESPONSE_YES);
    EXPECT_EQ(cvIn.dc, 0);
    EXPECT_FLOAT_EQ(cvIn.bw, 156.0f);
    EXPECT_FLOAT_EQ(cvIn.bl, 1.215f);
    expect_curve_of(2);
    EXPECT_TRUE(is_visible("id_bc_hbox"));
    EXPECT_TRUE(is_sensitive("id_bc_hbox"));
    EXPECT_TRUE(is_visible("id_drag_curve_lbl"));
    EXPECT_FALSE(is_visible("id_custom_dc_lbl"));
}

TEST_F(CustomCurvePage, FilteredRowTakesItsOwnCurve)
{
    show_page(2);
    set_entry_text("id_bl_filter", "charlie");
    pump_events();
    ASSERT_EQ(rows_of("id_bl_cc_tv"), 1);
    select_row("id_bl_cc_tv", 0);
    click("id_bl_ok");
    answer(GTK_RESPONSE_YES);
    expect_curve_of(2);
}
