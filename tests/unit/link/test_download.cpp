#include "link/command_channel.h"
#include "link/download.h"
#include "link/line_checksum.h"
#include "link/link_state.h"
#include "link/link_test_access.h"
#include "link/profile_lines.h"
#include "link_fixture.h"
#include "sim_bridge.h"
#include "sim_serial.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

GunProfile gun(const char* name, float mv)
{
    GunProfile p{};
    apply_new_profile_values(p);
    set_profile_name(p, name);
    p.mv = mv;
    for (int i = 0; i < 32; ++i) p.cc[i].cd = 0.25f + 0.01f * static_cast<float>(i);
    return p;
}

// A device played line by line: its numbered slots (an empty name is an
// empty slot), and the faults of the next sendings of a number.
struct scripted_device {
    bool relay = false;
    float version = 1.11f;
    std::vector<GunProfile> slots;
    std::map<int, std::vector<std::string>> faults;  // number -> "bad AP", "lose AV", "lose AS", "lose AN", "silent"
    std::map<int, std::string> name_lines;           // number -> a name line the program would never build

    std::vector<std::string> profile(int number)
    {
        const GunProfile& p = slots[static_cast<size_t>(number - 1)];
        if (profile_name(p).empty()) return {":AN,INVALID\r", ":AS\r"};
        profile_line_set l;
        EXPECT_TRUE(build_profile_lines(p, relay, version, &l, nullptr));
        if (name_lines.count(number)) l.name = name_lines[number];
        std::vector<std::string> lines{l.name, l.main, l.mv_table, l.drag, l.mach, ":AS\r"};
        std::vector<std::string>& f = faults[number];
        if (f.empty()) return lines;
        const std::string fault = f.front();
        f.erase(f.begin());
        if (fault == "silent") return {};
        for (auto it = lines.begin(); it != lines.end(); ++it) {
            if (it->compare(0, 3, ":" + fault.substr(fault.size() - 2)) != 0) continue;
            if (fault.rfind("lose", 0) == 0) lines.erase(it);
            else (*it)[5] = (*it)[5] == '9' ? '8' : '9';  // a changed digit
            break;
        }
        return lines;
    }
};

class Download : public link_folder_test<> {
protected:
    void SetUp() override
    {
        link_folder_test::SetUp();
        the_link().calls.line_handler = handle_download_line;
        ASSERT_TRUE(sim_serial_open(sim, sim_kind::m600, false));
        ASSERT_TRUE(com_open_path(sim.slave_path.c_str()));
    }
    void TearDown() override
    {
        link_folder_test::TearDown();
        sim_serial_close(sim);
    }
    void feed(const std::vector<std::string>& lines)
    {
        for (const std::string& l : lines) deliver_line(l.c_str());
    }
    // What the program sent since the last call.
    std::vector<std::string> sent()
    {
        sim_serial_poll(sim, 30);
        std::vector<std::string> out(sim.lines.begin() + static_cast<long>(taken), sim.lines.end());
        taken = sim.lines.size();
        return out;
    }
    // Answers every ":AD,nn" the program sends until it sends none; returns them.
    std::vector<std::string> answer_requests(scripted_device& dev)
    {
        std::vector<std::string> asked;
        for (bool more = true; more;) {
            more = false;
            for (const std::string& line : sent()) {
                if (line.rfind(":AD,", 0) != 0) continue;
                asked.push_back(line);
                feed(dev.profile(std::stoi(line.substr(4))));
                more = true;
            }
            if (!more && download_running() && relay_mode && fire_timers(kDownloadWatchdogMs)) more = true;
        }
        return asked;
    }
    std::vector<std::string> saved_names()
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(root / "Device")) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // The file `name` carries what `sent` carried.
    void expect_same(const GunProfile& sent_profile, const std::string& name, const scripted_device& dev)
    {
        GunProfile got{};
        ASSERT_TRUE(read_profile_file((root / "Device" / (name + ".pro")).string(), got)) << name;
        profile_line_set a, b;
        ASSERT_TRUE(build_profile_lines(sent_profile, dev.relay, dev.version, &a, nullptr));
        ASSERT_TRUE(build_profile_lines(got, dev.relay, dev.version, &b, nullptr));
        EXPECT_EQ(a.main, b.main) << name;
        EXPECT_EQ(a.mv_table + a.drag + a.mach, b.mv_table + b.drag + b.mach) << name;
        EXPECT_EQ(got.az, 90.0f);  // what the download adds
    }
    sim_serial sim;
    size_t taken = 0;
};

}  // namespace

