// send and get run in-process against the simulated meters, in real time:
// the serial ones on a pseudo-terminal serviced on a thread of their own (as
// stowline-sim services it), the M900 through the bridge stand-in.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cli/commands.h"
#include "cli/profile_report.h"
#include "link/link_state.h"
#include "link/link_test_access.h"
#include "link/profile_lines.h"
#include "sim_bridge.h"
#include "sim_serial.h"

namespace fs = std::filesystem;
using Device = TransferRequest::Device;

namespace {

GunProfile gun(const char* name, float mv, float bt)
{
    GunProfile p{};
    apply_new_profile_values(p);
    set_profile_name(p, name);
    p.mv = mv;
    p.bt = bt;
    p.zh = 0.5f;
    p.zo = -0.25f;
    p.ssfV = 1.125f;
    p.dc = name[0] == 'C' ? 10 : 1;
    for (int i = 0; i < 6; ++i) p.mvt_mv[i] = mv - 5.0f * static_cast<float>(i);
    for (int i = 0; i < 32; ++i) p.cc[i] = {0.1f * static_cast<float>(i), 0.3f - 0.002f * static_cast<float>(i)};
    return p;
}

struct Kind {
    const char* name;
    Device device;
    sim_kind sim;
};
const Kind kKinds[] = {{"m600", Device::m600, sim_kind::m600},
                       {"cv-relay", Device::cv_relay, sim_kind::cv_relay},
                       {"m900", Device::m900, sim_kind::m900}};

class Transfers : public testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/cli-transfers-XXXXXX";
        root = mkdtemp(tmpl);
        err = std::tmpfile();
        io.out = io.err = err;
    }
    void TearDown() override
    {
        stop_meter();
        std::fclose(err);
        fs::remove_all(root);
    }
    // A meter of `k`'s kind holding `stored`; the serial one serviced on a thread.
    sim_meter& start_meter(const Kind& k, const std::vector<GunProfile>& stored = {})
    {
        stop_meter();
        sim_meter* m;
        if (k.sim == sim_kind::m900) {
            sim_bridge_reset();
            sim_bridge().real_clock = true;
            sim_bridge_set_version("1.12.3");  // it acknowledges every line
            m = &sim_bridge().meter;
        } else {
            serial = sim_serial{};
            EXPECT_TRUE(sim_serial_open(serial, k.sim, false));
            m = &serial.meter;
        }
        for (size_t i = 0; i < stored.size(); ++i) sim_meter_store(*m, static_cast<int>(i) + 1, stored[i]);
        if (k.sim != sim_kind::m900) serve([this] { return stop.load(); });
        return *m;
    }
    // Services the serial meter until `done`, on a thread of its own or here.
    template <class Done>
    void serve(Done done, bool here = false)
    {
        stop = false;
        auto loop = [this, done] {
            while (!done()) {
                pollfd p{serial.master, POLLIN, 0};
                poll(&p, 1, 2);
                sim_serial_service(serial, 2);
            }
        };
        if (here) loop();
        else service = std::thread(loop);
    }
    void stop_meter()
    {
        stop = true;
        if (service.joinable()) service.join();
        if (serial.master >= 0) sim_serial_close(serial);
    }
    TransferRequest request(const Kind& k)
    {
        TransferRequest r;
        r.device = k.device;
        if (k.sim != sim_kind::m900) r.port = serial.slave_path;
        r.yes = true;
        return r;
    }
    void put(const fs::path& folder, const GunProfile& p)
    {
        fs::create_directories(folder);
        std::ofstream(folder / (profile_name(p) + ".pro"), std::ios::binary)
            .write(reinterpret_cast<const char*>(&p), sizeof p);
    }
    GunProfile read(const fs::path& file)
    {
        GunProfile p{};
        EXPECT_TRUE(read_profile_file(file.string(), p)) << file;
        return p;
    }
    std::string said()
    {
        std::fflush(err);
        std::rewind(err);
        std::string s;
        for (int c; (c = std::fgetc(err)) != EOF;) s += static_cast<char>(c);
        return s;
    }
    std::vector<std::string> listing(const fs::path& folder)
    {
        std::vector<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(folder)) names.push_back(e.path().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path root;
    std::FILE* err = nullptr;
    CliStreams io;
    sim_serial serial;
    std::thread service;
    std::atomic<bool> stop{false};
};

}  // namespace

