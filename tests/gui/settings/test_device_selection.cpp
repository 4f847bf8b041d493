// Choosing the device kind, the settings file around it, the wrist-GPS
// folder chooser, and both carriers' connection on the real widgets: the
// serial one over a simulator's pseudo-terminal, the bridge through the
// hidapi stand-in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "gui_support.h"
#include "link/carriers.h"
#include "link/command_channel.h"
#include "link/link_state.h"
#include "link/link_test_access.h"
#include "link/platform/serial_port.h"
#include "link/window/link_window.h"
#include "profile/units.h"
#include "settings/device_modes.h"
#include "settings/settings_file.h"
#include "settings/window/device_selection.h"
#include "shell/shell.h"
#include "sim_bridge.h"
#include "sim_serial.h"

namespace fs = std::filesystem;

namespace {

const char* const kHideable[] = {"id_zr_lbl1",      "id_connect_btn", "id_com_cb",           "id_con_img",
                                 "id_download_btn", "id_upload_btn",  "id_kolvan_folder_sel"};

std::string button_text(const char* id)
{
    GtkWidget* label = find_descendant(get_widget(id), GTK_TYPE_LABEL);
    return label ? gtk_label_get_text(GTK_LABEL(label)) : "";
}

void write_settings(int units, const char* folder, size_t size = 1028)
{
    std::vector<char> bytes(1028, 0);
    std::memcpy(bytes.data(), &units, 4);
    std::strncpy(bytes.data() + 4, folder, 1023);
    std::ofstream("settings.ini", std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(size));
}

std::vector<char> read_settings()
{
    std::ifstream in("settings.ini", std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

std::string lamp_state() { return atk_object_get_description(gtk_widget_get_accessible(get_widget("id_con_img"))); }

class DeviceSelection : public testing::Test {
protected:
    void SetUp() override
    {
        for (const char* id : kHideable) gtk_widget_show(get_widget(id));
        gtk_widget_show(get_widget("id_sw"));
        gtk_widget_hide(get_widget("id_mw"));
        set_toggle("id_mix_units", true);
        input_units = 1;
        set_device_kind(false, false);
        set_kolvan_folder("");
        std::remove("settings.ini");
        std::remove("ports.ini");
        pump_events();
    }
    void TearDown() override
    {
        if (the_link().com_connected) on_connect_clicked(nullptr);
        stop_receive_poll();
        hid_close_link();
        the_link().bridge_chosen = the_link().bridge_auto = 0;
        the_link().hid_connected = 0;
        the_link().clear_to_send = 1;
        set_connection_lamp(false);
        gtk_widget_hide(get_widget("id_mw"));
        pump_events();
    }
};

}  // namespace

TEST_F(DeviceSelection, EachKindHidesItsControls)
{
    struct Case {
        void (*choose)(GtkWidget*);
        std::vector<const char*> hidden;
        int folder_mode;
    };
    const Case cases[] = {
        {choose_device_kolvan,
         {"id_zr_lbl1", "id_connect_btn", "id_com_cb", "id_con_img", "id_download_btn", "id_upload_btn"},
         1},
        {choose_device_m600, {"id_kolvan_folder_sel"}, 0},
        {choose_device_cv_relay, {"id_kolvan_folder_sel"}, 0},
    };
    for (const Case& c : cases) {
        SetUp();
        c.choose(nullptr);
        pump_events();
        EXPECT_FALSE(is_visible("id_sw"));
        EXPECT_TRUE(is_visible("id_mw"));
        EXPECT_EQ(kolvan_folder_mode, c.folder_mode);
        for (const char* id : kHideable) {
            bool hidden = std::find_if(c.hidden.begin(), c.hidden.end(),
                                       [&](const char* h) { return std::strcmp(h, id) == 0; }) != c.hidden.end();
            EXPECT_EQ(is_visible(id), !hidden) << id;
        }
    }
    EXPECT_EQ(relay_mode, 1);
    EXPECT_EQ(button_text("id_download_btn"), "Get Profiles\nFrom CV\nDevice");
    EXPECT_EQ(button_text("id_upload_btn"), "Send Profiles\nTo CV Device");
}

TEST_F(DeviceSelection, SettingsFileChoosesTheUnitSystem)
{
    const std::pair<int, const char*> cases[] = {
        {2, "id_english_units"}, {3, "id_metric_units"}, {7, "id_metric_units"}, {1, "id_mix_units"}};
    for (const auto& [stored, radio] : cases) {
        SetUp();
        write_settings(stored, "/tmp/velmora");
        choose_device_m600(nullptr);
        EXPECT_TRUE(toggle_active(radio)) << stored;
        EXPECT_EQ(input_units, stored == 7 ? 3 : stored);
        EXPECT_STREQ(kolvan_folder, "/tmp/velmora");
    }
    EXPECT_EQ(label_text("id_zr_unit_lbl"), "meters");
}

TEST_F(DeviceSelection, ShortOrMissingSettingsFileIsSafe)
{
    write_settings(2, "/ignored", 4);
    choose_device_m600(nullptr);
    EXPECT_EQ(input_units, 2);
    EXPECT_STREQ(kolvan_folder, "");

    SetUp();
    choose_device_m600(nullptr);  // no file: the start values stay
    EXPECT_EQ(input_units, 1);
    EXPECT_TRUE(toggle_active("id_mix_units"));
}

// A damaged settings file is told in the window, once, and a folder in its
// place is called one.
TEST_F(DeviceSelection, DamagedSettingsAreToldInTheWindowOnce)
{
    fs::create_directory("settings.ini");
    const std::string told = "settings.ini is damaged (it is a folder): the defaults take the place of what is damaged";
    choose_device_m600(nullptr);
    EXPECT_EQ(status_text(), told);
    status_message("-");
    choose_device_m600(nullptr);
    EXPECT_EQ(status_text(), "-");
    fs::remove("settings.ini");
}

// The port a serial kind selects: the one kept for it, else its only
// simulator, else none; never another kind's simulator.
TEST_F(DeviceSelection, ChoosingASerialKindSelectsItsOwnPort)
{
    struct Row {
        void (*choose)(GtkWidget*);
        const char* kept;  // ports.ini
        std::string selected;
    };
    const Row rows[] = {
        {choose_device_m600, "", "/run/p/m600-1"},
        {choose_device_cv_relay, "", "/run/p/cv-relay-2"},
        {choose_device_cv_relay, "cv-relay=/dev/ttyUSB7\nm600=/run/p/m600-1\n", "/dev/ttyUSB7"},
        {choose_device_m600, "cv-relay=/dev/ttyUSB7\nm600=/dev/gone\n", "/run/p/m600-1"},
    };
    for (const Row& r : rows) {
        SetUp();
        std::ofstream("ports.ini") << r.kept;
        gtk_tree_store_clear(GTK_TREE_STORE(get_object("id_com_ts")));
        const serial_port_info ports[] = {
            {"/dev/ttyUSB7", "USB serial", "USB"},
            {"/run/p/m600-1", "Stowline simulator m600-1 (/dev/pts/8)", "SIMULATOR"},
            {"/run/p/cv-relay-2", "Stowline simulator cv-relay-2 (/dev/pts/9)", "SIMULATOR"},
            {"/dev/ttyS0", "", ""}};
        for (const serial_port_info& port : ports) add_port_to_list(nullptr, &port);
        r.choose(nullptr);
        select_port_for_kind();
        EXPECT_EQ(combo_text("id_com_cb"), r.selected) << r.kept;
    }
    // Two simulators of the kind and nothing kept: none.
    const serial_port_info second{"/run/p/cv-relay-3", "Stowline simulator cv-relay-3 (/dev/pts/7)", "SIMULATOR"};
    add_port_to_list(nullptr, &second);
    std::remove("ports.ini");
    choose_device_cv_relay(nullptr);
    select_port_for_kind();
    EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(get_widget("id_com_cb"))), -1);
    gtk_tree_store_clear(GTK_TREE_STORE(get_object("id_com_ts")));
}

