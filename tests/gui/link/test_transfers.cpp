#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "collections/window/profile_lists.h"
#include "gui_support.h"
#include "link/carriers.h"
#include "link/download.h"
#include "link/link_state.h"
#include "link/link_test_access.h"
#include "link/profile_lines.h"
#include "link/window/device_events.h"
#include "link/window/link_window.h"
#include "settings/device_modes.h"
#include "settings/window/device_selection.h"
#include "shell/shell.h"
#include "sim_serial.h"

namespace fs = std::filesystem;

namespace {

fs::path device_dir() { return fs::path(test_root()) / "Device"; }

std::vector<std::string> device_rows()
{
    std::vector<std::string> rows;
    GtkTreeModel* model = GTK_TREE_MODEL(get_object("dls"));
    GtkTreeIter it;
    for (bool ok = gtk_tree_model_get_iter_first(model, &it); ok; ok = gtk_tree_model_iter_next(model, &it))
        rows.push_back(model_text(model, &it, 0));
    return rows;
}

// Runs the main loop until `done` or two seconds have passed.
template <class F>
bool run_until(F done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done() && std::chrono::steady_clock::now() < end) {
        gtk_main_iteration_do(FALSE);
        g_usleep(2000);
    }
    return done();
}

class Transfers : public testing::Test {
protected:
    void SetUp() override
    {
        for (const auto& e : fs::directory_iterator(device_dir())) fs::remove_all(e.path());
        ASSERT_TRUE(sim_serial_open(sim, sim_kind::m600, false));
        choose_device_m600(nullptr);
        serial_port_info info{sim.slave_path.c_str(), "Simulated meter", "SIMULATOR"};
        add_port_to_list(nullptr, &info);
    }
    void TearDown() override
    {
        if (the_link().com_connected) on_connect_clicked(nullptr);
        sim_serial_close(sim);
        gtk_widget_hide(get_widget("id_mw"));
        device_modes_reset();
        pump_events();
    }
    sim_serial sim;
};

}  // namespace

TEST_F(Transfers, SendThenGetFillsTheDeviceListAsProfilesArrive)
{
    GunProfile p{};
    apply_new_profile_values(p);
    set_profile_name(p, "SENT");
    std::ofstream(device_dir() / "SENT.pro", std::ios::binary).write(reinterpret_cast<const char*>(&p), sizeof p);
    click("id_connect_btn");
    ASSERT_EQ(the_link().com_connected, 1);

    // The device side was not read from this device: Send Profiles asks first.
    answer_next_dialog(GTK_RESPONSE_ACCEPT);
    click("id_upload_btn");
    while (sim_serial_poll(sim, 50) > 0) {}
    ASSERT_EQ(sim.lines.size(), 9u);
    EXPECT_EQ(sim.lines[3], ":AN,*SENT\r");
    EXPECT_EQ(status_text(), "1 profile sent to the device...");
    EXPECT_FALSE(is_visible("id_progress_win"));

    click("id_download_btn");
    EXPECT_TRUE(fs::exists(device_dir() / "SENT.pro"));  // kept until the device answers
    EXPECT_TRUE(is_visible("id_progress_win"));
    EXPECT_EQ(label_text("id_progress_lbl"), "Initiating download...");
    // The meter gives back what it stored; its first line empties the mirror.
    sim_serial_send(sim, ":AG,01\r");
    ASSERT_TRUE(run_until([] { return !fs::exists(device_dir() / "SENT.pro"); }));
    EXPECT_FALSE(fs::exists(device_dir() / "SENT.pro"));  // the mirror is emptied first
    EXPECT_TRUE(device_rows().empty());
    std::string stream;
    for (size_t i = 3; i < 8; ++i) stream += sim.lines[i];
    sim_serial_send(sim, stream + ":AS\r");
    ASSERT_TRUE(run_until([] { return !download_running(); }));
    EXPECT_EQ(device_rows(), (std::vector<std::string>{"SENT"}));
    EXPECT_EQ(status_text(), "Download complete...");
    EXPECT_FALSE(is_visible("id_progress_win"));
    GunProfile got{};
    ASSERT_TRUE(read_profile_file((device_dir() / "SENT.pro").string(), got));
    EXPECT_EQ(got.mv, p.mv);
}

TEST_F(Transfers, WithoutALinkTheButtonsSaySo)
{
    click("id_upload_btn");
    EXPECT_EQ(status_text(), "Uploading to device only permitted when device is connected...");
    click("id_download_btn");
    EXPECT_EQ(status_text(), "You must first connect to the device before downloading profiles...");
    // The relay device starts without a port, but a request that cannot go out ends it at once.
    set_device_kind(true, kolvan_folder_mode != 0);
    click("id_download_btn");
    EXPECT_FALSE(download_running());
    EXPECT_EQ(status_text(), "Could not ask the device for profile 1...");
}

// Simulator ports published and withdrawn while the program runs, watched in
// a folder of this test's own: the list follows, the user's choice stays
// while it exists, a vanished open port is disconnected first, and the same
// port plugged again is chosen and connects with one press.
TEST(PortList, FollowsThePortsAsTheyComeAndGo)
{
    setenv("XDG_RUNTIME_DIR", (test_root() + "/run").c_str(), 1);
    watch_port_folder();
    choose_device_m600(nullptr);
    sim_serial meter, relay;  // the simulator names a port after its kind and process
    ASSERT_TRUE(sim_serial_open(meter, sim_kind::m600, true));
    const std::string port = meter.link_path;
    ASSERT_TRUE(run_until([&] { return combo_text("id_com_cb") == port; }));  // over the program's own pick
    click("id_connect_btn");
    const int rows = combo_rows("id_com_cb");
    ASSERT_TRUE(sim_serial_open(relay, sim_kind::cv_relay, true));
    ASSERT_TRUE(run_until([&] { return combo_rows("id_com_cb") == rows + 1; }));
    EXPECT_EQ(combo_text("id_com_cb"), port);  // the user's choice stays

    sim_serial_close(meter);  // pulled while connected
    ASSERT_TRUE(run_until([&] { return combo_rows("id_com_cb") == rows && !the_link().com_connected; }));
    EXPECT_EQ(status_text(), "Device disconnected...");
    EXPECT_EQ(the_link().poll_timer_id, 0u);
    EXPECT_EQ(combo_text("id_com_cb"), "");
    sim_serial_close(relay);
    ASSERT_TRUE(sim_serial_open(meter, sim_kind::m600, true));  // plugged again
    ASSERT_TRUE(run_until([&] { return combo_text("id_com_cb") == port && combo_rows("id_com_cb") == rows; }));
    click("id_connect_btn");
    EXPECT_EQ(the_link().com_connected, 1);
    click("id_connect_btn");
    sim_serial_close(meter);
}
