#include "link/line_checksum.h"
#include "link/profile_lines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>

namespace {

GunProfile new_gun()
{
    GunProfile p{};
    apply_new_profile_values(p);
    set_profile_name(p, "RIFLE308");
    return p;
}

profile_line_set lines_of(const GunProfile& p, bool relay = false, float version = 1.11f)
{
    profile_line_set l;
    std::string why;
    EXPECT_TRUE(build_profile_lines(p, relay, version, &l, &why)) << why;
    return l;
}

// Field `i` (1-based after the prefix) of a line; "" past the last.
std::string field(const std::string& line, int i)
{
    std::istringstream in(line);
    std::string token;
    for (int k = 0; k <= i; ++k)
        if (!(in >> token)) return "";
    return token;
}

}  // namespace

TEST(ProfileLines, NewProfileMainLineIsTheKnownLine)
{
    const std::string expected =
        ":AP 0.475 00000 00175 0.308 1.240 02600 00109 1.500 10.00 0.000 1.000 0.000 1.000 0.000 1.000 0.000 1.000 "
        "0.000 1.000 0.000 1.000 00001 00001 00001 00001 00010 00010 +00.0 +00.0 1.000 1.000 83\r";
    GunProfile p = new_gun();
    p.zh = p.zo = 0.0f;
    EXPECT_EQ(lines_of(p).main, expected);
    EXPECT_EQ(expected.size(), 193u);
}

TEST(ProfileLines, DragFieldsFormsAndNames)
{
    const struct {
        int dc;
        const char* bc;
        const char* code;
    } drag[] = {
        {0, "0.475", "00000"},  {1, "0.475", "00001"},  {5, "1.000", "00005"},
        {10, "1.000", "00010"}, {12, "1.000", "00010"}, {-3, "1.000", "00010"},
    };
    for (const auto& c : drag) {
        GunProfile p = new_gun();
        p.dc = c.dc;
        std::string main = lines_of(p).main;
        EXPECT_EQ(field(main, 1), c.bc) << c.dc;
        EXPECT_EQ(field(main, 2), c.code) << c.dc;
    }
    const struct {
        bool relay;
        float version, bt;
        int form;
        const char* twist;
        const char* zh;
        int fields;
    } forms[] = {
        {false, 1.11f, 10.0f, 2, "10.00", "+01.5", 31},  {false, 1.11f, -9.5f, 1, "-9.5", "+01.5", 31},
        {false, 1.11f, 0.0f, 1, "+0.0", "+01.5", 31},    {false, 1.12f, -9.5f, 3, "-9.50", "001.5", 29},
        {false, 1.123f, 10.0f, 2, "10.00", "+01.5", 31}, {true, 1.12f, 10.0f, 2, "10.00", "+01.5", 31},
    };
    for (const auto& c : forms) {
        GunProfile p = new_gun();
        p.bt = c.bt;
        p.zh = 1.5f;
        EXPECT_EQ(choose_main_form(c.relay, c.version, c.bt), c.form);
        std::string main = lines_of(p, c.relay, c.version).main;
        EXPECT_EQ(field(main, 9), c.twist) << c.form;
        EXPECT_EQ(field(main, 28), c.zh) << c.form;
        EXPECT_EQ(field(main, c.fields + 1).size(), 2u) << "checksum after field " << c.fields;
        EXPECT_EQ(line_checksum_bad(main.c_str()), 0);
    }
    GunProfile p = new_gun();
    EXPECT_EQ(lines_of(p, true).name, ":AN,RIFLE308\r");
    EXPECT_EQ(lines_of(p, false).name, ":AN,*RIFLE308\r");
    EXPECT_EQ(count_line(0) + slot_line(7) + request_line(34), ":AG,00\r:AU,07\r:AD,34\r");
}

