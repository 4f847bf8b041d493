#include "editor/form_model.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "profile/units.h"

namespace {

GunProfile new_record()
{
    GunProfile p{};
    apply_new_profile_values(p);
    return p;
}

FormState shown(GunProfile& p, int units)
{
    FormState f;
    profile_to_form(p, units, f);
    return f;
}

}  // namespace

TEST(ProfileToForm, NewProfileUnderMixed)
{
    GunProfile p = new_record();
    FormState f = shown(p, 1);
    EXPECT_EQ(f.bw, "175");
    EXPECT_EQ(f.bd, "0.308");
    EXPECT_EQ(f.bl, "1.240");
    EXPECT_EQ(f.tr, "10.00");
    EXPECT_EQ(f.mv, "2600");
    EXPECT_EQ(f.zr, " 100");
    EXPECT_EQ(f.bh, "1.50");
    EXPECT_EQ(f.bc, "0.475");
    EXPECT_EQ(f.clickvalE, "10");
    EXPECT_EQ(f.clickvalW, "10");
    EXPECT_EQ(f.ssfV, "1.00");
    EXPECT_EQ(f.dsf[0], "1.000");
    EXPECT_EQ(f.vel[0], "0.00");
    for (const std::string& t : f.temp) EXPECT_EQ(t, "0");
    EXPECT_EQ(f.mvt[0], "   0");
    EXPECT_EQ(f.eunits, "MIL");
    EXPECT_EQ(f.clickw_units, "MIL");
    EXPECT_TRUE(f.g1_active);
    EXPECT_FALSE(f.custom_curve);

    // Reading back stores typed meters as the float nearest to them in yards.
    form_to_profile(f, 1, p);
    EXPECT_EQ(p.zr, static_cast<float>(100 / 0.9144));
    f.zr = "300";
    form_to_profile(f, 1, p);
    EXPECT_EQ(p.zr, static_cast<float>(300 / 0.9144));
}

TEST(ProfileToForm, MetricShowsAndReadsBackConverted)
{
    GunProfile p = new_record();
    FormState f = shown(p, 3);
    EXPECT_EQ(f.bd, "0.782");
    EXPECT_EQ(f.bl, "3.150");
    EXPECT_EQ(f.tr, "25.40");
    EXPECT_EQ(f.bh, "3.81");
    EXPECT_EQ(f.mv, " 792");
    EXPECT_EQ(f.zr, " 100");

    form_to_profile(f, 3, p);
    EXPECT_EQ(p.mv, static_cast<float>(792 / 0.3048));
    EXPECT_EQ(p.bd, static_cast<float>(0.782 / 2.54));
    EXPECT_EQ(p.zr, static_cast<float>(100 / 0.9144));

    p.mvt_mv[1] = 2500.0f;
    p.mvt_temp[1] = 80.0f;
    f = shown(p, 3);
    EXPECT_EQ(f.temp[1], "  27");
    EXPECT_EQ(f.mvt[1], " 762");
    f.temp[1] = "27";
    form_to_profile(f, 3, p);
    EXPECT_EQ(p.mvt_temp[1], 27.0f * 1.8f + 32.0f);
}

TEST(ProfileToForm, EnglishRoundTripKeepsDisplayRounding)
{
    GunProfile p = new_record();
    p.bd = 0.30849f;
    p.mv = 2650.4f;
    p.dsf[2] = 0.9876f;
    p.vl[2] = 1.234f;
    p.mvt_mv[0] = 2600.0f;
    p.mvt_temp[0] = 95.0f;
    p.mvt_temp[3] = 40.0f;  // row 4 is empty: its temperature is not shown
    FormState f = shown(p, 2);
    EXPECT_EQ(f.dsf[2], "0.988");
    EXPECT_EQ(f.temp[0], "  95");
    EXPECT_EQ(f.temp[3], "0");
    form_to_profile(f, 2, p);
    EXPECT_EQ(p.bd, 0.308f);
    EXPECT_EQ(p.mv, 2650.0f);
    EXPECT_EQ(p.dsf[2], 0.988f);
    EXPECT_EQ(p.vl[2], 1.23f);
    EXPECT_EQ(p.mvt_temp[3], 0.0f);

    // Switching systems only re-shows; it never changes what is stored.
    GunProfile before = p;
    FormState english = shown(p, 2);
    shown(p, 3);
    FormState again = shown(p, 2);
    EXPECT_EQ(again.bd, english.bd);
    EXPECT_EQ(again.mv, english.mv);
    EXPECT_EQ(again.zr, english.zr);
    EXPECT_EQ(p.mv, before.mv);
    EXPECT_EQ(p.zr, before.zr);
}