TEST_F(Download, BulkSavesEveryProfileOnceAndAsksAgainOnlyForDamagedOnes)
{
    const struct {
        const char* fault;
        int number;
        int times;
        const char* asked;
        const char* end;
    } cases[] = {
        {"", 0, 0, "", "Download complete...\n"},
        {"bad AP", 2, 1, ":AD,02\r", "Download complete...\n"},
        {"lose AV", 1, 1, ":AD,01\r", "Download complete...\n"},
        {"lose AS", 2, 1, ":AD,02\r", "Download complete...\n"},
        {"lose AN", 3, 1, ":AD,03\r", "Download complete...\n"},
        {"bad AC", 2, 4, ":AD,02\r:AD,02\r:AD,02\r",
         "Download incomplete: 2 of 3 profiles saved; skipped: P2 (its lines failed their checksum)."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        reset_link();
        the_link().calls.line_handler = handle_download_line;
        ASSERT_TRUE(com_open_path(sim.slave_path.c_str()));
        for (const auto& e : fs::directory_iterator(root / "Device")) fs::remove(e.path());
        scripted_device dev;
        dev.slots = {gun("P1", 2600), gun("P2", 2700), gun("P3", 2800)};
        for (int i = 0; i < c.times; ++i) dev.faults[c.number].push_back(c.fault);
        start_download();
        EXPECT_EQ(sent(), (std::vector<std::string>{"\r", "\r", ":A-\r", ":AD\r"}));
        feed({":AG,03\r"});
        for (int n = 1; n <= 3; ++n) feed(dev.profile(n));
        std::string asked;
        for (const std::string& a : answer_requests(dev)) asked += a;
        EXPECT_EQ(asked, c.asked);
        if (c.times > kProfileRetries) EXPECT_EQ(saved_names(), (std::vector<std::string>{"P1.pro", "P3.pro"}));
        else EXPECT_EQ(saved_names(), (std::vector<std::string>{"P1.pro", "P2.pro", "P3.pro"}));
        expect_same(dev.slots[0], "P1", dev);
        expect_same(dev.slots[2], "P3", dev);
        ASSERT_FALSE(rec.status.empty());
        EXPECT_EQ(rec.status.back(), c.end);
        EXPECT_FALSE(download_running());
    }
}

TEST_F(Download, IndexedAsksEveryNumberSkipsEmptyHostileAndSilentOnesAndSavesOnlyInTheDeviceFolder)
{
    set_device_kind(true, kolvan_folder_mode != 0);
    scripted_device dev;
    dev.relay = true;
    dev.slots.assign(kIndexedProfileCount, GunProfile{});
    dev.slots[0] = gun("ALPHA", 2500);
    dev.slots[2] = gun("../up", 2500);
    dev.slots[3] = gun("SILENT", 2500);
    dev.slots[4] = gun("A/B", 2500);
    dev.slots[5] = gun("BETA", 2900);
    dev.slots[6] = gun("CONTROL", 2900);
    dev.name_lines[7] = ":AN,*\x01\r";
    dev.faults[4] = {"silent", "silent", "silent", "silent"};
    dev.faults[6] = {"bad AM"};  // asked again, then saved
    start_download();
    std::vector<std::string> asked = answer_requests(dev);
    std::vector<std::string> expected;
    for (int n = 1; n <= kIndexedProfileCount; ++n) {
        for (int k = 0; k < (n == 4 ? 4 : n == 6 ? 2 : 1); ++k) expected.push_back(request_line(n));
    }
    EXPECT_EQ(asked, expected);
    EXPECT_EQ(saved_names(), (std::vector<std::string>{"ALPHA.pro", "BETA.pro"}));
    expect_same(dev.slots[5], "BETA", dev);
    EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 2);  // bin and Device only
    EXPECT_EQ(rec.status.back(),
              "Download incomplete: 2 of 6 profiles saved; skipped: ../up (its name cannot be a file name); number 4 "
              "(the device did not answer); A/B (its name cannot be a file name); ? (its name cannot be a file "
              "name).");
    EXPECT_FALSE(download_running());
}

TEST_F(Download, BulkEndsWhenTheDeviceHasNothingOrFallsSilent)
{
    scripted_device dev;
    dev.slots = {gun("ONLY", 2600)};
    const struct {
        std::vector<std::string> lines;
        const char* end;
    } cases[] = {
        {{":AG,00\r"}, "There are no profiles on the device..."},
        {{}, "The device did not answer the download request..."},
        {{":AG,03\r"}, "Download incomplete: 1 of 3 profiles saved; skipped: 2 more (the device stopped sending)."},
    };
    for (const auto& c : cases) {
        start_download();
        feed(c.lines);
        if (!c.lines.empty() && c.lines[0] == ":AG,03\r") feed(dev.profile(1));
        if (download_running()) {
            EXPECT_EQ(fire_timers(kDownloadWatchdogMs), 1);
        }
        EXPECT_EQ(rec.status.back(), c.end);
        EXPECT_FALSE(download_running());
        EXPECT_GT(rec.progress_hides, 0);
    }
}