// Ports that come after the choice: another kind's simulator is not
// selected, the kind's kept port is.
TEST_F(DeviceSelection, PortsThatComeLaterFollowTheChosenKind)
{
    const std::string runtime = test_root() + "/runtime";
    fs::create_directories(runtime);
    const char* old_runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old_runtime ? old_runtime : "";
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    gtk_tree_store_clear(GTK_TREE_STORE(get_object("id_com_ts")));
    refresh_port_list();  // this machine's own ports
    choose_device_cv_relay(nullptr);
    select_port_for_kind();

    sim_serial other, own;
    ASSERT_TRUE(sim_serial_open(other, sim_kind::m600, true));
    refresh_port_list();
    EXPECT_EQ(combo_text("id_com_cb"), "");
    ASSERT_TRUE(sim_serial_open(own, sim_kind::cv_relay, true));
    std::ofstream("ports.ini") << "cv-relay=" << own.link_path << "\n";
    select_port_for_kind();
    refresh_port_list();
    EXPECT_EQ(combo_text("id_com_cb"), own.link_path);

    sim_serial_close(other);
    sim_serial_close(own);
    refresh_port_list();
    if (old_runtime) setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else unsetenv("XDG_RUNTIME_DIR");
}

TEST_F(DeviceSelection, QuittingWritesBackWhatWasRead)
{
    write_settings(2, "/data/velmora profiles");
    std::vector<char> before = read_settings();
    choose_device_kolvan(nullptr);
    save_settings();
    std::vector<char> after = read_settings();
    ASSERT_EQ(after.size(), 1028u);
    EXPECT_EQ(std::memcmp(after.data(), before.data(), 4), 0);
    EXPECT_STREQ(after.data() + 4, "/data/velmora profiles");

    set_toggle("id_metric_units", true);
    save_settings();
    int units = 0;
    std::memcpy(&units, read_settings().data(), 4);
    EXPECT_EQ(units, 3);
}

