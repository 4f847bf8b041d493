// The transfer core as a program without a window uses it: the plain driver,
// the refusal without a driver, who owns the connection and the poll, the
// folder and the outcome of a transfer, the question before a send, and a
// device side emptied only once the device answers.
#include "base/console.h"
#include "link/carriers.h"
#include "link/command_channel.h"
#include "link/download.h"
#include "link/link_state.h"
#include "link/link_test_access.h"
#include "link/plain_driver.h"
#include "link/profile_lines.h"
#include "link/upload.h"
#include "link_fixture.h"
#include "sim_serial.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

GunProfile gun(const char* name)
{
    GunProfile p{};
    apply_new_profile_values(p);
    set_profile_name(p, name);
    return p;
}

std::vector<std::string> profile_lines(const char* name)
{
    profile_line_set l;
    EXPECT_TRUE(build_profile_lines(gun(name), false, 1.11f, &l, nullptr));
    return {l.name, l.main, l.mv_table, l.drag, l.mach, ":AS\r"};
}

class Core : public link_folder_test<> {
public:  // the table rows below act on it
    void SetUp() override
    {
        link_folder_test::SetUp();
        fs::create_directories(root / "Other");
        the_link().calls.line_handler = handle_download_line;
        ASSERT_TRUE(sim_serial_open(sim, sim_kind::m600, false));
    }
    void TearDown() override
    {
        link_folder_test::TearDown();
        set_console_sink(nullptr);
        sim_serial_close(sim);
    }
    std::string folder(const char* name = "Device") { return (root / name).string(); }
    void put(const char* name, const char* in = "Device")
    {
        const GunProfile p = gun(name);
        std::ofstream(root / in / (std::string(name) + ".pro"), std::ios::binary)
            .write(reinterpret_cast<const char*>(&p), sizeof p);
    }
    std::vector<std::string> files(const char* in = "Device")
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(root / in)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    void feed(const std::vector<std::string>& lines)
    {
        for (const std::string& l : lines) deliver_line(l.c_str());
    }
    // A bulk download of `names` into ../Device, emptying it first; the
    // device announces `announced` profiles (all of them when 0).
    void download(const std::vector<const char*>& names, size_t announced = 0)
    {
        start_download(folder(), true);
        feed({":AG,0" + std::to_string(announced ? announced : names.size()) + "\r"});
        for (const char* n : names) feed(profile_lines(n));
    }
    sim_serial sim;
};

}  // namespace

TEST(PlainDriver, RunsTimersUntilTheyStopAndNeverInsideThemselves)
{
    use_plain_driver();
    static int polls, once, nested;
    polls = once = nested = 0;
    the_link().calls.start_timer(5, [] { return ++polls < 4; });  // repeats until it says no
    the_link().calls.start_timer(1, [] {
        ++once;
        the_link().calls.pump();  // a pump inside a timer does not run this timer again
        the_link().calls.sleep_ms(6);
        return true;
    });
    const unsigned stopped = the_link().calls.start_timer(1, [] { return ++nested, true; });
    the_link().calls.stop_timer(stopped);
    EXPECT_TRUE(plain_driver_run_until([] { return polls == 4; }, 2000));
    EXPECT_FALSE(plain_driver_run_until([] { return false; }, 30));
    EXPECT_EQ(polls, 4);
    EXPECT_GE(once, 2);
    EXPECT_EQ(nested, 0);
    EXPECT_EQ(plain_driver_timer_count(), 1);
    link_use(link_callbacks_default());
}

TEST_F(Core, WithoutADriverNothingStartsAndTheCallerIsTold)
{
    the_link().calls.start_timer = link_callbacks_default().start_timer;
    ASSERT_TRUE(com_open_path(sim.slave_path.c_str()));
    put("A");
    transfer_outcome out;
    const std::vector<std::pair<const char*, bool (*)(transfer_outcome*)>> rows{
        {"upload", [](transfer_outcome* o) { return upload_profiles(".", o).ok(); }},
        {"download", [](transfer_outcome*) { return start_download(".", true), download_running(); }},
        {"connect", [](transfer_outcome*) { return link_connect_port("/dev/null").ok(); }},
    };
    for (const auto& [what, run] : rows) {
        SCOPED_TRACE(what);
        rec.status.clear();
        EXPECT_FALSE(run(&out));
        EXPECT_EQ(rec.status, std::vector<std::string>{link_no_driver_text});
        EXPECT_EQ(the_link().upload_active, 0);
    }
    EXPECT_EQ(out.status, link_no_driver_text);
    EXPECT_EQ(download_outcome().status, link_no_driver_text);
    sim_serial_poll(sim, 30);
    EXPECT_TRUE(sim.lines.empty());
    EXPECT_EQ(files(), std::vector<std::string>{"A.pro"});
}

