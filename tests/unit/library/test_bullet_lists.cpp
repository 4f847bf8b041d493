// Row texts, list membership, the filter, the custom-curve cache and the
// values a chosen row applies, on synthetic records and a test table that,
// unlike the shipped one, has drag curves.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "library/bullet_table.h"

namespace {

bullet_record make_record(const char* maker, const char* name, float diameter, float weight, float length, float g1,
                          float g7)
{
    bullet_record r{};
    std::strncpy(r.manufacturer, maker, sizeof r.manufacturer - 1);
    std::strncpy(r.bullet_name, name, sizeof r.bullet_name - 1);
    r.diameter_in = diameter;
    r.weight_gr = weight;
    r.length_in = length;
    r.bc_g1 = g1;
    r.bc_g7 = g7;
    return r;
}

float from_bits(uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

uint32_t bits_of(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// cd values are opaque device codes: use bit patterns that a float copy or a
// text round trip would change (NaN payload, negative zero, a subnormal).
void give_curve(bullet_record& r, uint32_t seed)
{
    for (int k = 0; k < kBulletCurvePoints; ++k) {
        r.curve[k].mach = 0.01f + 0.1f * static_cast<float>(k);
        r.curve[k].cd = from_bits(seed + static_cast<uint32_t>(k) * 7919u);
    }
    r.curve[3].cd = from_bits(0x7fc12345u);
    r.curve[4].cd = from_bits(0x80000000u);
    r.curve[5].cd = from_bits(0x00000001u);
}

struct test_table {
    bullet_record rows[4];
    test_table()
    {
        rows[0] = make_record("Aguila", "SniperSubsonic", 0.222f, 60.0f, 0.684f, 0.113f, 0.058f);
        give_curve(rows[0], 0x3e000000u);
        rows[1] = make_record("Hornady", "ELD Match", 0.308f, 178.0f, 0.0f, 0.547f, 0.275f);
        rows[2] = make_record("Lapua", "Scenar", 0.308f, 185.0f, 0.0f, 0.0f, 0.242f);
        give_curve(rows[2], 0x3f100000u);
        rows[3] = make_record("Sierra", "HPBT MatchKing", 0.224f, 77.0f, 0.0f, 0.372f, 0.0f);
    }
};

}  // namespace

TEST(BulletRowTexts, Formats)
{
    bullet_record r = make_record("M", "N", 0.510f, 60.0f, 2.0325f, 1.225f, 0.051f);
    bullet_row_texts t = bullet_row(r, kBulletListG1);
    EXPECT_STREQ(t.caliber, "0.510");  // keeps its trailing zero
    EXPECT_STREQ(t.weight, " 60");     // at least three wide
    EXPECT_STREQ(t.length, "2.033");   // single precision lies just above the half
    EXPECT_STREQ(t.bc, "1.225");
    EXPECT_STREQ(bullet_row(r, kBulletListG7).bc, "0.051");

    r.weight_gr = 1100.0f;
    EXPECT_STREQ(bullet_row(r, kBulletListG1).weight, "1100");
    r.weight_gr = 52.0f;
    EXPECT_STREQ(bullet_row(r, kBulletListG1).weight, " 52");
}

TEST(BulletRowTexts, HalfGrainsShowAsWholeGrains)
{
    for (float w : {80.5f, 85.5f, 123.5f, 153.5f, 155.5f, 163.5f}) {
        bullet_record r = make_record("M", "N", 0.308f, w, 0.0f, 0.4f, 0.0f);
        bullet_row_texts t = bullet_row(r, kBulletListG1);
        double shown = std::strtod(t.weight, nullptr);
        EXPECT_EQ(shown, std::floor(shown)) << t.weight;
        EXPECT_EQ(std::fabs(shown - w), 0.5) << t.weight;
    }
}

TEST(BulletRowTexts, UnknownValuesAreEmptyNeverZero)
{
    bullet_record r = make_record("Barnes", "TSX Hunting", 0.308f, 150.0f, 0.0f, 0.0f, 0.0f);
    for (int kind : {kBulletListG1, kBulletListG7, kBulletListCustom}) {
        bullet_row_texts t = bullet_row(r, kind);
        EXPECT_STREQ(t.length, "");
        EXPECT_STREQ(t.bc, "");
        EXPECT_STREQ(t.caliber, "0.308");
    }
    char buf[8] = "x";
    format_bullet_value(buf, sizeof buf, "%0.3f", 0.0f);
    EXPECT_STREQ(buf, "");
}

TEST(BulletRowTexts, ListsDifferOnlyInTheBcColumn)
{
    test_table tt;
    bullet_row_texts g1 = bullet_row(tt.rows[1], kBulletListG1);
    bullet_row_texts g7 = bullet_row(tt.rows[1], kBulletListG7);
    bullet_row_texts cc = bullet_row(tt.rows[1], kBulletListCustom);
    EXPECT_EQ(std::memcmp(&g1, &g7, offsetof(bullet_row_texts, bc)), 0);
    EXPECT_EQ(std::memcmp(&g1, &cc, offsetof(bullet_row_texts, bc)), 0);
    EXPECT_STREQ(g1.bc, "0.547");
    EXPECT_STREQ(g7.bc, "0.275");
    EXPECT_STREQ(cc.bc, "");
}

TEST(BulletRowTexts, UnterminatedRecordTextIsCutSafely)
{
    bullet_record r{};
    std::memset(r.manufacturer, 'A', sizeof r.manufacturer);
    bullet_row_texts t = bullet_row(r, kBulletListG1);
    EXPECT_EQ(std::strlen(t.manufacturer), kBulletTextBytes - 1);
}

TEST(BulletLists, MembershipByKind)
{
    test_table tt;
    int rows[4];
    ASSERT_EQ(bullet_list_rows(tt.rows, 4, kBulletListG1, nullptr, rows, 4), 3);
    EXPECT_EQ(rows[0], 0);
    EXPECT_EQ(rows[1], 1);
    EXPECT_EQ(rows[2], 3);
    ASSERT_EQ(bullet_list_rows(tt.rows, 4, kBulletListG7, nullptr, rows, 4), 3);
    EXPECT_EQ(rows[2], 2);
    ASSERT_EQ(bullet_list_rows(tt.rows, 4, kBulletListCustom, nullptr, rows, 4), 2);
    EXPECT_EQ(rows[0], 0);
    EXPECT_EQ(rows[1], 2);
    EXPECT_EQ(bullet_list_rows(tt.rows, 4, 5, nullptr, rows, 4), 0);
    EXPECT_EQ(bullet_list_rows(tt.rows, 4, kBulletListG1, nullptr, rows, 2), 2);  // capacity holds

    // One non-zero member anywhere makes a curve.
    bullet_record r = make_record("M", "N", 0.308f, 150.0f, 0.0f, 0.4f, 0.0f);
    EXPECT_FALSE(bullet_has_kind(r, kBulletListCustom));
    r.curve[31].cd = 0.25f;
    EXPECT_TRUE(bullet_has_kind(r, kBulletListCustom));
}

// What sizes the columns: only the list's own records count; more characters
// win (counted as characters, not bytes), and of as many, fewer blanks.
TEST(BulletLists, LongestTextOfEachColumn)
{
    test_table tt;
    bullet_row_texts g1 = bullet_longest_texts(tt.rows, 4, kBulletListG1);
    EXPECT_STREQ(g1.manufacturer, "Hornady");
    EXPECT_STREQ(g1.weight, "178");  // after " 60", as many characters
    EXPECT_STREQ(g1.length, "0.684");
    bullet_row_texts custom = bullet_longest_texts(tt.rows, 4, kBulletListCustom);
    EXPECT_STREQ(custom.manufacturer, "Aguila");
    EXPECT_STREQ(custom.bullet_name, "SniperSubsonic");
    EXPECT_STREQ(custom.bc, "");

    bullet_record makers[] = {make_record("M\xc3\xbcller", "N", 0.308f, 150.0f, 0.0f, 0.4f, 0.0f),
                              make_record("Mullers", "N", 0.308f, 150.0f, 0.0f, 0.4f, 0.0f)};
    EXPECT_STREQ(bullet_longest_texts(makers, 2, kBulletListG1).manufacturer, "Mullers");
}

TEST(BulletLists, Filter)
{
    test_table tt;
    const bullet_record& eld = tt.rows[1];
    EXPECT_TRUE(bullet_matches_filter(eld, nullptr));
    EXPECT_TRUE(bullet_matches_filter(eld, "  "));
    EXPECT_TRUE(bullet_matches_filter(eld, "hornady"));
    EXPECT_TRUE(bullet_matches_filter(eld, "eld m"));
    EXPECT_TRUE(bullet_matches_filter(eld, " .308 "));
    EXPECT_TRUE(bullet_matches_filter(eld, "0.3"));
    EXPECT_TRUE(bullet_matches_filter(eld, "178"));     // the weight column
    EXPECT_FALSE(bullet_matches_filter(eld, "0.547"));  // nor the BC
    EXPECT_FALSE(bullet_matches_filter(eld, "lapua"));

    int rows[4];
    ASSERT_EQ(bullet_list_rows(tt.rows, 4, kBulletListG7, "308", rows, 4), 2);
    EXPECT_EQ(rows[0], 1);
    EXPECT_EQ(rows[1], 2);
    EXPECT_EQ(bullet_list_rows(tt.rows, 4, kBulletListCustom, "sierra", rows, 4), 0);
    EXPECT_EQ(bullet_list_rows(tt.rows, 4, kBulletListG1, "77", rows, 4), 1);
}

TEST(CustomCurveCache, SplitsPointsBitForBit)
{
    test_table tt;
    custom_curve_entry cache[4];
    std::memset(cache, 0xAB, sizeof cache);
    ASSERT_EQ(fill_custom_curve_cache(tt.rows, 4, cache, 4), 2);
    const bullet_record* sources[] = {&tt.rows[0], &tt.rows[2]};
    for (int e = 0; e < 2; ++e) {
        const bullet_record& r = *sources[e];
        EXPECT_EQ(std::memcmp(cache[e].manufacturer, r.manufacturer, kBulletTextBytes), 0);
        EXPECT_EQ(std::memcmp(cache[e].bullet_name, r.bullet_name, kBulletTextBytes), 0);
        EXPECT_EQ(bits_of(cache[e].weight), bits_of(r.weight_gr));
        EXPECT_EQ(bits_of(cache[e].diameter), bits_of(r.diameter_in));
        EXPECT_EQ(bits_of(cache[e].length), bits_of(r.length_in));
        for (int k = 0; k < kBulletCurvePoints; ++k) {
            EXPECT_EQ(bits_of(cache[e].mach[k]), bits_of(r.curve[k].mach)) << e << ":" << k;
            EXPECT_EQ(bits_of(cache[e].cd[k]), bits_of(r.curve[k].cd)) << e << ":" << k;
        }
    }
    EXPECT_EQ(bits_of(cache[0].cd[3]), 0x7fc12345u);
    EXPECT_EQ(fill_custom_curve_cache(tt.rows, 4, cache, 1), 1);
}

TEST(BulletChoice, G1RowGivesTheShownValues)
{
    test_table tt;
    bullet_choice c{};
    ASSERT_TRUE(bullet_choice_from_row(bullet_row(tt.rows[0], kBulletListG1), kBulletListG1, &c));
    GunProfile p{};
    p.cc[0].cd = 9.0f;
    ASSERT_TRUE(apply_bullet_choice(p, c, nullptr));
    EXPECT_EQ(p.dc, 0);
    EXPECT_EQ(p.bd, 0.222f);
    EXPECT_EQ(p.bl, 0.684f);
    EXPECT_EQ(p.bw, 60.0f);
    EXPECT_EQ(p.bc, 0.113f);
    EXPECT_EQ(p.cc[0].cd, 9.0f);  // a standard curve leaves the custom points

    ASSERT_TRUE(bullet_choice_from_row(bullet_row(tt.rows[0], kBulletListG7), kBulletListG7, &c));
    EXPECT_EQ(c.dc, 1);
    EXPECT_EQ(c.bc, 0.058f);
}

TEST(BulletChoice, RoundedAsDisplayed)
{
    bullet_record r = make_record("M", "N", 0.3085f, 155.5f, 2.0325f, 0.4567f, 0.0f);
    bullet_choice c{};
    ASSERT_TRUE(bullet_choice_from_row(bullet_row(r, kBulletListG1), kBulletListG1, &c));
    EXPECT_EQ(c.bl, 2.033f);
    EXPECT_EQ(c.bc, 0.457f);
    EXPECT_EQ(c.bw, std::floor(c.bw));
}

TEST(BulletChoice, UnknownLengthKeepsTheProfiles)
{
    test_table tt;
    bullet_choice c{};
    ASSERT_TRUE(bullet_choice_from_row(bullet_row(tt.rows[1], kBulletListG1), kBulletListG1, &c));
    EXPECT_FALSE(c.length_known);
    GunProfile p{};
    p.bl = 1.24f;
    ASSERT_TRUE(apply_bullet_choice(p, c, nullptr));
    EXPECT_EQ(p.bl, 1.24f);
    EXPECT_EQ(p.bd, 0.308f);
}

TEST(BulletChoice, MissingBcIsNoChoice)
{
    test_table tt;
    bullet_choice c{};
    c.bd = 7.0f;
    // Lapua has no G1: its (empty) G1 text must never become a bc of 0.
    EXPECT_FALSE(bullet_choice_from_row(bullet_row(tt.rows[2], kBulletListG1), kBulletListG1, &c));
    EXPECT_EQ(c.bd, 7.0f);
    bullet_row_texts bad = bullet_row(tt.rows[1], kBulletListG1);
    std::strcpy(bad.caliber, "abc");
    EXPECT_FALSE(bullet_choice_from_row(bad, kBulletListG1, &c));
    EXPECT_FALSE(bullet_choice_from_row(bullet_row(tt.rows[1], kBulletListG1), 4, &c));
}

TEST(BulletChoice, CustomCurveCopiesPointsAndSetsBcOne)
{
    test_table tt;
    custom_curve_entry cache[4];
    ASSERT_EQ(fill_custom_curve_cache(tt.rows, 4, cache, 4), 2);
    bullet_choice c{};
    ASSERT_TRUE(bullet_choice_from_row(bullet_row(tt.rows[2], kBulletListCustom), kBulletListCustom, &c));
    EXPECT_EQ(c.bc, 1.0f);
    EXPECT_EQ(c.dc, 10);

    GunProfile p{};
    p.bc = 0.5f;
    EXPECT_FALSE(apply_bullet_choice(p, c, nullptr));  // no curve: nothing changes
    EXPECT_EQ(p.bc, 0.5f);
    EXPECT_EQ(p.dc, 0);

    ASSERT_TRUE(apply_bullet_choice(p, c, &cache[1]));
    EXPECT_EQ(p.dc, 10);
    EXPECT_EQ(p.bc, 1.0f);
    for (int k = 0; k < kBulletCurvePoints; ++k) {
        EXPECT_EQ(bits_of(p.cc[k].mach), bits_of(tt.rows[2].curve[k].mach)) << k;
        EXPECT_EQ(bits_of(p.cc[k].cd), bits_of(tt.rows[2].curve[k].cd)) << k;
    }

    // Then a G1 bullet: the custom points stay, dc goes back to 0.
    ASSERT_TRUE(bullet_choice_from_row(bullet_row(tt.rows[3], kBulletListG1), kBulletListG1, &c));
    ASSERT_TRUE(apply_bullet_choice(p, c, nullptr));
    EXPECT_EQ(p.dc, 0);
    EXPECT_EQ(bits_of(p.cc[3].cd), 0x7fc12345u);
}

TEST(BulletChoice, ParsesWithPointWhateverTheLocale)
{
    const char* saved = std::setlocale(LC_NUMERIC, nullptr);
    std::string keep = saved ? saved : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
        FAIL() << "no locale with a decimal comma: ./scripts/deps.sh --test generates de_DE.UTF-8";
    EXPECT_STREQ(std::localeconv()->decimal_point, ",");
    test_table tt;
    bullet_row_texts t = bullet_row(tt.rows[0], kBulletListG1);
    std::strcpy(t.caliber, "0.222");  // as the window shows it
    std::strcpy(t.bc, "0.113");
    std::strcpy(t.length, "0.684");
    bullet_choice c{};
    bool ok = bullet_choice_from_row(t, kBulletListG1, &c);
    std::setlocale(LC_NUMERIC, keep.c_str());
    ASSERT_TRUE(ok);
    EXPECT_EQ(c.bd, 0.222f);
    EXPECT_EQ(c.bc, 0.113f);
}