TEST_F(DeviceSelection, FolderChooserKeepsTheFolderOnCancel)
{
    apply_kolvan_folder(test_root().c_str());
    EXPECT_STREQ(kolvan_folder, test_root().c_str());
    EXPECT_EQ(status_text(), "Profile Folder Selected... " + test_root());

    answer_next_dialog(GTK_RESPONSE_CANCEL);
    choose_kolvan_folder(nullptr);
    EXPECT_STREQ(kolvan_folder, test_root().c_str());

    // A path that does not fit the field is refused, not cut.
    std::string too_long(2000, 'a');
    apply_kolvan_folder(("/" + too_long).c_str());
    EXPECT_STREQ(kolvan_folder, test_root().c_str());
}

namespace {
std::string g_folder_to_choose;
gboolean accept_in_folder(gpointer)
{
    GList* tops = gtk_window_list_toplevels();
    for (GList* t = tops; t; t = t->next)
        if (GTK_IS_FILE_CHOOSER_DIALOG(t->data) && gtk_widget_get_visible(GTK_WIDGET(t->data))) {
            // The chooser moves to a folder asynchronously: answer once it is there.
            gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(t->data), g_folder_to_choose.c_str());
            g_timeout_add(
                400,
                [](gpointer dialog) -> gboolean {
                    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
                    return FALSE;
                },
                t->data);
            g_list_free(tops);
            return FALSE;
        }
    g_list_free(tops);
    return TRUE;
}
}  // namespace

TEST_F(DeviceSelection, FolderChooserTakesTheChosenFolder)
{
    g_folder_to_choose = test_root() + "/Device";
    g_timeout_add(50, accept_in_folder, nullptr);
    choose_kolvan_folder(nullptr);
    EXPECT_STREQ(kolvan_folder, g_folder_to_choose.c_str());
    EXPECT_EQ(status_text(), "Profile Folder Selected... " + g_folder_to_choose);
}

