#include "link/command_channel.h"
#include "link/download.h"
#include "link/link_state.h"
#include "link/link_test_access.h"
#include "link/platform/port_list.h"
#include "link/platform/serial_port.h"
#include "link_fixture.h"
#include "sim_serial.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

// Takes in what the program sent until `lines` lines (and `partial` pending
// bytes) are there or a second has passed.
static void sim_wait(sim_serial& sim, size_t lines, size_t partial = 0)
{
    for (int i = 0; i < 20 && (sim.lines.size() < lines || sim.partial.size() < partial); ++i) sim_serial_poll(sim, 50);
}

class ComChannel : public testing::Test {
protected:
    void SetUp() override
    {
        reset_link();
        ASSERT_TRUE(sim_serial_open(sim, sim_kind::m600, false));
    }
    void TearDown() override
    {
        reset_link();
        sim_serial_close(sim);
    }
    void connect()
    {
        testing::internal::CaptureStdout();
        ASSERT_TRUE(com_open_path(sim.slave_path.c_str()));
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ("Connected... Handle: " + std::to_string(the_link().com_handle) + "\n", out);
    }
    // Waits until the program's side of the port has input.
    void wait_input()
    {
        pollfd p{the_link().com_handle, POLLIN, 0};
        poll(&p, 1, 1000);
    }
    sim_serial sim;
};

TEST_F(ComChannel, OpensAtTheBaudOfTheDeviceKind)
{
    connect();
    EXPECT_EQ(9600, sim_serial_slave_baud(sim));
    EXPECT_TRUE(link_is_connected());
    EXPECT_EQ(1, com_close());
    EXPECT_EQ(-1, the_link().com_handle);
    EXPECT_FALSE(link_is_connected());

    set_device_kind(true, kolvan_folder_mode != 0);
    connect();
    EXPECT_EQ(115200, sim_serial_slave_baud(sim));
}

TEST_F(ComChannel, PortNamesAndFailures)
{
    char path[64];
    ASSERT_TRUE(com_name_to_path("COM3", path, sizeof path));
    EXPECT_STREQ("/dev/ttyS2", path);
    ASSERT_TRUE(com_name_to_path("\\\\.\\com12", path, sizeof path));
    EXPECT_STREQ("/dev/ttyS11", path);
    EXPECT_FALSE(com_name_to_path("COM", path, sizeof path));
    EXPECT_FALSE(com_name_to_path("COM0", path, sizeof path));
    EXPECT_FALSE(com_name_to_path("/dev/ttyUSB0", path, sizeof path));

    testing::internal::CaptureStdout();
    EXPECT_FALSE(com_open(0));
    EXPECT_FALSE(com_open(128));
    EXPECT_FALSE(com_open_path("/nonexistent/port"));
    EXPECT_FALSE(com_open_name(""));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("Error -> 2\n"));
    EXPECT_EQ(-1, the_link().com_handle);

    // A list entry that is a path is opened as it is.
    testing::internal::CaptureStdout();
    EXPECT_TRUE(com_open_name(sim.slave_path.c_str()));
    testing::internal::GetCapturedStdout();
}

// A port that does not open says which failure it was, with the name given,
// at the first try.
TEST_F(ComChannel, AFailedOpenSaysWhy)
{
    testing::internal::CaptureStdout();
    struct row {
        std::string name;
        link_status status;
        std::string why;
    } rows[] = {
        {"", link_status::no_such_port, "no such port: "},
        {"COMX", link_status::no_such_port, "no such port: COMX"},
        {"/nonexistent/port", link_status::no_such_port, "no such port: /nonexistent/port"},
        {"/dev/null", link_status::not_a_port, "cannot open /dev/null as a serial port"},
    };
    for (const row& r : rows) {
        const link_result got = com_open_name(r.name.c_str());
        EXPECT_EQ(link_status_name(r.status), std::string(link_status_name(got.status))) << r.name;
        EXPECT_EQ(r.why, got.why) << r.name;
    }
    const int first = serial_open(sim.slave_path.c_str(), 9600);
    ASSERT_GE(first, 0);
    int fd = -1;
    const link_result held = serial_open_port(sim.slave_path.c_str(), 9600, &fd);
    serial_close(first);
    EXPECT_EQ(-1, fd);
    EXPECT_EQ(link_status::in_use, held.status) << held.why;
    EXPECT_EQ(sim.slave_path + " is in use by another program", held.why);
    testing::internal::GetCapturedStdout();
}

TEST_F(ComChannel, CommandsReachTheDeviceByteForByte)
{
    connect();
    testing::internal::CaptureStdout();
    EXPECT_EQ(4, send_command(":AD\r"));
    EXPECT_EQ(6, send_command(":A-\r\n\x7f"));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(0u, out.find("-----> TX: :AD\r\n\n"));

    sim_wait(sim, 3, 1);
    ASSERT_EQ(3u, sim.lines.size());
    EXPECT_EQ(":AD\r", sim.lines[0]);
    EXPECT_EQ(":A-\r", sim.lines[1]);
    EXPECT_EQ("\n", sim.lines[2]);
    EXPECT_EQ("\x7f", sim.partial);
}

TEST_F(ComChannel, OverlongCommandIsRefused)
{
    connect();
    const std::string longest(255, 'x');
    testing::internal::CaptureStdout();
    EXPECT_EQ(255, send_command(longest.c_str()));
    EXPECT_EQ(0, send_command(std::string(256, 'y').c_str()));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::string::npos, out.find("-----> TX: y"));
    sim_wait(sim, 0, 255);
    EXPECT_EQ(longest, sim.partial);
}

