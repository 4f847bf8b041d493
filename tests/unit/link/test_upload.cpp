#include "link/command_channel.h"
#include "link/download.h"
#include "link/link_state.h"
#include "link/link_test_access.h"
#include "link/profile_lines.h"
#include "link/upload.h"
#include "link_fixture.h"
#include "sim_bridge.h"
#include "sim_serial.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

class Upload : public link_folder_test<> {
protected:
    void SetUp() override
    {
        link_folder_test::SetUp();
        ASSERT_TRUE(sim_serial_open(sim, sim_kind::m600, false));
    }
    void TearDown() override
    {
        link_folder_test::TearDown();
        sim_serial_close(sim);
    }
    GunProfile put(const char* file, const char* name, size_t size = sizeof(GunProfile))
    {
        GunProfile p{};
        apply_new_profile_values(p);
        set_profile_name(p, name);
        p.bt = name[0] == 'L' ? -9.0f : 10.0f;
        std::ofstream(root / "Device" / file, std::ios::binary)
            .write(reinterpret_cast<const char*>(&p), static_cast<std::streamsize>(size));
        return p;
    }
    std::vector<std::string> sent()
    {
        while (sim_serial_poll(sim, 30) > 0) {}
        return sim.lines;
    }
    sim_serial sim;
};

}  // namespace

TEST_F(Upload, SendsTheDeviceListInItsOrderAndRefusesWhatItCannotSendWhole)
{
    for (bool relay : {false, true}) {
        SCOPED_TRACE(relay ? "relay" : "meter");
        reset_link();
        set_device_kind(relay, kolvan_folder_mode != 0);
        sim.lines.clear();
        ASSERT_TRUE(com_open_path(sim.slave_path.c_str()));
        const GunProfile a = put("b.pro", "LEFT");  // rows: "B", "a", "b", "x" as the device list shows them
        const GunProfile b = put("a.pro", "RIGHT");
        const GunProfile c = put("x.PRO", "UPPER");
        put("B.pro", "OLD", 428);
        ASSERT_TRUE(upload_profiles());
        std::vector<std::string> expected{":A-\r", count_line(3)};
        int slot = 0;
        for (const GunProfile* p : {&b, &a, &c}) {
            profile_line_set l;
            ASSERT_TRUE(build_profile_lines(*p, relay, 1.11f, &l, nullptr));
            expected.insert(expected.end(), {slot_line(++slot), l.name, l.main, l.mv_table, l.drag, l.mach, ":AS\r"});
        }
        EXPECT_EQ(sent(), expected);
        EXPECT_EQ(rec.sleeps, 23);  // every command settles
        EXPECT_EQ(the_link().upload_active, 0);
        EXPECT_EQ(rec.status.back(),
                  "3 profiles sent to the device; not sent: B (it is not a whole profile; open it in the editor and "
                  "save it first)...");
        EXPECT_EQ(rec.progress.front(), "Sending 3 profiles...");

        // Only refused files: nothing goes out, so the device is not emptied.
        for (const char* f : {"a.pro", "b.pro", "x.PRO"}) fs::remove(root / "Device" / f);
        sim.lines.clear();
        ASSERT_TRUE(upload_profiles());
        EXPECT_TRUE(sent().empty());
        EXPECT_EQ(rec.status.back().rfind("Nothing sent, the device keeps its profiles; not sent: B (", 0), 0u);
    }
}

TEST_F(Upload, AnEmptyFolderAndAFolderOverTheLimit)
{
    ASSERT_TRUE(com_open_path(sim.slave_path.c_str()));
    ASSERT_TRUE(upload_profiles());
    EXPECT_EQ(sent(), (std::vector<std::string>{":A-\r", ":AG,00\r"}));
    // A device reads while the program settles.
    static sim_serial* device = &sim;
    the_link().calls.sleep_ms = [](unsigned) { sim_serial_poll(*device, 0); };
    for (int i = 0; i < kUploadFileLimit + 2; ++i) {
        char file[16];
        std::snprintf(file, sizeof file, "G%02d.pro", i);
        put(file, file);
    }
    sim.lines.clear();
    ASSERT_TRUE(upload_profiles());
    const std::vector<std::string> lines = sent();
    EXPECT_EQ(lines[1], ":AG,50\r");
    EXPECT_EQ(lines.size(), 2u + 7u * kUploadFileLimit);
    EXPECT_NE(rec.status.back().find("only the first 50 files were sent"), std::string::npos);
}

TEST_F(Upload, AStopOnTheBridgeLeavesTheLinkFreeForADownload)
{
    put("A.pro", "ALPHA");
    ASSERT_TRUE(hid_connect_link());
    sim_bridge().acks_to_skip = 1;  // the first ":A-" goes unacknowledged: the second is never sent
    EXPECT_FALSE(upload_profiles());
    EXPECT_EQ(the_link().upload_active, 0);
    EXPECT_EQ(sim_bridge().command_lines, (std::vector<std::string>{":A-\r"}));
    EXPECT_GT(rec.progress_hides, 0);
    EXPECT_EQ(rec.status.back(), "The upload stopped: the device did not take a command; it keeps what it received...");

    // Lines reach the download handler again.
    sim_bridge().acks_to_skip = 0;
    sim_bridge_send_ack(0);
    sim_bridge_send_text(":AG,00\r");
    receive_poll();
    ASSERT_FALSE(rec.lines.empty());
    EXPECT_EQ(rec.lines.back(), ":AG,00\r");
}