TEST_F(DeviceSelection, SerialConnectAtTheBaudOfTheKindAndDisconnect)
{
    for (int relay : {0, 1}) {
        SetUp();
        if (relay) choose_device_cv_relay(nullptr);
        else choose_device_m600(nullptr);
        sim_serial sim;
        ASSERT_TRUE(sim_serial_open(sim, relay ? sim_kind::cv_relay : sim_kind::m600, false));
        serial_port_info info{sim.slave_path.c_str(), "Simulated meter", "SIMULATOR"};
        add_port_to_list(nullptr, &info);

        click("id_connect_btn");
        EXPECT_EQ(the_link().com_connected, 1);
        EXPECT_EQ(lamp_state(), "Connected");
        EXPECT_EQ(button_text("id_connect_btn"), "Disconnect");
        EXPECT_EQ(status_text(), "Connected to device...");
        EXPECT_NE(the_link().poll_timer_id, 0u);
        EXPECT_EQ(sim_serial_slave_baud(sim), relay ? 115200 : 9600);
        EXPECT_EQ(read_last_port(last_ports_path, relay ? "cv-relay" : "m600"), sim.slave_path);

        EXPECT_GT(send_command(":A-\r"), 0);
        sim_serial_poll(sim, 500);
        ASSERT_EQ(sim.lines.size(), 1u);
        EXPECT_EQ(sim.lines[0], ":A-\r");

        click("id_connect_btn");
        EXPECT_EQ(the_link().com_connected, 0);
        EXPECT_EQ(the_link().poll_timer_id, 0u);
        EXPECT_EQ(lamp_state(), "Not connected");
        EXPECT_EQ(button_text("id_connect_btn"), "Connect");
        EXPECT_EQ(status_text(), "Device disconnected...");
        sim_serial_close(sim);
    }
}

TEST_F(DeviceSelection, ConnectWithoutAPortReportsFailure)
{
    choose_device_m600(nullptr);
    gtk_combo_box_set_active(GTK_COMBO_BOX(get_widget("id_com_cb")), -1);
    click("id_connect_btn");
    EXPECT_EQ(the_link().com_connected, 0);
    EXPECT_EQ(status_text(), "Could not connect to device...");
    EXPECT_EQ(button_text("id_connect_btn"), "Connect");
}

// A port another program holds is refused by name, and taken once it is free.
TEST_F(DeviceSelection, APortInUseIsRefusedByName)
{
    choose_device_m600(nullptr);
    sim_serial sim;
    ASSERT_TRUE(sim_serial_open(sim, sim_kind::m600, false));
    serial_port_info info{sim.slave_path.c_str(), "Simulated meter", "SIMULATOR"};
    add_port_to_list(nullptr, &info);
    const int other = serial_open(sim.slave_path.c_str(), 9600);
    ASSERT_GE(other, 0);
    click("id_connect_btn");
    EXPECT_EQ(the_link().com_connected, 0);
    EXPECT_EQ(status_text(), sim.slave_path + " is in use by another program...");
    serial_close(other);
    click("id_connect_btn");
    EXPECT_EQ(the_link().com_connected, 1);
    click("id_connect_btn");
    sim_serial_close(sim);
}

TEST_F(DeviceSelection, M900OpensTheBridgeAndStartsThePoll)
{
    sim_bridge_reset();
    choose_device_m900(nullptr);
    pump_events();
    EXPECT_EQ(the_link().hid_connected, 1);
    EXPECT_EQ(lamp_state(), "Connected");
    EXPECT_NE(the_link().poll_timer_id, 0u);
    EXPECT_TRUE(sim_bridge_config_matches_meter());
    ASSERT_FALSE(sim_bridge().messages.empty());
    const std::vector<uint8_t> connect = {0x00, 0x00, 0x02, 0x00, 0x08, 0x00};
    EXPECT_EQ(sim_bridge().messages[0], connect);
    EXPECT_FALSE(is_visible("id_com_cb"));
    EXPECT_TRUE(is_visible("id_download_btn"));
}