TEST(ProfileLines, RecordsThatCannotBeSentAreRefused)
{
    const struct {
        void (*spoil)(GunProfile&);
    } cases[] = {
        {[](GunProfile& p) { p.mv = NAN; }},
        {[](GunProfile& p) { p.cc[31].cd = INFINITY; }},
        {[](GunProfile& p) { p.bw = p.mv = p.zr = 3e38f; }},  // 39 digits each overrun the line
        {[](GunProfile& p) { set_profile_name(p, "A\rB"); }},
        {[](GunProfile& p) { set_profile_name(p, "ELEVENCHARS"); }},  // a meter would keep ten
    };
    for (const auto& c : cases) {
        GunProfile p = new_gun();
        c.spoil(p);
        profile_line_set l;
        std::string why;
        EXPECT_FALSE(build_profile_lines(p, false, 1.11f, &l, &why));
        EXPECT_FALSE(why.empty());
    }
    GunProfile big = new_gun();
    big.bc = 1e33f;  // sent whole: a value is never cut to fit its field
    profile_line_set lines;
    ASSERT_TRUE(build_profile_lines(big, false, 1.11f, &lines, nullptr));
    char text[64];
    std::snprintf(text, sizeof text, "%1.3f", static_cast<double>(big.bc));
    EXPECT_EQ(field(lines.main, 1), text);
    GunProfile custom = new_gun();
    custom.dc = 10;
    custom.bc = NAN;  // not sent for a custom curve
    profile_line_set l;
    EXPECT_TRUE(build_profile_lines(custom, false, 1.11f, &l, nullptr));
}

TEST(ProfileLines, ReceivedNamesAndDefaults)
{
    const struct {
        const char* line;
        const char* name;
    } names[] = {
        {":AN,*RIFLE308\r", "RIFLE308"},
        {":AN,|RIFLE308\r", "RIFLE308"},
        {":AN,RIFLE308\r", "RIFLE308"},
        {":AN,*ABCDEFGHIJKL\r", "ABCDEFGHIJ"},
        {":AN,ABCDEFGHIJKL\r", "ABCDEFGHIJKL"},
        {":AN,*\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\r", "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9"},
        {":AN\r", ""},
        {":AN,NO END", "NO END"},
        {":AN,0123456789012345678901234567890123\r", "0123456789012345678901234567890"},
    };
    for (const auto& c : names) EXPECT_EQ(received_name(c.line), c.name) << c.line;

    GunProfile p;
    std::memset(&p, 0xAB, sizeof p);
    begin_received_profile(p, ":AN,*GUN\r");
    EXPECT_EQ(profile_name(p), "GUN");
    EXPECT_EQ(p.az, 90.0f);
    EXPECT_EQ(p.lat, 40.0f);
    EXPECT_FLOAT_EQ(p.maxr, 546.805f);
    EXPECT_EQ(p.temp + p.pres + p.hum + p.alt + p.ws + p.wd, 59.0f + 29.92f + 78.0f + 5.0f + 270.0f);
    EXPECT_EQ(p.ssfV + p.ssfH, 2.0f);
    EXPECT_EQ(p.ou, 1);
    EXPECT_EQ(p.bc + p.mv + static_cast<float>(p.eu), 0.0f);  // cleared
}

