// The simulated meter by the protocol, through the program's own command
// channel: a pseudo-terminal for the serial kinds, the bridge stand-in for
// the M900.
#include "link/carriers.h"
#include "link/command_channel.h"
#include "link/frame_codec.h"
#include "link/line_checksum.h"
#include "link/link_state.h"
#include "link/link_test_access.h"
#include "sim_bridge.h"
#include "sim_serial.h"
#include "sim_tool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <poll.h>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;
using lines = std::vector<std::string>;

namespace {

// The program's link connected to a meter, without threads: its sleeps move
// the simulated time, its pumps run the receive poll, and its received lines
// are recorded and, with `acking`, acknowledged as the download does it (all
// but the end of an INVALID slot).
struct rig {
    explicit rig(sim_kind k, const char* version = "");
    ~rig()
    {
        link_reset();
        sim_serial_close(serial);
        link_use(link_callbacks_default());
    }
    bool bridge() const { return kind == sim_kind::m900; }
    sim_meter& meter() { return bridge() ? sim_bridge().meter : serial.meter; }
    bool send(const std::string& line) { return send_command(line.c_str()) != 0; }
    void step(int wait_ms);
    // Until `done` (or about two seconds), then a few steps more, so that a
    // line too many would show. On the bridge nothing comes without the time.
    void run_until(const std::function<bool()>& done)
    {
        for (int i = 0; i < (bridge() ? 1 : 400) && !done(); ++i) step(5);
        for (int i = 0; i < 3; ++i) step(10);
    }
    void run_until_lines(size_t n)
    {
        run_until([this, n] { return got.size() >= n; });
    }
    void upload(const std::vector<profile_line_set>& sets);

    sim_kind kind;
    sim_serial serial;
    lines got;
    bool acking = false, after_invalid = false;
};

rig* current = nullptr;

rig::rig(sim_kind k, const char* version) : kind(k)
{
    link_reset();
    device_modes_reset();
    sim_bridge_reset();
    current = this;
    the_link().calls.pump = [] { receive_poll(); };
    the_link().calls.sleep_ms = [](unsigned ms) {
        if (current->bridge()) sim_bridge_advance(ms);
        else sim_serial_service(current->serial, ms);
    };
    the_link().calls.line_handler = [](const char* text) {
        rig& r = *current;
        const std::string line = text;
        r.got.push_back(line);
        const bool ack = r.acking && !(line.compare(0, 3, ":AS") == 0 && r.after_invalid);
        if (line.compare(0, 3, ":AN") == 0) r.after_invalid = line.find("INVALID") != std::string::npos;
        if (ack) acknowledge_line();
    };
    if (bridge()) {
        if (*version) sim_bridge_set_version(version);
        EXPECT_TRUE(hid_connect_link());
        receive_poll();  // the version message, if any
    } else {
        set_device_kind(kind == sim_kind::cv_relay, kolvan_folder_mode != 0);
        EXPECT_TRUE(sim_serial_open(serial, kind, false));
        EXPECT_TRUE(com_open_path(serial.slave_path.c_str()));
    }
}

void rig::step(int wait_ms)
{
    if (!bridge()) {
        sim_serial_service(serial, 0);
        pollfd p{the_link().com_handle, POLLIN, 0};
        poll(&p, 1, wait_ms);
    }
    for (size_t before = SIZE_MAX; got.size() != before;) {
        before = got.size();
        receive_poll();
    }
}

lines five(const profile_line_set& l) { return {l.name, l.main, l.mv_table, l.drag, l.mach}; }

// The program's upload sequence.
void rig::upload(const std::vector<profile_line_set>& sets)
{
    the_link().upload_active = 1;
    if (bridge()) send(":A-\r");
    send(":A-\r");
    send(count_line(static_cast<int>(sets.size())));
    for (size_t i = 0; i < sets.size(); ++i) {
        send(slot_line(static_cast<int>(i + 1)));
        for (const std::string& line : five(sets[i])) send(line);
        send(":AS\r");
    }
    the_link().upload_active = 0;
}

GunProfile gun(const char* name, float bt = 10.0f, int dc = 0)
{
    GunProfile p{};
    apply_new_profile_values(p);
    set_profile_name(p, name);
    p.bt = bt;
    p.dc = dc;
    p.zh = 1.5f;
    for (int i = 0; i < 32; ++i) p.cc[i] = {0.125f * static_cast<float>(i), 0.25f + 0.005f * static_cast<float>(i)};
    return p;
}

// The lines the program's upload builds for `p` now.
profile_line_set lines_now(const GunProfile& p)
{
    profile_line_set l;
    EXPECT_TRUE(build_profile_lines(p, relay_mode == 1, the_link().device_version, &l, nullptr));
    return l;
}

lines bulk_answer(const std::vector<profile_line_set>& sets)
{
    lines out{count_line(static_cast<int>(sets.size()))};
    for (const profile_line_set& l : sets) {
        for (const std::string& line : five(l)) out.push_back(line);
        out.push_back(":AS\r");
    }
    return out;
}

std::vector<int> slots_of(const sim_meter& m)
{
    std::vector<int> slots;
    for (const auto& entry : m.profiles) slots.push_back(entry.first);
    return slots;
}

}  // namespace