// One journey per device kind: send two profiles, get them back into a
// folder that already holds one, field for field.
TEST_F(Transfers, WhatIsSentIsStoredAndComesBackFieldForField)
{
    const std::vector<GunProfile> guns{gun("ALPHA", 2650, 10), gun("CURVE", 3100, -8)};
    for (const GunProfile& g : guns) put(root / "send", g);
    for (const Kind& k : kKinds) {
        SCOPED_TRACE(k.name);
        sim_meter& meter = start_meter(k);
        TransferRequest r = request(k);
        r.paths = {(root / "send").string()};
        EXPECT_EQ(run_send(r, io), kExitOk);
        EXPECT_EQ(meter.profiles.size(), guns.size());
        for (int slot = 1; slot <= 2; ++slot) {
            profile_line_set sent;
            ASSERT_TRUE(
                build_profile_lines(guns[slot - 1], k.sim == sim_kind::cv_relay, meter.version, &sent, nullptr));
            const profile_line_set& got = meter.profiles[slot].lines;
            EXPECT_EQ(got.name + got.main + got.mv_table + got.drag + got.mach,
                      sent.name + sent.main + sent.mv_table + sent.drag + sent.mach);
        }
        const fs::path to = root / k.name;
        put(to, gun("OLD", 2000, 10));
        r.to = to.string();
        r.clean = k.sim == sim_kind::m600;  // the others keep what the folder held
        EXPECT_EQ(run_get(r, io), kExitOk);
        for (int slot = 1; slot <= 2; ++slot) {
            const std::string name = profile_name(guns[slot - 1]);
            EXPECT_EQ(diff_text(read(to / (name + ".pro")), meter.profiles[slot].record), "") << name;
            EXPECT_EQ(read(to / (name + ".pro")).mv, guns[slot - 1].mv);
        }
        EXPECT_EQ(fs::exists(to / "OLD.pro"), !r.clean);
    }
    const std::string text = said();
    EXPECT_NE(text.find("profile 2 of 2: CURVE\n"), std::string::npos);
    EXPECT_NE(text.find("2 profiles sent to the device...\nsent 2, skipped 0\n"), std::string::npos);
    EXPECT_NE(text.find("Download complete...\nsaved 2, skipped 0\n"), std::string::npos);
    EXPECT_NE(text.find("Download complete...\nremoved 1, saved 2, skipped 0\n"), std::string::npos);  // --clean
}

// A profile the meter holds under a name that would leave the folder is
// skipped (exit 1); nothing is written outside --to, with or without --clean.
TEST_F(Transfers, GetWritesOnlyInsideItsFolderAndSaysWhatItSkipped)
{
    for (const Kind& k : kKinds) {
        SCOPED_TRACE(k.name);
        sim_meter& meter = start_meter(k, {gun("GOOD", 2700, 10)});
        profile_line_set hostile;
        ASSERT_TRUE(
            build_profile_lines(gun("X", 2800, 10), k.sim == sim_kind::cv_relay, meter.version, &hostile, nullptr));
        hostile.name = k.sim == sim_kind::cv_relay ? ":AN,../OUT\r" : ":AN,*../OUT\r";
        sim_meter_store_lines(meter, 2, hostile);
        put(root / "beside", gun("BESIDE", 2000, 10));
        const std::vector<std::string> before = listing(root);
        TransferRequest r = request(k);
        r.to = (root / "into" / k.name).string();
        r.clean = true;
        EXPECT_EQ(run_get(r, io), kExitDifferent);
        std::vector<std::string> after = listing(root);
        after.erase(std::remove_if(after.begin(), after.end(),
                                   [&](const std::string& p) { return p.rfind((root / "into").string(), 0) == 0; }),
                    after.end());
        EXPECT_EQ(after, before);
        EXPECT_EQ(listing(r.to), std::vector<std::string>{(fs::path(r.to) / "GOOD.pro").string()});
        fs::remove_all(root / "into");
    }
    EXPECT_NE(said().find("saved 1, skipped 1: ../OUT (its name cannot be a file name)"), std::string::npos);
}

// A device that says nothing: get ends with a link failure and --clean has
// not emptied the folder; the M900's upload stops when its commands go
// unacknowledged.
TEST_F(Transfers, ASilentDeviceIsALinkFailureAndTheFolderStaysAsItWas)
{
    for (const Kind& k : kKinds) {
        SCOPED_TRACE(k.name);
        start_meter(k, {gun("GOOD", 2700, 10)}).silent_after = 0;
        if (k.sim == sim_kind::m900) sim_bridge().auto_ack = false;
        TransferRequest r = request(k);
        put(root / "keep", gun("KEEP", 2000, 10));
        r.to = (root / "keep").string();
        r.clean = true;
        EXPECT_EQ(run_get(r, io), kExitFailure);
        EXPECT_TRUE(fs::exists(root / "keep" / "KEEP.pro"));
        if (k.sim == sim_kind::m900) {
            r.paths = {r.to};
            EXPECT_EQ(run_send(r, io), kExitFailure);
        }
    }
    const std::string text = said();
    EXPECT_NE(text.find("The device did not answer the download request...\nsaved 0, skipped 0"), std::string::npos);
    EXPECT_NE(text.find("The upload stopped: the device did not take a command"), std::string::npos);
}