TEST(ProfileLines, MainLineReadingByStyleVersionAndLength)
{
    GunProfile sent = new_gun();
    sent.zh = 2.5f;
    sent.zo = -1.5f;
    sent.ssfV = 1.25f;
    sent.ssfH = 0.75f;
    sent.ce = sent.cw = 10;  // a bulk device's "same as output" code
    sent.eu = 3;
    sent.wu = 2;
    const std::string form2 = lines_of(sent).main;  // 31 fields, longer than 182
    const std::string form3 = lines_of(sent, false, 1.12f).main;
    GunProfile left = sent;  // form 3 of a left twist and a tall sight: over 182 without the scale factors
    left.bt = -11.25f;
    left.shi = 10.5f;
    std::string form3_long = lines_of(left, false, 1.12f).main;
    ASSERT_GT(form3_long.size(), 182u);
    form3_long.replace(form3_long.size() - 3, 2, "05");  // a checksum that reads as a plausible number
    const struct {
        std::string line;
        transfer_style style;
        float version;
        float zh, ssfV;
        int ce;
    } cases[] = {
        {form2, transfer_style::bulk, 1.11f, 0.0f, 1.25f, 3},
        {form2, transfer_style::bulk, 1.123f, 2.5f, 1.25f, 3},
        {form2, transfer_style::indexed, 1.11f, 2.5f, 1.25f, 10},
        {form3, transfer_style::bulk, 1.12f, 0.0f, 1.0f, 3},
        // The checksum is not a scale factor.
        {form3_long, transfer_style::bulk, 1.12f, 0.0f, 1.0f, 3},
    };
    for (const auto& c : cases) {
        GunProfile p{};
        read_main_line(p, c.line.c_str(), c.style, c.version);
        EXPECT_EQ(p.zh, c.zh);
        EXPECT_EQ(p.ssfV, c.ssfV);
        EXPECT_EQ(p.ssfH, c.ssfV == 1.0f ? 1.0f : 0.75f);
        EXPECT_EQ(p.ce, c.ce);
        EXPECT_EQ(p.cw, c.ce == 10 ? 10 : 2);
        EXPECT_EQ(p.bw, 175.0f);
        EXPECT_EQ(p.cvw, 10);
    }
    const struct {
        const char* ssf;
        float v;
    } clamps[] = {{"0.05", 1.0f}, {"0.1", 0.1f}, {"10", 10.0f}, {"10.5", 1.0f}, {"nan", 1.0f}, {"1e400", 1.0f}};
    for (const auto& c : clamps) {
        GunProfile p{};
        std::string line = ":AP 0.5 10.9";  // then the 27 fields up to zo, all 1
        for (int i = 0; i < 27; ++i) line += " 1";
        line += " " + std::string(c.ssf) + " 1 00\r";
        read_main_line(p, line.c_str(), transfer_style::indexed, 1.11f);
        EXPECT_EQ(p.ssfV, c.v) << c.ssf;
        EXPECT_EQ(p.dc, 10);  // indexed: a real, cut toward zero
    }
    GunProfile p;
    std::memset(&p, 0xAB, sizeof p);
    read_main_line(p, ":AP 0.5 00001 abc\r", transfer_style::bulk, 1.11f);
    EXPECT_EQ(p.bc, 0.5f);
    EXPECT_EQ(p.dc, 1);
    EXPECT_EQ(p.bw + p.shi + p.vl[5] + static_cast<float>(p.cvw), 0.0f);  // missing and non-numbers read 0
    // A drag line one value short, then its checksum.
    std::string drag = ":AC";
    for (int i = 0; i < 31; ++i) drag += " 0.500";
    read_drag_line(p, (drag + " 01\r").c_str());
    EXPECT_EQ(p.cc[30].cd, 0.5f);
    EXPECT_EQ(p.cc[31].cd, 0.0f);
}

TEST(ProfileLines, BuiltLinesReadBackToTheSameLines)
{
    GunProfile p = new_gun();
    p.dc = 10;
    p.bt = -11.25f;
    p.zh = -0.4f;
    p.ssfV = 9.5f;
    for (int i = 0; i < 6; ++i) {
        p.mvt_temp[i] = -10.0f + 15.0f * static_cast<float>(i);
        p.mvt_mv[i] = 2500.0f + static_cast<float>(i);
        p.vl[i] = 0.5f * static_cast<float>(i);
        p.dsf[i] = 1.0f - 0.01f * static_cast<float>(i);
    }
    for (int i = 0; i < 32; ++i) {
        p.cc[i].mach = 0.1f * static_cast<float>(i);
        p.cc[i].cd = 0.2f + 0.003f * static_cast<float>(i);
    }
    for (transfer_style style : {transfer_style::bulk, transfer_style::indexed}) {
        const bool relay = style == transfer_style::indexed;
        const float version = relay ? 1.11f : 1.123f;
        profile_line_set sent = lines_of(p, relay, version);
        GunProfile got{};
        begin_received_profile(got, sent.name.c_str());
        read_main_line(got, sent.main.c_str(), style, version);
        read_mv_table_line(got, sent.mv_table.c_str());
        read_drag_line(got, sent.drag.c_str());
        read_mach_line(got, sent.mach.c_str());
        profile_line_set again = lines_of(got, relay, version);
        EXPECT_EQ(again.name, sent.name);
        EXPECT_EQ(again.main, sent.main);
        EXPECT_EQ(again.mv_table, sent.mv_table);
        EXPECT_EQ(again.drag, sent.drag);
        EXPECT_EQ(again.mach, sent.mach);
    }
    // A received line is read to its 255th character only.
    std::string longer = ":AV" + std::string(249, ' ') + "12345 2";
    GunProfile q{};
    read_mv_table_line(q, longer.c_str());
    EXPECT_EQ(q.mvt_temp[0], 123.0f);
    EXPECT_EQ(q.mvt_temp[1], 0.0f);
}
