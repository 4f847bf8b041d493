#include "link/command_channel.h"
#include "link/frame_codec.h"
#include "link/line_checksum.h"
#include "link/link_state.h"
#include "sim_bridge.h"
#include "sim_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

// What a bulk download of these profiles brings: the count, then each
// profile's lines and its end.
std::vector<std::string> bulk_answer(const std::vector<profile_line_set>& sets)
{
    std::vector<std::string> out{count_line(static_cast<int>(sets.size()))};
    for (const profile_line_set& l : sets) {
        for (const std::string& line : five(l)) out.push_back(line);
        out.push_back(":AS\r");
    }
    return out;
}

// Lines without their checksum digits.
std::vector<std::string> texts(std::vector<std::string> lines)
{
    for (std::string& l : lines)
        if (l.size() > 4 && l[l.size() - 4] == ' ') l.erase(l.size() - 3, 2);
    return lines;
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
        const char* second_name;  // as the program will read it back
    } cases[] = {
        {sim_kind::m600, "", false, "BRAVO LONG"},
        {sim_kind::cv_relay, "", false, "BRAVO LONG NAME"},  // relay names carry no marker
        {sim_kind::m900, "", false, "BRAVO LONG"},
        {sim_kind::m900, "1.12", false, "BRAVO LONG"},  // form 3 lines
        {sim_kind::m900, "1.12.3", true, "BRAVO LONG"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(sim_kind_name(c.kind)) + " " + c.version);
        sim_rig r(c.kind, c.version);
        r.acking = true;
        EXPECT_EQ(c.acks, r.meter().acks);
        EXPECT_FLOAT_EQ(r.meter().version, device_version);  // the version came on connecting
        const GunProfile guns[] = {test_gun("ALPHA"), test_gun("BRAVO LONG NAME", -9.5f, 10), test_gun("C", 0, 1)};
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
            EXPECT_EQ(guns[i].mv, stored.record.mv);
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
        std::vector<std::string> expected = five(sets[1]);
        for (const char* line : {":AS\r", ":AN,INVALID\r", ":AS\r"}) expected.push_back(line);
        EXPECT_EQ(expected, r.got);
        EXPECT_EQ(0, r.meter().ack_timeouts);
    }
}