TEST(SimMeter, UploadIsStoredAndServedBackInEveryStyle)
{
    const struct {
        sim_kind kind;
        const char* version;
        bool acks;
        const char* second_name;  // sent and read back: the meters keep ten characters
    } cases[] = {
        {sim_kind::m600, "", false, "BRAVO LONG"},
        {sim_kind::cv_relay, "", false, "BRAVO LONG NAME"},  // relay names carry no marker
        {sim_kind::m900, "", false, "BRAVO LONG"},
        {sim_kind::m900, "1.12", false, "BRAVO LONG"},  // form 3 lines
        {sim_kind::m900, "1.12.3", true, "BRAVO LONG"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(sim_kind_name(c.kind)) + " " + c.version);
        rig r(c.kind, c.version);
        r.acking = true;
        EXPECT_EQ(c.acks, r.meter().acks);
        EXPECT_FLOAT_EQ(r.meter().version, the_link().device_version);  // reported on connecting
        const GunProfile guns[] = {gun("ALPHA"), gun(c.second_name, -9.5f, 10), gun("C", 0, 1)};
        std::vector<profile_line_set> sets;
        for (const GunProfile& g : guns) sets.push_back(lines_now(g));
        r.upload(sets);
        r.run_until([&] { return r.meter().profiles.size() == 3; });

        ASSERT_EQ((std::vector<int>{1, 2, 3}), slots_of(r.meter()));
        EXPECT_TRUE(r.meter().rejected.empty());
        EXPECT_TRUE(r.got.empty());  // an upload is not answered
        for (int i = 0; i < 3; ++i) {
            const sim_stored_profile& stored = r.meter().profiles[i + 1];
            EXPECT_EQ(five(sets[i]), five(stored.lines));
            EXPECT_EQ(guns[i].bt, stored.record.bt);
            EXPECT_NEAR(guns[i].cc[31].cd, stored.record.cc[31].cd, 0.0005);
        }
        EXPECT_EQ(c.second_name, profile_name(r.meter().profiles[2].record));

        r.send(":AD\r");
        r.run_until_lines(19);
        EXPECT_EQ(bulk_answer(sets), r.got);
        // By number: a stored slot, then an empty one.
        r.got.clear();
        r.send(request_line(2));
        r.run_until_lines(6);
        r.send(request_line(7));
        r.run_until_lines(8);
        lines expected = five(sets[1]);
        expected.insert(expected.end(), {":AS\r", ":AN,INVALID\r", ":AS\r"});
        EXPECT_EQ(expected, r.got);
        EXPECT_EQ(0, r.meter().ack_timeouts);
    }
}