// Files are staged in a private folder, removed afterwards; without a
// terminal nothing is sent without --yes; a file that is not a whole profile
// is refused (exit 1); Ctrl-C closes the link, leaves no partial file and
// exits 130.
TEST_F(Transfers, RefusalAndCtrlCLeaveNothingBehind)
{
    const Kind& k = kKinds[0];
    for (const char* n : {"ONE", "TWO", "THREE"}) put(root / "files", gun(n, 2700, 10));
    fs::resize_file(root / "files" / "THREE.pro", 428);
    const auto staged = [] {
        std::vector<std::string> s;
        for (const auto& e : fs::directory_iterator(fs::temp_directory_path()))
            if (e.path().filename().string().rfind("stowline-send-", 0) == 0) s.push_back(e.path().string());
        return s;
    };
    const std::vector<std::string> staged_before = staged();
    struct row {
        const char* what;
        bool send, yes;
        int interrupt_ms;  // 0: none
        int status;
        size_t stored;       // send: what the meter holds afterwards
        const char* second;  // the file sent beside ONE.pro
    };
    const row rows[] = {
        {"send without --yes, no terminal", true, false, 0, kExitFailure, 3, "TWO.pro"},
        {"send a refused file", true, true, 0, kExitDifferent, 1, "THREE.pro"},
        {"send, Ctrl-C", true, true, 1500, kExitInterrupted, 0, "TWO.pro"},
        {"get, Ctrl-C", false, true, 900, kExitInterrupted, 0, "TWO.pro"},
    };
    for (const row& w : rows) {
        SCOPED_TRACE(w.what);
        sim_meter& meter = start_meter(k, {gun("A", 2700, 10), gun("B", 2700, 10), gun("C", 2700, 10)});
        // At the meter's baud the get still runs when Ctrl-C comes: the poll
        // takes every line waiting at once, so a meter that answers at once
        // would be done before.
        serial.paced = !w.send;
        TransferRequest r = request(k);
        r.yes = w.yes;
        r.terminal = 0;
        r.paths = {(root / "files" / "ONE.pro").string(), (root / "files" / w.second).string()};
        r.to = (root / "got").string();
        std::thread ctrl_c;
        if (w.interrupt_ms) ctrl_c = std::thread([ms = w.interrupt_ms] { usleep(ms * 1000), kill(getpid(), SIGINT); });
        EXPECT_EQ(w.send ? run_send(r, io) : run_get(r, io), w.status);
        if (ctrl_c.joinable()) ctrl_c.join();
        EXPECT_EQ(the_link().com_handle, -1);
        if (w.send) {
            EXPECT_EQ(meter.profiles.size(), w.stored);
        } else {
            for (const auto& e : fs::directory_iterator(r.to)) EXPECT_EQ(e.path().extension(), ".pro") << e.path();
        }
    }
    EXPECT_EQ(staged(), staged_before);
    const std::string text = said();
    EXPECT_NE(text.find("not sending without --yes"), std::string::npos);
    EXPECT_NE(text.find("sent 1, skipped 1: THREE (it is not a whole profile;"), std::string::npos);
    EXPECT_NE(text.find("The upload was stopped"), std::string::npos);
    EXPECT_NE(text.find("The download was stopped."), std::string::npos);
}

// Two programs on one port: the tool downloading, then a second get on the
// same port, refused at once without a folder left behind, while the first
// download goes on to its end. A send answered no exits with its own status.
TEST_F(Transfers, OneProgramPerPortAndADeclinedSend)
{
    const Kind& k = kKinds[0];
    serial = sim_serial{};
    ASSERT_TRUE(sim_serial_open(serial, k.sim, false));
    for (int i = 1; i <= 3; ++i) sim_meter_store(serial.meter, i, gun(("G" + std::to_string(i)).c_str(), 2700, 10));
    const fs::path first = root / "first";
    const std::string cmd = std::string(STOWLINE_CLI) + " get --device m600 --port " + serial.slave_path + " --to " +
                            first.string() + " >" + (root / "first.txt").string() + " 2>&1";
    const pid_t child = fork();
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // It has the port once the meter has answered its request.
    const auto began = std::chrono::steady_clock::now();
    serve(
        [&] {
            return !serial.meter.sent.empty() || std::chrono::steady_clock::now() - began > std::chrono::seconds(10);
        },
        true);
    ASSERT_FALSE(serial.meter.sent.empty());
    serve([this] { return stop.load(); });

    TransferRequest r = request(k);
    r.to = (root / "second" / "made").string();
    EXPECT_EQ(run_get(r, io), kExitFailure);
    EXPECT_NE(said().find("stowline-cli: " + serial.slave_path + " is in use by another program\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(root / "second"));

    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    std::ifstream log(root / "first.txt");
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, kExitOk) << log.rdbuf();
    EXPECT_EQ(listing(first).size(), 3u);

    int answer[2];
    ASSERT_EQ(pipe(answer), 0);
    ASSERT_EQ(write(answer[1], "n\n", 2), 2);
    close(answer[1]);
    const int kept = dup(STDIN_FILENO);
    dup2(answer[0], STDIN_FILENO);
    close(answer[0]);
    r.paths = {(first / "G1.pro").string()};
    r.yes = false;
    r.terminal = 1;
    EXPECT_EQ(run_send(r, io), kExitDeclined);
    dup2(kept, STDIN_FILENO);
    close(kept);
    std::clearerr(stdin);
    EXPECT_EQ(serial.meter.profiles.size(), 3u);
}