TEST(SimMeter, AnUploadIsStoredOnlyWhenWholeAndSound)
{
    const profile_line_set g = [] {
        profile_line_set l;
        EXPECT_TRUE(build_profile_lines(test_gun("GOOD"), false, 1.11f, &l, nullptr));
        return l;
    }();
    std::string bad_sum = g.mv_table;
    bad_sum[bad_sum.size() - 2] ^= 1;
    const std::string N = g.name, P = g.main, V = g.mv_table, C = g.drag, M = g.mach;
    const struct {
        const char* what;
        sim_kind kind;
        std::vector<std::string> lines;
        std::vector<int> stored;  // slot 5 held a profile before
        const char* why;
    } cases[] = {
        {"whole", sim_kind::m600, {":A-\r", ":AG,01\r", ":AU,01\r", N, P, V, C, M, ":AS\r"}, {1}, ""},
        {"no count keeps the rest", sim_kind::m600, {":AU,01\r", N, P, V, C, M, ":AS\r"}, {1, 5}, ""},
        {"bad checksum", sim_kind::m600, {":AG,01\r", ":AU,01\r", N, P, bad_sum, C, M, ":AS\r"}, {}, "bad checksum"},
        {"line missing", sim_kind::m600, {":AG,01\r", ":AU,01\r", N, P, V, M, ":AS\r"}, {}, "lines missing: :AC"},
        {"no slot", sim_kind::m600, {":AG,01\r", N, P, V, C, M, ":AS\r"}, {}, "no slot line"},
        {"slot beyond the limit", sim_kind::m900, {":AG,01\r", ":AU,31\r", N, P, V, C, M, ":AS\r"}, {}, "beyond"},
        {"the relay holds 34", sim_kind::cv_relay, {":AG,01\r", ":AU,34\r", N, P, V, C, M, ":AS\r"}, {34}, ""},
        {"no end", sim_kind::m600,
         {":AG,02\r", ":AU,01\r", N, P, V, C, M, ":AU,02\r", N, P, V, C, M, ":AS\r"}, {2}, "no end"},
        {"end alone", sim_kind::m600, {":AG,00\r", ":AS\r"}, {}, "without a profile"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sim_meter m(c.kind);
        ASSERT_TRUE(sim_meter_store(m, 5, test_gun("OLD")));
        for (const std::string& line : c.lines) sim_meter_receive(m, line, 0);
        EXPECT_EQ(c.stored, slots_of(m));
        if (*c.why) {
            ASSERT_EQ(1u, m.rejected.size());
            EXPECT_NE(std::string::npos, m.rejected[0].why.find(c.why)) << m.rejected[0].why;
        } else {
            EXPECT_TRUE(m.rejected.empty());
        }
        const bool sent_bad = std::find(c.lines.begin(), c.lines.end(), bad_sum) != c.lines.end();
        EXPECT_EQ(sent_bad ? std::vector<std::string>{bad_sum} : std::vector<std::string>{}, m.bad_checksum_lines);
        EXPECT_TRUE(sim_meter_take(m, 0).empty());  // nothing of an upload is answered
    }
}

TEST(SimMeter, AcknowledgedLinesOneAtATime)
{
    sim_rig r(sim_kind::m900, "1.12.3");
    ASSERT_TRUE(r.meter().acks);
    ASSERT_TRUE(sim_meter_store(r.meter(), 1, test_gun("ONE")));
    ASSERT_TRUE(sim_meter_store(r.meter(), 2, test_gun("TWO")));

    // Unacknowledged, the meter waits for its time-out before each line.
    r.send(":AD\r");
    r.run_until_lines(1);
    EXPECT_EQ((std::vector<std::string>{":AG,02\r"}), r.got);
    sim_bridge_advance(1999);
    r.run_until_lines(2);
    EXPECT_EQ(1u, r.got.size());
    sim_bridge_advance(1);
    r.run_until_lines(2);
    EXPECT_EQ(2u, r.got.size());
    EXPECT_EQ(1, r.meter().ack_timeouts);

    // Acknowledged, the rest flows in one poll.
    r.acking = true;
    r.got.clear();
    sim_bridge_advance(2000);
    r.run_until_lines(11);
    EXPECT_EQ(11u, r.got.size());
    EXPECT_EQ(2, r.meter().ack_timeouts);

    // The end of an INVALID slot is not acknowledged and not waited for.
    r.got.clear();
    r.send(request_line(9));
    r.run_until_lines(2);
    r.send(request_line(1));
    r.run_until_lines(8);
    EXPECT_EQ(8u, r.got.size());
    EXPECT_EQ(2, r.meter().ack_timeouts);
}

TEST(SimMeter, FaultsOnTheLinesItSends)
{
    using lines = std::vector<std::string>;
    auto without = [](lines l, size_t i) {
        l.erase(l.begin() + static_cast<long>(i));
        return l;
    };
    const std::string noise = sim_noise(16, 3);
    ASSERT_EQ(std::string::npos, noise.find('\x7e'));  // between frames, noise is ignored
    const struct {
        const char* what;
        std::vector<sim_line_fault> faults;
        int silent_after;
        bool serial, bridge;
        std::function<lines(lines)> expect;  // from the clean answer
    } cases[] = {
        {"bad checksum", {{sim_fault::bad_checksum, ":AP", 2}}, -1, true, true, [](lines l) { return l; }},
        {"lost line", {{sim_fault::lose, ":AV", 1}}, -1, true, true, [&](lines l) { return without(l, 3); }},
        {"lost end", {{sim_fault::lose, ":AS", 1}}, -1, true, true, [&](lines l) { return without(l, 6); }},
        {"garbage on serial", {{sim_fault::garbage, ":AN", 2, 16, 3}}, -1, true, false,
         [&](lines l) {
             l[7] = noise + l[7];
             return l;
         }},
        {"garbage on the bridge", {{sim_fault::garbage, ":AN", 2, 16, 3}}, -1, false, true, [](lines l) { return l; }},
        {"bad frame", {{sim_fault::bad_frame, ":AC", 1}}, -1, false, true, [&](lines l) { return without(l, 4); }},
        {"silent", {}, 3, true, true, [](lines l) { return lines(l.begin(), l.begin() + 3); }},
    };
    for (sim_kind kind : {sim_kind::m600, sim_kind::m900}) {
        for (const auto& c : cases) {
            if (!(kind == sim_kind::m900 ? c.bridge : c.serial)) continue;
            SCOPED_TRACE(std::string(sim_kind_name(kind)) + ": " + c.what);
            sim_rig r(kind);
            const GunProfile guns[] = {test_gun("ONE"), test_gun("TWO")};
            std::vector<profile_line_set> sets;
            for (const GunProfile& g : guns) {
                sets.push_back(lines_now(g));
                ASSERT_TRUE(sim_meter_store(r.meter(), static_cast<int>(sets.size()), g));
            }
            r.meter().faults = c.faults;
            r.meter().silent_after = c.silent_after;
            const lines expected = c.expect(bulk_answer(sets));
            r.send(":AD\r");
            r.run_until_lines(expected.size());
            // The texts as expected; only the bad checksum changes a suffix.
            EXPECT_EQ(texts(expected), texts(r.got));
            std::vector<size_t> bad;
            for (size_t i = 0; i < r.got.size(); ++i)
                if (r.got[i].size() > 4 && r.got[i][r.got[i].size() - 4] == ' ' && line_checksum_bad(r.got[i].c_str()))
                    bad.push_back(i);
            const bool bad_sum = !c.faults.empty() && c.faults[0].what == sim_fault::bad_checksum;
            EXPECT_EQ(bad_sum ? std::vector<size_t>{8} : std::vector<size_t>{}, bad);  // the second :AP
            // Each fault strikes once: asked again, the meter answers soundly.
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
    sim_rig r(sim_kind::m900);
    sim_bridge().skip_ack_for = ":AP";
    const profile_line_set l = lines_now(test_gun("ONE"));
    EXPECT_TRUE(r.send(":AU,01\r"));
    EXPECT_TRUE(r.send(l.name));
    EXPECT_TRUE(r.send(l.main));
    EXPECT_FALSE(r.send(l.mv_table));  // the clear-to-send wait ran out
    EXPECT_TRUE(sim_bridge().skip_ack_for.empty());
    sim_bridge_send_ack(0);  // a late acknowledgement frees the channel
    receive_poll();
    EXPECT_TRUE(r.send(":AS\r"));
    ASSERT_EQ(1u, r.meter().rejected.size());
    EXPECT_EQ("lines missing: :AV :AC :AM", r.meter().rejected[0].why);
}

TEST(SimMeter, PacedBytesTakeTheirTimeOnTheWire)
{
    for (sim_kind kind : {sim_kind::m600, sim_kind::cv_relay, sim_kind::m900}) {
        SCOPED_TRACE(sim_kind_name(kind));
        sim_rig r(kind);
        const profile_line_set l = lines_now(test_gun("ONE"));
        sim_meter_store_lines(r.meter(), 1, l);
        const std::vector<std::string> answer = [&] {
            std::vector<std::string> a = five(l);
            a.push_back(":AS\r");
            return a;
        }();
        // The bytes on the wire: the request, then the answer (on the bridge
        // as frames, after the frame acknowledging the request).
        const std::string request = request_line(1);
        auto frame_bytes = [](const std::string& text) {
            uint8_t message[message_header_size + message_max_text], frame[frame_buffer_size];
            return frame_encode(message, build_text_message(message, 0, text.data(), text.size()), frame);
        };
        size_t in = request.size(), out = 0;
        for (const std::string& line : answer) out += r.bridge() ? frame_bytes(line) : line.size();
        if (r.bridge()) {
            in = frame_bytes(request);  // the preamble is through during the pause after it
            uint8_t ack[] = {4, 0, 2, 0, 0, 0}, frame[frame_buffer_size];
            out += frame_encode(ack, sizeof ack, frame);
            sim_bridge().paced = true;
        } else {
            r.serial.paced = true;
        }
        const double byte_ms = 10000.0 / sim_kind_baud(kind);
        // On the bridge the program's 10 ms pause after the preamble counts too.
        const double wire_ms = (in + out) * byte_ms + (r.bridge() ? 10 : 0);

        r.send(request);
        if (!r.bridge()) sim_serial_poll(r.serial, 500);  // the request set off at time 0
        auto advance = [&](unsigned ms) {
            if (r.bridge()) sim_bridge_advance(ms);
            else sim_serial_service(r.serial, ms);
            r.settle();
        };
        const unsigned early = static_cast<unsigned>(std::floor(wire_ms)) - 1;
        advance(early - (r.bridge() ? 10 : 0));
        EXPECT_LT(r.got.size(), answer.size());
        advance(3);
        EXPECT_EQ(answer, r.got);
    }
}