TEST(SimMeter, AnUploadIsStoredOnlyWhenWholeAndSound)
{
    profile_line_set g;
    ASSERT_TRUE(build_profile_lines(gun("GOOD"), false, 1.11f, &g, nullptr));
    std::string bad = g.mv_table;
    bad[bad.size() - 2] ^= 1;
    const std::string N = g.name, P = g.main, V = g.mv_table, C = g.drag, M = g.mach, U = ":AU,01\r", S = ":AS\r";
    const struct {
        const char* what;
        sim_kind kind;
        lines sent;
        std::vector<int> stored;  // slot 5 held a profile before
        const char* why;
    } cases[] = {
        {"whole", sim_kind::m600, {":A-\r", ":AG,01\r", U, N, P, V, C, M, S}, {1}, ""},
        {"no count keeps the rest", sim_kind::m600, {U, N, P, V, C, M, S}, {1, 5}, ""},
        {"bad checksum", sim_kind::m600, {":AG,01\r", U, N, P, bad, C, M, S}, {}, "bad checksum"},
        {"line missing", sim_kind::m600, {":AG,01\r", U, N, P, V, M, S}, {}, "lines missing: :AC"},
        {"no slot", sim_kind::m600, {":AG,01\r", N, P, V, C, M, S}, {}, "no slot line"},
        {"slot beyond the limit", sim_kind::m900, {":AG,01\r", ":AU,31\r", N, P, V, C, M, S}, {}, "beyond"},
        {"the relay holds 34", sim_kind::cv_relay, {":AG,01\r", ":AU,34\r", N, P, V, C, M, S}, {34}, ""},
        {"no end", sim_kind::m600, {":AG,02\r", U, N, P, V, C, M, ":AU,02\r", N, P, V, C, M, S}, {2}, "no end"},
        {"end alone", sim_kind::m600, {":AG,00\r", S}, {}, "without a profile"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sim_meter m(c.kind);
        ASSERT_TRUE(sim_meter_store(m, 5, gun("OLD")));
        for (const std::string& line : c.sent) sim_meter_receive(m, line, 0);
        EXPECT_EQ(c.stored, slots_of(m));
        ASSERT_EQ(*c.why ? 1u : 0u, m.rejected.size());
        if (*c.why) {
            EXPECT_NE(std::string::npos, m.rejected[0].why.find(c.why)) << m.rejected[0].why;
        }
        const bool sent_bad = std::find(c.sent.begin(), c.sent.end(), bad) != c.sent.end();
        EXPECT_EQ(sent_bad ? lines{bad} : lines{}, m.bad_checksum_lines);
        EXPECT_TRUE(sim_meter_take(m, 0).empty());  // nothing of an upload is answered
    }
}

TEST(SimMeter, AcknowledgedLinesOneAtATime)
{
    rig r(sim_kind::m900, "1.12.3");
    ASSERT_TRUE(sim_meter_store(r.meter(), 1, gun("ONE")));
    ASSERT_TRUE(sim_meter_store(r.meter(), 2, gun("TWO")));
    // Unacknowledged, each line waits for the time-out.
    r.send(":AD\r");
    r.run_until_lines(1);
    EXPECT_EQ(lines{":AG,02\r"}, r.got);
    sim_bridge_advance(1999);
    r.run_until_lines(2);
    EXPECT_EQ(1u, r.got.size());
    sim_bridge_advance(1);
    r.run_until_lines(2);
    EXPECT_EQ(2u, r.got.size());
    // Acknowledged, the rest flows in one poll.
    r.acking = true;
    sim_bridge_advance(2000);
    r.run_until_lines(13);
    EXPECT_EQ(13u, r.got.size());
    EXPECT_EQ(2, r.meter().ack_timeouts);
    // The end of an INVALID slot is not acknowledged, and not waited for.
    r.send(request_line(9));
    r.run_until_lines(15);
    r.send(request_line(1));
    r.run_until_lines(21);
    EXPECT_EQ(21u, r.got.size());
    EXPECT_EQ(2, r.meter().ack_timeouts);
}

TEST(SimMeter, FaultsOnTheLinesItSends)
{
    auto without = [](size_t i) {
        return [i](lines l) {
            l.erase(l.begin() + static_cast<long>(i));
            return l;
        };
    };
    auto same = [](lines l) { return l; };
    const std::string noise = sim_noise(16, 3);
    ASSERT_EQ(std::string::npos, noise.find('\x7e'));  // no frame flag: the bridge ignores it
    const struct {
        const char* what;
        std::vector<sim_line_fault> faults;
        int silent_after;
        bool serial, bridge;
        std::function<lines(lines)> expect;  // from the sound answer
    } cases[] = {
        {"bad checksum", {{sim_fault::bad_checksum, ":AP", 2}}, -1, true, true, same},
        {"lost line", {{sim_fault::lose, ":AV", 1}}, -1, true, true, without(3)},
        {"lost end", {{sim_fault::lose, ":AS", 1}}, -1, true, true, without(6)},
        {"garbage on serial",
         {{sim_fault::garbage, ":AN", 2, 16, 3}},
         -1,
         true,
         false,
         [&](lines l) {
             l[7] = noise + l[7];
             return l;
         }},
        {"garbage on the bridge", {{sim_fault::garbage, ":AN", 2, 16, 3}}, -1, false, true, same},
        {"bad frame", {{sim_fault::bad_frame, ":AC", 1}}, -1, false, true, without(4)},
        {"silent", {}, 3, true, true, [](lines l) { return lines(l.begin(), l.begin() + 3); }},
    };
    // Lines without their checksum digits: only the bad checksum changes those.
    auto texts = [](lines l) {
        for (std::string& line : l)
            if (line.size() > 4 && line[line.size() - 4] == ' ') line.erase(line.size() - 3, 2);
        return l;
    };
    for (sim_kind kind : {sim_kind::m600, sim_kind::m900}) {
        for (const auto& c : cases) {
            if (!(kind == sim_kind::m900 ? c.bridge : c.serial)) continue;
            SCOPED_TRACE(std::string(sim_kind_name(kind)) + ": " + c.what);
            rig r(kind);
            std::vector<profile_line_set> sets;
            for (const char* name : {"ONE", "TWO"}) {
                sets.push_back(lines_now(gun(name)));
                ASSERT_TRUE(sim_meter_store(r.meter(), static_cast<int>(sets.size()), gun(name)));
            }
            r.meter().faults = c.faults;
            r.meter().silent_after = c.silent_after;
            const lines expected = c.expect(bulk_answer(sets));
            r.send(":AD\r");
            r.run_until_lines(expected.size());
            EXPECT_EQ(texts(expected), texts(r.got));
            std::vector<size_t> bad;
            for (size_t i = 0; i < r.got.size(); ++i)
                if (texts({r.got[i]})[0] != r.got[i] && line_checksum_bad(r.got[i].c_str())) bad.push_back(i);
            const bool bad_sum = !c.faults.empty() && c.faults[0].what == sim_fault::bad_checksum;
            EXPECT_EQ(bad_sum ? std::vector<size_t>{8} : std::vector<size_t>{}, bad);  // the second :AP
            // A fault strikes once: asked again, the meter answers soundly.
            r.meter().silent_after = -1;
            r.got.clear();
            r.send(":AD\r");
            r.run_until_lines(13);
            EXPECT_EQ(bulk_answer(sets), r.got);
        }
    }
}

TEST(SimMeter, BridgeWithholdsTheAcknowledgementOfAChosenCommand)
{
    rig r(sim_kind::m900);
    sim_bridge().skip_ack_for = ":AP";
    const profile_line_set l = lines_now(gun("ONE"));
    EXPECT_TRUE(r.send(":AU,01\r") && r.send(l.name) && r.send(l.main));
    EXPECT_FALSE(r.send(l.mv_table));  // the clear-to-send wait ran out
    sim_bridge_send_ack(0);            // a late acknowledgement frees the channel
    receive_poll();
    EXPECT_TRUE(r.send(":AS\r"));
    ASSERT_EQ(1u, r.meter().rejected.size());
    EXPECT_EQ("lines missing: :AV :AC :AM", r.meter().rejected[0].why);
}

TEST(SimMeter, PacedBytesTakeTheirTimeOnTheWire)
{
    auto frame_bytes = [](const uint8_t* message, size_t n) {
        uint8_t frame[frame_buffer_size];
        return frame_encode(message, n, frame);
    };
    auto text_frame_bytes = [&](const std::string& text) {
        uint8_t message[message_header_size + message_max_text];
        return frame_bytes(message, build_text_message(message, 0, text.data(), text.size()));
    };
    for (sim_kind kind : {sim_kind::m600, sim_kind::cv_relay, sim_kind::m900}) {
        SCOPED_TRACE(sim_kind_name(kind));
        rig r(kind);
        const profile_line_set l = lines_now(gun("ONE"));
        sim_meter_store_lines(r.meter(), 1, l);
        lines answer = five(l);
        answer.push_back(":AS\r");
        // The request, then the answer; on the bridge as frames, the answer
        // after the acknowledgement, all after the program's 10 ms pause
        // behind its preamble.
        const std::string request = request_line(1);
        const uint8_t ack[] = {4, 0, 2, 0, 0, 0};
        size_t bytes = r.bridge() ? text_frame_bytes(request) + frame_bytes(ack, sizeof ack) : request.size();
        for (const std::string& line : answer) bytes += r.bridge() ? text_frame_bytes(line) : line.size();
        double& clock = r.bridge() ? sim_bridge().clock_ms : r.serial.clock_ms;
        const double wire_ms = clock + bytes * 10000.0 / sim_kind_baud(kind) + (r.bridge() ? 10 : 0);
        (r.bridge() ? sim_bridge().paced : r.serial.paced) = true;

        r.send(request);
        if (!r.bridge()) sim_serial_poll(r.serial, 500);  // taken in before the time moves
        auto advance_to = [&](double ms) {
            if (r.bridge()) sim_bridge_advance(static_cast<unsigned>(ms - clock));
            else sim_serial_service(r.serial, static_cast<unsigned>(ms - clock));
            r.run_until([] { return true; });
        };
        advance_to(std::floor(wire_ms) - 1);
        EXPECT_LT(r.got.size(), answer.size());
        advance_to(std::ceil(wire_ms));
        EXPECT_EQ(answer, r.got);
    }
}

TEST(SimTool, CommandLines)
{
    const std::pair<const char*, const char*> cases[] = {
        // a command line, and its error
        {"--m600", ""},
        {"", "choose one device"},
        {"--m600 --cv-relay", "choose one device"},
        {"--m600 --lose AP", "LINE[@N]"},
        {"--m600 --lose :AP@0", "LINE[@N]"},
        {"--m600 --silent-after x", "takes a number"},
        {"--m600 --profiles", "needs a value"},
        {"--m600 -x", "unknown option -x"},
        {"--cv-relay --lose :AS@2 --bad-checksum :AP --garbage :AN@3 --silent-after 5 --profiles d --unpaced", ""},
    };
    sim_options o;
    for (const auto& [line, why] : cases) {
        std::istringstream in(std::string("stowline-sim ") + line);
        lines words;
        for (std::string w; in >> w;) words.push_back(w);
        std::vector<const char*> argv;
        for (const std::string& w : words) argv.push_back(w.c_str());
        std::string error;
        EXPECT_EQ(!*why, sim_parse_options(static_cast<int>(argv.size()), argv.data(), &o, &error)) << line;
        EXPECT_NE(std::string::npos, error.find(why)) << line << ": " << error;
    }
    EXPECT_TRUE(o.kind == sim_kind::cv_relay && o.profiles == "d" && !o.paced && o.silent_after == 5);
    ASSERT_EQ(3u, o.faults.size());
    EXPECT_TRUE(o.faults[0].what == sim_fault::lose && o.faults[0].prefix == ":AS" && o.faults[0].nth == 2);
    EXPECT_TRUE(o.faults[2].what == sim_fault::garbage && o.faults[2].prefix == ":AN" && o.faults[2].nth == 3);
}

TEST(SimTool, ServesAFolderAndWritesWhatAnUploadStoresThere)
{
    const fs::path base = fs::temp_directory_path() / ("stowline-sim-" + std::to_string(getpid()));
    const fs::path dir = base / "meter";
    fs::create_directories(dir);
    auto put = [&](const std::string& file, const char* name) {
        ASSERT_TRUE(write_profile_bytes((dir / file).string(), gun(name)));
    };
    for (const char* name : {"B", "A", "a"}) put(name + std::string(".pro"), name);
    put("x.PRO", "X");  // not a profile file of the device side
    put("_noname.pro", "");
    for (int i = 0; i < 28; ++i) put("g" + std::to_string(10 + i) + ".pro", ("G" + std::to_string(i)).c_str());
    std::ofstream(dir / "_old.pro", std::ios::binary) << std::string(kLegacyProfileSize, '\0');

    rig r(sim_kind::m600);
    lines skipped;
    ASSERT_TRUE(sim_load_folder(r.meter(), dir.string(), &skipped));
    ASSERT_EQ(30u, r.meter().profiles.size());  // byte order, the device's limit
    const char* first[] = {"A", "B", "a", "G0"};
    for (int slot = 1; slot <= 4; ++slot) EXPECT_EQ(first[slot - 1], profile_name(r.meter().profiles[slot].record));
    EXPECT_EQ((lines{"_noname.pro: the profile has no name",
                     "_old.pro: an old, short profile file: open it in Stowline and save it first",
                     "g37.pro: the device holds 30 profiles"}),
              skipped);
    EXPECT_FALSE(sim_load_folder(r.meter(), (dir / "missing").string(), &skipped));

    // Each profile an upload stores becomes a file, unless its name cannot.
    lines reports;
    sim_keep_in_folder(r.meter(), dir.string(), [&](const std::string& text) { reports.push_back(text); });
    const auto files = [](const fs::path& d) { return std::distance(fs::directory_iterator(d), {}); };
    const auto before = files(dir);
    std::vector<profile_line_set> sets;
    for (const char* name : {"NEW", "../evil", "sub/x", ""}) sets.push_back(lines_now(gun(name)));
    r.upload(sets);
    r.run_until([&] { return r.meter().profiles.size() == 4; });
    ASSERT_EQ(4u, r.meter().profiles.size());  // the upload replaced what the meter held
    EXPECT_EQ(
        (lines{"wrote " + (dir / "NEW.pro").string(), "not written: ../evil (its name could leave the folder)",
               "not written: sub/x (its name could leave the folder)", "not written:  (the profile has no name)"}),
        reports);
    GunProfile written{};
    ASSERT_TRUE(read_profile_file((dir / "NEW.pro").string(), written));
    EXPECT_EQ(0, std::memcmp(&written, &r.meter().profiles[1].record, sizeof written));
    EXPECT_EQ(before + 1, files(dir));  // nothing deleted
    EXPECT_EQ(1, files(base));          // nothing outside the folder
    fs::remove_all(base);
}