TEST(ProfileToForm, UnknownSystemShowsMetricReadsRangeAsYards)
{
    GunProfile p = new_record();
    FormState f = shown(p, 7);
    EXPECT_EQ(f.bd, "0.782");
    EXPECT_EQ(f.zr, " 100");
    form_to_profile(f, 7, p);
    EXPECT_EQ(p.zr, 100.0f);
    EXPECT_EQ(p.bd, 0.782f / 2.54f);
}

TEST(ProfileToForm, CodesAndDragCurve)
{
    GunProfile p = new_record();
    p.eu = 4;
    p.wu = 9;
    p.ce = 4;
    p.cw = 3;
    p.cve = 0;
    p.cvw = 5;
    p.bt = -11.0f;
    p.dc = 1;
    FormState f = shown(p, 2);
    EXPECT_EQ(f.eunits, "CLICKS");
    EXPECT_EQ(f.wunits, "MIL");
    EXPECT_EQ(f.clicke_units, "");  // no item for 4 in the click list
    EXPECT_EQ(f.clickw_units, "SMOA");
    EXPECT_EQ(f.clickvalE, "01");
    EXPECT_EQ(f.clickvalW, "05");
    EXPECT_EQ(f.tr, "-11.00");
    EXPECT_FALSE(f.g1_active);
    EXPECT_EQ(p.wu, 1);
    EXPECT_EQ(p.cve, 1);
    EXPECT_EQ(p.sd, -1);

    form_to_profile(f, 2, p);
    EXPECT_EQ(p.eu, 4);
    EXPECT_EQ(p.ce, 4);  // "" matches nothing: kept
    EXPECT_EQ(p.dc, 1);
    f.g1_active = true;
    f.clickw_units = "CLICKS";  // not a click unit: kept
    f.eunits = "tmoa";
    form_to_profile(f, 2, p);
    EXPECT_EQ(p.dc, 0);
    EXPECT_EQ(p.cw, 3);
    EXPECT_EQ(p.eu, 4);

    p.dc = 10;
    f.g1_active = false;
    FormState custom = f;
    profile_to_form(p, 2, custom);
    EXPECT_TRUE(custom.custom_curve);
    EXPECT_FALSE(custom.g1_active);  // radios left as they were
    form_to_profile(custom, 2, p);
    EXPECT_EQ(p.dc, 10);
}

TEST(FormToProfile, FixedValuesAndLenientNumbers)
{
    GunProfile p = new_record();
    FormState f = shown(p, 2);
    p.temp = 10;
    p.pres = 1;
    p.maxr = 5;
    p.alt = 7;
    f.mv = "2650abc";
    f.bw = "  168.5";
    f.bc = "abc";
    f.clickvalE = "12.9";
    f.clickvalW = "-3.7";
    form_to_profile(f, 2, p);
    EXPECT_EQ(p.mv, 2650.0f);
    EXPECT_EQ(p.bw, 168.5f);
    EXPECT_EQ(p.bc, 0.0f);
    EXPECT_EQ(p.cve, 12);
    EXPECT_EQ(p.cvw, -3);
    EXPECT_EQ(p.temp, 59.0f);
    EXPECT_EQ(p.pres, 29.92f);
    EXPECT_EQ(p.maxr, 1094.0f);
    EXPECT_EQ(p.alt, 0.0f);
}

TEST(FormToProfile, OnlyDecimalNumbersAreRead)
{
    // Text a general number parser would take, but a shooter did not type
    // as a number: its decimal prefix counts, or 0.
    const std::pair<const char*, double> cases[] = {
        {"0x10", 0.0},  {"nan", 0.0},  {"inf", 0.0}, {"-infinity", 0.0}, {"1e3", 1000.0},
        {"2.5e", 2.5},  {"-.5", -0.5}, {".", 0.0},   {"+7", 7.0},        {" \t12,5", 12.0},
        {"1.2.3", 1.2}, {"e5", 0.0},   {"-", 0.0},   {"3.", 3.0},        {"1e-2x", 0.01},
    };
    for (const auto& [text, value] : cases) EXPECT_DOUBLE_EQ(parse_number(text), value) << text;
}