TEST_F(Core, TheLinkOwnsTheConnectionAndThePollAndOneResetEndsBoth)
{
    EXPECT_FALSE(link_connect_port(""));
    EXPECT_FALSE(link_connect_port((root / "no-such-port").c_str()));
    EXPECT_EQ(the_link().com_connected, 0);
    ASSERT_TRUE(link_connect_port(sim.slave_path.c_str()));
    EXPECT_EQ(the_link().com_connected, 1);
    ASSERT_NE(the_link().poll_timer_id, 0u);
    EXPECT_EQ(rec.timers[the_link().poll_timer_id - 1].ms, com_poll_interval_ms);
    const unsigned poll = the_link().poll_timer_id;
    link_reset();
    EXPECT_FALSE(rec.timers[poll - 1].live);
    EXPECT_EQ(the_link().poll_timer_id, 0u);
    EXPECT_EQ(the_link().com_connected, 0);
    EXPECT_FALSE(link_is_connected());
}

TEST_F(Core, AnUploadSendsTheFolderItIsGivenAndSaysWhatBecameOfEachProfile)
{
    ASSERT_TRUE(com_open_path(sim.slave_path.c_str()));
    put("B", "Other");
    put("A", "Other");
    std::ofstream(root / "Other" / "C.pro") << "short";
    put("IGNORED");  // ../Device is not the folder given
    transfer_outcome out;
    ASSERT_TRUE(upload_profiles(folder("Other"), &out));
    EXPECT_TRUE(out.started && out.finished);
    EXPECT_EQ(out.status, rec.status.back());
    std::vector<std::string> seen;
    for (const profile_outcome& p : out.profiles)
        seen.push_back(p.name + " " + std::to_string(p.number) + " " + profile_result_text(p.result) +
                       (p.reason.empty() ? "" : " " + p.reason.substr(0, 9)));
    EXPECT_EQ(seen, (std::vector<std::string>{"C 0 skipped it holds ", "A 1 sent", "B 2 sent"}));
    while (sim_serial_poll(sim, 30) > 0) {}
    EXPECT_EQ(std::count(sim.lines.begin(), sim.lines.end(), std::string(":AS\r")), 2);

    the_link().link_stop_requested = 1;  // Ctrl-C in a terminal program: nothing more goes out
    sim.lines.clear();
    EXPECT_FALSE(upload_profiles(folder("Other"), &out));
    EXPECT_EQ(out.count(profile_result::skipped), 3);
    EXPECT_EQ(out.profiles.back().reason, "the upload was stopped");
    EXPECT_EQ(the_link().upload_active, 0);
    EXPECT_EQ(sim_serial_poll(sim, 30), 0u);
}