TEST_F(Download, LinesAfterTheEndTwiceOrTooLongNeitherAskNorLeaveTheProgressOpen)
{
    scripted_device dev;
    dev.slots = {gun("P1", 2600), gun("P2", 2700)};
    std::vector<std::string> long_mach = dev.profile(1);
    long_mach[4] = ":AM";  // 32 values that fill more than the 255 characters read, with a checksum that fits them
    for (int i = 0; i < 32; ++i) long_mach[4] += " 12345.678";
    long_mach[4] += "\r";
    char fixed[400];
    std::snprintf(fixed, sizeof fixed, "%s", long_mach[4].c_str());
    append_line_checksum(fixed, sizeof fixed);
    long_mach[4] = fixed;
    const struct {
        bool relay;
        std::vector<std::vector<std::string>> script;
        const char* asked;
        size_t files;
    } cases[] = {
        // A whole profile after the end is kept; a damaged one is not asked for.
        {false, {{":AG,01\r"}, dev.profile(1), {"END"}, dev.profile(2), long_mach}, "", 2},
        // A repeated ":AS" ends nothing and asks for nothing.
        {false, {{":AG,02\r"}, dev.profile(1), {":AS\r"}, dev.profile(2)}, "", 2},
        // A line too long to be read whole counts as bad.
        {false, {{":AG,01\r"}, long_mach}, ":AD,01\r", 0},
    };
    for (const auto& c : cases) {
        for (const auto& e : fs::directory_iterator(root / "Device")) fs::remove(e.path());
        set_device_kind(c.relay, kolvan_folder_mode != 0);
        start_download();
        sent();
        for (const auto& part : c.script) {
            if (part.size() == 1 && part[0] == "END") ASSERT_FALSE(download_running());
            else feed(part);
        }
        std::string asked;
        for (const std::string& l : sent()) asked += l.rfind(":AD", 0) == 0 ? l : "";
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(saved_names().size(), c.files);
        if (!c.asked[0]) {
            EXPECT_FALSE(rec.progress_open);
        }
        EXPECT_TRUE(std::none_of(rec.timers.begin(), rec.timers.end(),
                                 [](const fake_timer& t) { return t.live && t.fire == download_watchdog; }));
        download_reset();
    }
    // The relay device: a repeated ":AS" after number 34 asks for no number 35.
    set_device_kind(true, kolvan_folder_mode != 0);
    dev.relay = true;
    dev.slots.assign(kIndexedProfileCount, GunProfile{});
    start_download();
    answer_requests(dev);
    feed({":AS\r"});
    for (const std::string& l : sent()) EXPECT_NE(l, ":AD,35\r");
    EXPECT_EQ(rec.status.back(), "There are no profiles on the device...");
    EXPECT_FALSE(rec.progress_open);
}

TEST_F(Download, AFileThatCannotBeWrittenKeepsWhatWasThereAndIsReported)
{
    fs::create_directories(root / "Device" / "HELD.pro" / "inside");
    scripted_device dev;
    dev.slots = {gun("HELD", 2600), gun("NEXT", 2600)};
    start_download();
    feed({":AG,02\r"});
    feed(dev.profile(1));
    feed(dev.profile(2));
    EXPECT_TRUE(fs::is_directory(root / "Device" / "HELD.pro" / "inside"));
    EXPECT_TRUE(fs::exists(root / "Device" / "NEXT.pro"));
    EXPECT_EQ(rec.status.back().rfind("Download incomplete: 1 of 2 profiles saved; skipped: HELD (it could not be "
                                      "written: ",
                                      0),
              0u);
}

TEST(DownloadOnTheBridge, AcknowledgementsSentFromInsideThePollAreTakenThere)
{
    reset_link();
    const fs::path root = fs::temp_directory_path() / ("stowline-dlb-" + std::to_string(getpid()));
    fs::create_directories(root / "bin");
    const fs::path old_cwd = fs::current_path();
    fs::current_path(root / "bin");
    rec.poll_on_pump = false;  // the toolkit never runs the poll inside itself
    the_link().calls.line_handler = handle_download_line;
    ASSERT_TRUE(hid_connect_link());
    sim_bridge_send_version("1.12.3    ");
    receive_poll();
    ASSERT_FLOAT_EQ(the_link().device_version, 1.123f);

    scripted_device dev;
    dev.version = the_link().device_version;
    dev.slots = {gun("B1", 2650)};
    // The lines are the script's alone: the simulated meter behind the
    // bridge, which now gets the ":AD" in time, keeps its own count.
    sim_bridge().meter.silent_after = 0;
    start_download();
    sim_bridge_send_text(":AG,01\r");
    for (const std::string& line : dev.profile(1)) sim_bridge_send_text(line);
    for (int i = 0; i < 20 && download_running(); ++i) receive_poll();

    int acks = 0;
    for (const std::string& c : sim_bridge().command_lines) acks += c == ":AK\r";
    EXPECT_EQ(acks, 7);  // the count, the name, four data lines and the end
    EXPECT_EQ(rec.status.back(), "Download complete...\n");
    EXPECT_TRUE(fs::exists(root / "Device" / "B1.pro"));
    reset_link();
    fs::current_path(old_cwd);
    fs::remove_all(root);
}