TEST(FormToProfile, NumbersIgnoreTheProcessLocale)
{
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
        FAIL() << "no locale with a decimal comma: ./scripts/deps.sh --test generates de_DE.UTF-8";
    EXPECT_STREQ(std::localeconv()->decimal_point, ",");
    EXPECT_EQ(parse_number("0.475"), 0.475);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(FormToProfile, ClickValuesClamp)
{
    EXPECT_EQ(parse_click_value("1e12"), INT32_MAX);
    EXPECT_EQ(parse_click_value("-1e12"), INT32_MIN);
    EXPECT_EQ(parse_click_value("nan"), 0);
    EXPECT_EQ(parse_click_value(""), 0);
    EXPECT_EQ(parse_click_value("2147483647.9"), INT32_MAX);
}

TEST(ProfileToForm, DamagedValuesGiveTextsSafely)
{
    GunProfile p = new_record();
    p.bw = 3.4e38f;
    p.mv = INFINITY;
    p.bd = NAN;
    p.vl[0] = 3.4e38f;
    p.dsf[0] = -3.4e38f;
    p.mvt_mv[0] = NAN;  // not an empty row
    p.mvt_temp[0] = 3.4e38f;
    FormState f = shown(p, 3);
    EXPECT_EQ(f.bw.size(), 39u);
    EXPECT_EQ(f.mv, " inf");
    EXPECT_EQ(f.bd, "nan");
    EXPECT_EQ(f.vel[0], "33999");  // cut to the entry's five characters
    EXPECT_EQ(f.dsf[0], "-3399999");
    EXPECT_EQ(f.temp[0].size(), 8u);
    EXPECT_EQ(format_number("%4.0f", 1.7976931348623157e308).size(), 309u);

    // Reading such texts back stays within float; "inf" and "nan" are no
    // decimal numbers and read as 0.
    form_to_profile(f, 3, p);
    EXPECT_EQ(p.bw, 3.4e38f);
    EXPECT_EQ(p.mv, 0.0f);
    EXPECT_EQ(p.bd, 0.0f);
    f.bw = "1e39";
    form_to_profile(f, 3, p);
    EXPECT_TRUE(std::isinf(p.bw));
}

TEST(ProfileToForm, CutCountsCharactersNotBytes)
{
    EXPECT_EQ(cut_to_chars("\xC3\xA9\xC3\xA9\xC3\xA9", 2), "\xC3\xA9\xC3\xA9");
    EXPECT_EQ(cut_to_chars("abc", 5), "abc");
    EXPECT_EQ(cut_to_chars("abcdef", 0), "abcdef");
}

// Values typed and not confirmed: only the fields whose texts changed are
// read back, so a unit switch neither loses them nor rounds the others.
TEST(TypedChanges, OnlyChangedTextsReachTheRecord)
{
    struct Row {
        int units;
        void (*type)(FormState&);
        float GunProfile::*field;
        float expected;
    };
    const Row rows[] = {
        {2, [](FormState& f) { f.mv = "2700"; }, &GunProfile::mv, 2700.0f},
        {3, [](FormState& f) { f.mv = "823"; }, &GunProfile::mv, 823.0f * 3.28084f},
        {1, [](FormState& f) { f.zr = "300"; }, &GunProfile::zr, 300.0f * 1.09361f},
        {3, [](FormState& f) { f.bd = "0.9"; }, &GunProfile::bd, 0.9f / 2.54f},
        {1, [](FormState& f) { f.mvt[2] = "2500"; }, nullptr, 2500.0f},
    };
    for (const Row& r : rows) {
        GunProfile p = new_record();
        p.zr = 109.1f;  // shows rounded: must stay as stored unless typed
        FormState before = shown(p, r.units), now = before;
        GunProfile stored = p;
        r.type(now);
        EXPECT_TRUE(form_has_changes(before, now, r.units, p));
        EXPECT_TRUE(apply_typed_changes(before, now, r.units, p));
        EXPECT_NEAR(r.field ? p.*r.field : p.mvt_mv[2], r.expected, 0.01f) << r.units;
        if (r.field != &GunProfile::zr) EXPECT_EQ(p.zr, stored.zr);
        EXPECT_EQ(p.temp, stored.temp);
        EXPECT_EQ(p.bw, stored.bw);
    }

    // No change, or only blanks around a number: nothing to keep.
    GunProfile p = new_record();
    FormState before = shown(p, 1), now = before;
    now.bw = " 175 ";
    EXPECT_FALSE(form_has_changes(before, now, 1, p));
    // The drag curve radio and a unit combo count as changes too.
    now.g1_active = false;
    now.eunits = "CLICKS";
    EXPECT_TRUE(apply_typed_changes(before, now, 1, p));
    EXPECT_EQ(p.dc, 1);
    EXPECT_EQ(p.eu, 4);
}

// Every text field of the form under every unit system, on profiles whose
// values do not survive the display rounding: with nothing typed the record
// keeps every bit; with one field typed only that field's word changes.
TEST(TypedChanges, EachFieldAloneReachesTheRecordInEverySystem)
{
    GunProfile tables = new_record();
    tables.mv = 2600.0f;
    tables.bd = 0.308f;
    tables.bt = -11.25f;
    tables.zr = 100.0f;
    const float temps[3] = {20.0f, 59.0f, 90.0f}, mvs[3] = {2501.0f, 2502.0f, 2504.0f};
    for (int i = 0; i < 3; ++i) tables.mvt_temp[i] = temps[i], tables.mvt_mv[i] = mvs[i];
    tables.mvt_temp[4] = 77.0f;  // an empty row's temperature is kept too
    tables.vl[0] = 1.234f, tables.dsf[0] = 0.9876f;
    tables.dc = 10;
    for (int k = 0; k < 32; ++k) tables.cc[k] = CurvePoint{0.1f * k, 0.3f + 0.001f * k};
    tables.eu = 4, tables.cve = 8, tables.ssfV = 1.037f;
    GunProfile plain = new_record();
    plain.zr = 109.1f;

    struct Field {
        std::string FormState::*text;
        size_t offset;
    };
    std::vector<Field> fields = {{&FormState::bw, 8},          {&FormState::ssfV, 460},      {&FormState::ssfH, 464},
                                 {&FormState::clickvalE, 500}, {&FormState::clickvalW, 504}, {&FormState::bh, 348},
                                 {&FormState::zh, 352},        {&FormState::zo, 356},        {&FormState::bd, 0},
                                 {&FormState::bl, 4},          {&FormState::tr, 12},         {&FormState::mv, 336},
                                 {&FormState::zr, 344},        {&FormState::bc, 332}};
    for (const GunProfile& original : {plain, tables})
        for (int units : {kUnitsMixed, kUnitsEnglish, kUnitsMetric})
            for (size_t i = 0; i < fields.size() + 24; ++i) {
                GunProfile p = original;
                const FormState before = shown(p, units);
                const GunProfile kept = p;
                FormState now = before;
                EXPECT_FALSE(apply_typed_changes(before, now, units, p));
                ASSERT_EQ(std::memcmp(&p, &kept, sizeof p), 0) << units;

                // Table cells: temperature, velocity, Mach, factor, six each.
                size_t cell = i - fields.size(), offset;
                std::string* text;
                if (i < fields.size()) text = &(now.*fields[i].text), offset = fields[i].offset;
                else if (cell < 6) text = &now.temp[cell], offset = 408 + 4 * cell;
                else if (cell < 12) text = &now.mvt[cell - 6], offset = 432 + 4 * (cell - 6);
                else if (cell < 18) text = &now.vel[cell - 12], offset = 44 + 4 * (cell - 12);
                else text = &now.dsf[cell - 18], offset = 20 + 4 * (cell - 18);
                *text = "12";
                EXPECT_TRUE(apply_typed_changes(before, now, units, p)) << units << " field " << i;
                const unsigned char* a = reinterpret_cast<const unsigned char*>(&p);
                const unsigned char* b = reinterpret_cast<const unsigned char*>(&kept);
                for (size_t at = 0; at < sizeof p; at += 4)
                    if (at != offset)
                        ASSERT_EQ(std::memcmp(a + at, b + at, 4), 0) << units << " field " << i << " @" << at;
            }
}