TEST_F(ComChannel, AllWaitingLinesInOnePollAndPartialLinesWait)
{
    connect();
    ASSERT_TRUE(sim_serial_send(sim, ":AG,02\r:AN,Test\r\n"));
    wait_input();
    usleep(20000);
    receive_poll();
    ASSERT_EQ(3u, rec.lines.size());
    EXPECT_EQ(":AG,02\r", rec.lines[0]);
    EXPECT_EQ(":AN,Test\r", rec.lines[1]);
    EXPECT_EQ("\n", rec.lines[2]);

    // A line split across reads, with a pause: nothing until its end arrives.
    ASSERT_TRUE(sim_serial_send(sim, std::string(":AP 1.0", 7) + '\0' + "0"));
    wait_input();
    usleep(20000);
    EXPECT_TRUE(receive_poll());
    EXPECT_EQ(3u, rec.lines.size());
    ASSERT_TRUE(sim_serial_send_split(sim, " 2.0 C6\r", 3, 30));
    wait_input();
    usleep(20000);
    receive_poll();
    ASSERT_EQ(4u, rec.lines.size());
    EXPECT_EQ(":AP 1.00 2.0 C6\r", rec.lines[3]);  // the NUL byte adds nothing

    // While an upload runs no line reaches the handler.
    the_link().upload_active = 1;
    ASSERT_TRUE(sim_serial_send(sim, ":AS\r"));
    wait_input();
    usleep(20000);
    receive_poll();
    EXPECT_EQ(4u, rec.lines.size());
}

TEST_F(ComChannel, OverlongLinesAreDroppedAndTheNextLineSurvives)
{
    connect();
    const std::string fits(1022, 'a');
    const std::string too_long(1023, 'b');
    ASSERT_TRUE(sim_serial_send_garbage(sim, 1500, 7));
    ASSERT_TRUE(sim_serial_send(sim, "\r" + fits + "\r" + too_long + "\r:AQ\r"));
    testing::internal::CaptureStdout();
    for (int i = 0; i < 40 && rec.lines.size() < 2; ++i) {
        wait_input();
        receive_poll();
    }
    receive_poll();
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(2u, rec.lines.size());
    EXPECT_EQ(fits + "\r", rec.lines[0]);
    EXPECT_EQ(":AQ\r", rec.lines[1]);
    EXPECT_NE(std::string::npos, out.find("Dropped a received line longer than 1023 characters"));
}

TEST_F(ComChannel, VanishedPortFailsWithoutBlocking)
{
    connect();
    sim_serial_close(sim);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(receive_poll());
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, send_command(":AD\r"));
    testing::internal::GetCapturedStdout();
    com_drain_input();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_TRUE(rec.lines.empty());
}

TEST_F(ComChannel, DrainDiscardsPendingInputAndWatchdogRedoes)
{
    connect();
    ASSERT_TRUE(sim_serial_send(sim, ":AG,05\r"));
    wait_input();
    usleep(20000);
    com_drain_input();
    receive_poll();
    EXPECT_TRUE(rec.lines.empty());

    the_link().gun_counter = 7;
    the_link().gun_is_saved = 1;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(download_watchdog());
    the_link().gun_is_saved = 0;
    EXPECT_FALSE(download_watchdog());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(0u, out.find("Hi, I'm a friendly neighborhood watchdoog!\nHi, I'm a friendly neighborhood "
                           "watchdoog!\nWatchdog triggered redo.\n"));
    EXPECT_EQ(1, rec.progress_hides);
    sim_wait(sim, 1);
    ASSERT_EQ(1u, sim.lines.size());
    EXPECT_EQ(":AD,07\r", sim.lines[0]);

    // No acknowledgements on COM: the version stays below the threshold.
    acknowledge_line();
    EXPECT_EQ(0u, sim_serial_poll(sim, 50));
}

static int collect(void* user, const serial_port_info* info)
{
    static_cast<std::vector<std::string>*>(user)->push_back(std::string(info->port_name) + "|" + info->enumerator);
    return 1;
}

TEST(PortList, SimulatorPortsAreListedAndStaleLinksSkipped)
{
    const fs::path dir = fs::temp_directory_path() / ("stowline-test-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old != nullptr ? old : "";
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);

    sim_serial sim;
    ASSERT_TRUE(sim_serial_open(sim, sim_kind::cv_relay, true));
    ASSERT_FALSE(sim.link_path.empty());
    EXPECT_EQ((dir / "stowline-ports").string(), fs::path(sim.link_path).parent_path().string());
    fs::create_symlink("/nonexistent/pts/99", dir / "stowline-ports" / "m600-1");

    std::vector<std::string> ports;
    EXPECT_TRUE(enumerate_serial_ports(collect, &ports));
    EXPECT_NE(ports.end(), std::find(ports.begin(), ports.end(), sim.link_path + "|SIMULATOR"));
    for (const std::string& p : ports) EXPECT_EQ(std::string::npos, p.find("m600-1"));
    EXPECT_FALSE(enumerate_serial_ports(nullptr, nullptr));

    // The listed name opens the simulator's port.
    reset_link();
    testing::internal::CaptureStdout();
    EXPECT_TRUE(com_open_name(sim.link_path.c_str()));
    testing::internal::GetCapturedStdout();
    com_close();

    const std::string link = sim.link_path;
    sim_serial_close(sim);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    if (old != nullptr) setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else unsetenv("XDG_RUNTIME_DIR");
    fs::remove_all(dir);
}