TEST_F(DeviceSelection, M900WithoutItsCableCarriesOn)
{
    sim_bridge_reset();
    sim_bridge().present = false;
    choose_device_m900(nullptr);
    EXPECT_EQ(the_link().hid_connected, 0);
    EXPECT_EQ(lamp_state(), "Not connected");
    EXPECT_EQ(status_text(),
              "Error: Could not detect Zeravik USB Cable.  It connects as soon as the cable is plugged in...");
    EXPECT_TRUE(is_visible("id_mw"));
}

TEST_F(DeviceSelection, PulledCableCanBeDisconnectedAndConnectedAgain)
{
    choose_device_m600(nullptr);
    sim_serial first;
    ASSERT_TRUE(sim_serial_open(first, sim_kind::m600, false));
    serial_port_info info{first.slave_path.c_str(), "", ""};
    add_port_to_list(nullptr, &info);
    click("id_connect_btn");
    ASSERT_EQ(the_link().com_connected, 1);

    sim_serial_close(first);  // the cable is pulled
    for (int i = 0; i < 3; ++i) receive_poll();
    EXPECT_EQ(send_command(":A-\r"), 0);
    pump_events();

    // The failed read closed the link at once: no Disconnect to press.
    EXPECT_EQ(button_text("id_connect_btn"), "Connect");
    EXPECT_EQ(the_link().com_connected, 0);
    EXPECT_EQ(status_text(), "Device disconnected...");

    sim_serial second;
    ASSERT_TRUE(sim_serial_open(second, sim_kind::m600, false));
    serial_port_info again{second.slave_path.c_str(), "", ""};
    add_port_to_list(nullptr, &again);
    click("id_connect_btn");
    EXPECT_EQ(the_link().com_connected, 1);
    EXPECT_EQ(lamp_state(), "Connected");
    EXPECT_GT(send_command(":A-\r"), 0);
    sim_serial_poll(second, 500);
    ASSERT_EQ(second.lines.size(), 1u);
    sim_serial_close(second);
}

// The M900's cable plugged after the choice, pulled, plugged again, and
// closed and opened by hand; another HID device coming changes nothing.
TEST_F(DeviceSelection, M900CableFollowsItsEventsAndTheButton)
{
    sim_bridge_reset();
    sim_bridge().present = false;
    choose_device_m900(nullptr);
    EXPECT_TRUE(is_visible("id_cable_btn"));
    const std::string opened = "Connected to the Stowline simulated M900 cable...";
    const struct {
        void (*act)();
        bool connected;
        std::string status;
    } steps[] = {
        {[] { on_bridge_event(true); }, false, hid_missing_text},
        {[] { sim_bridge().present = true, on_bridge_event(true); }, true, opened},
        {[] { sim_bridge().present = false, receive_poll(); }, false, bridge_lost_text},
        {[] { sim_bridge().present = true, on_bridge_event(true); }, true, opened},
        {[] { click("id_cable_btn"); }, false, "Device disconnected..."},
        {[] { on_bridge_event(true); }, false, "Device disconnected..."},  // closed by hand stays closed
        {[] { click("id_cable_btn"); }, true, opened},
        {[] { sim_bridge().present = false, on_bridge_event(false); }, false, bridge_lost_text},
        {[] { click("id_cable_btn"); }, false,
         "Could not detect the Zeravik USB Cable; it connects as soon as it is plugged in..."},
        {[] { sim_bridge().present = true, on_bridge_event(true); }, true, opened},
    };
    int step = 0;
    for (const auto& s : steps) {
        s.act();
        pump_events();
        EXPECT_EQ(the_link().hid_connected, s.connected ? 1 : 0) << step;
        EXPECT_EQ(lamp_state(), s.connected ? "Connected" : "Not connected") << step;
        EXPECT_EQ(button_text("id_cable_btn"), s.connected ? "Disconnect Cable" : "Connect Cable") << step;
        EXPECT_EQ(the_link().poll_timer_id != 0, s.connected) << step;
        EXPECT_EQ(status_text(), s.status) << step++;
    }
    const std::vector<uint8_t> connect = {0x00, 0x00, 0x02, 0x00, 0x08, 0x00};
    EXPECT_EQ(sim_bridge().messages.back(), connect);
}