TEST_F(Core, SendingAsksUnlessTheFolderCameWholeFromTheDeviceConnectedNow)
{
    ASSERT_TRUE(link_connect_port(sim.slave_path.c_str()));
    struct row {
        const char* what;
        void (*act)(Core&);
        const char* folder;
        bool needed;
        const char* text;
    };
    const std::vector<row> rows{
        {"after start", [](Core& t) { t.put("A"), t.put("B"); }, "Device", true, "Send 2 profiles to the device?"},
        {"after a whole download", [](Core& t) { t.download({"X"}); }, "Device", false,
         "Send 1 profile to the device?"},
        {"then edited", [](Core& t) { t.put("Y"); }, "Device", false, "Send 2 profiles to the device?"},
        {"another folder", [](Core& t) { t.put("Z", "Other"); }, "Other", true, "Send 1 profile to the device?"},
        {"emptied", [](Core& t) { fs::remove(t.root / "Device" / "X.pro"), fs::remove(t.root / "Device" / "Y.pro"); },
         "Device", true, "Send 0 profiles to the device?"},
        {"downloaded again",
         [](Core& t) {
             t.download({"X", "Y"});
         },
         "Device", false, "Send 2 profiles to the device?"},
        {"reconnected", [](Core& t) { link_disconnect_port(), link_connect_port(t.sim.slave_path.c_str()); }, "Device",
         true, "Send 2 profiles to the device?"},
        {"an incomplete download",
         [](Core& t) {
             t.download({"X", "Y"}, 3), fire_timers(kDownloadWatchdogMs);
         },
         "Device", true, "Send 2 profiles to the device?"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        r.act(*this);
        const upload_question q = upload_question_for(folder(r.folder));
        EXPECT_EQ(q.needed, r.needed);
        EXPECT_EQ(q.text, r.text);
        EXPECT_NE(
            q.detail.find(q.count ? "other profiles will be erased" : "every profile on the device will be erased"),
            std::string::npos);
    }
}

TEST_F(Core, GetEmptiesTheDeviceSideOnlyOnceTheDeviceAnswers)
{
    ASSERT_TRUE(com_open_path(sim.slave_path.c_str()));
    struct row {
        const char* what;
        bool empty_first;
        std::vector<std::string> lines;  // what the device says; then its silence
        std::vector<std::string> after;
        const char* status;
    };
    const std::vector<std::string> one = [] {
        std::vector<std::string> l{":AG,01\r"};
        for (const std::string& s : profile_lines("NEW")) l.push_back(s);
        return l;
    }();
    const std::vector<row> rows{
        {"silent", true, {}, {"OLD.pro"}, "The device did not answer the download request..."},
        {"only noise", true, {"\n", "garbage\r"}, {"OLD.pro"}, "The device did not answer the download request..."},
        {"no profiles", true, {":AG,00\r"}, {}, "There are no profiles on the device..."},
        {"one profile", true, one, {"NEW.pro"}, "Download complete...\n"},
        {"not asked to empty", false, one, {"NEW.pro", "OLD.pro"}, "Download complete...\n"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        for (const std::string& f : files()) fs::remove(root / "Device" / f);
        put("OLD");
        start_download(folder(), r.empty_first);
        feed(r.lines);
        fire_timers(kDownloadWatchdogMs);
        EXPECT_FALSE(download_running());
        EXPECT_EQ(files(), r.after);
        EXPECT_EQ(download_outcome().status, r.status);
        EXPECT_EQ(download_outcome().count(profile_result::saved),
                  std::count(r.after.begin(), r.after.end(), "NEW.pro"));
    }
    // Stopped half way: what was saved stays, and says so.
    start_download(folder(), true);
    feed({":AG,02\r"});
    feed(profile_lines("NEW"));
    download_stop("The download was stopped.");
    EXPECT_FALSE(download_running());
    EXPECT_EQ(download_outcome().status, "The download was stopped. 1 profiles saved.");
    EXPECT_FALSE(download_outcome().finished);
}

// A program without a window: the plain driver runs the poll, the watchdog
// and the pauses against the simulated meter in real time; the trace goes
// where the program sends it.
TEST_F(Core, APlainProgramSendsAndGetsThroughThePlainDriver)
{
    use_plain_driver();
    static sim_serial* meter = &sim;
    the_link().calls.start_timer(5, [] { return sim_serial_service(*meter, 5), true; });
    static std::string trace;
    trace.clear();
    set_console_sink([](const char* text, bool) { trace += text; });
    put("ONE", "Other");
    put("TWO", "Other");
    ASSERT_TRUE(link_connect_port(sim.slave_path.c_str()));
    transfer_outcome sent;
    ASSERT_TRUE(upload_profiles(folder("Other"), &sent));
    EXPECT_EQ(sent.count(profile_result::sent), 2);
    EXPECT_EQ(sent.status, "2 profiles sent to the device...");

    start_download(folder(), true);
    ASSERT_TRUE(plain_driver_run_until([] { return !download_running(); }, 20000));
    const transfer_outcome& got = download_outcome();
    EXPECT_EQ(got.status, "Download complete...\n");
    ASSERT_EQ(got.profiles.size(), 2u);
    EXPECT_EQ(got.profiles[1].name + " " + std::to_string(got.profiles[1].number), "TWO 2");
    EXPECT_EQ(files(), (std::vector<std::string>{"ONE.pro", "TWO.pro"}));
    EXPECT_NE(trace.find("-----> TX: :AD\r\n\n"), std::string::npos);
    EXPECT_NE(trace.find("Rx: :AG,02\r\n"), std::string::npos);
}
