#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "ballistics/truing.h"

namespace {

// A made-up 6.5 mm bullet on the G7 curve, holds in MIL.
GunProfile rifle(float mv)
{
    GunProfile p{};
    p.dc = 1;
    p.bc = 0.29f;
    p.bw = 140;
    p.bd = 0.264f;
    p.bl = 1.35f;
    p.bt = 8;
    p.mv = mv;
    p.zr = 100;
    p.shi = 1.5f;
    p.temp = 59;
    p.pres = 29.92f;
    p.hum = 50;
    p.ssfV = p.ssfH = 1;
    p.eu = p.wu = 1;
    p.ce = p.cw = p.cve = p.cvw = 1;
    p.maxr = 1000;
    for (float& f : p.dsf) f = 1;
    return p;
}

void set_table(GunProfile& p, const std::vector<dsf_row>& rows)
{
    for (int i = 0; i < 6; ++i) {
        p.vl[i] = i < static_cast<int>(rows.size()) ? static_cast<float>(rows[i].mach) : 0.0f;
        p.dsf[i] = i < static_cast<int>(rows.size()) ? static_cast<float>(rows[i].factor) : 1.0f;
    }
}

// The holds `truth` gives at `ranges`, as the user would read them off the scope.
std::vector<truing_observation> holds_of(const GunProfile& truth, const std::vector<double>& ranges,
                                         hold_unit unit = hold_unit::mil, double read_to = 0)
{
    std::vector<truing_observation> obs;
    for (double r : ranges) {
        solution s = solve_profile(truth, conditions_from_profile(truth), r, r);
        EXPECT_TRUE(s.ok && !s.rows.empty()) << r;
        double moa = unit == hold_unit::inch ? -s.rows.back().drop_in / (r * 36.0) / (M_PI / 10800.0)
                                             : s.rows.back().elevation_hold * 0.001 / (M_PI / 10800.0);
        double hold = moa_to_hold(moa, unit, r);
        if (read_to > 0) hold = std::round(hold / read_to) * read_to;
        obs.push_back({r, hold, unit, std::nullopt});
    }
    return obs;
}

// Truing writes nothing but the velocities and the scale factor table.
bool only_trued_fields_differ(const GunProfile& before, const GunProfile& after)
{
    GunProfile p = before;
    copy_trued_fields(p, after);
    return std::memcmp(&p, &after, sizeof p) == 0;
}

}  // namespace

TEST(Truing, RecoversTheVelocityAndTheDragOfTheProfileThatGaveTheHolds)
{
    const std::vector<dsf_row> true_factors = {{0.9, 1.08}, {1.05, 1.04}, {1.2, 1.0}};
    struct Case {
        const char* what;
        float true_mv, profile_mv;
        std::vector<dsf_row> true_table, profile_table;
        std::vector<double> ranges;
        hold_unit unit;
        bool velocity;       // enough supersonic holds to tell the velocity
        double read_to = 0;  // holds rounded as read off a scope
    } cases[] = {
        {"velocity and drag", 2650, 2710, true_factors, {}, {300, 500, 700, 900, 1100, 1300}, hold_unit::mil, true},
        {"every 100 yd",
         2650,
         2710,
         true_factors,
         {},
         {300, 400, 500, 600, 700, 800, 900, 1000, 1100, 1200, 1300},
         hold_unit::mil,
         true},
        {"read to 0.01 MIL",
         2640,
         2710,
         {{0.9, 1.1}, {1.05, 1.05}, {1.25, 1.0}},
         {},
         {600, 800, 1100, 1250},
         hold_unit::mil,
         true,
         0.01},
        {"faster than thought, MOA", 2760, 2710, true_factors, {}, {300, 600, 900, 1300}, hold_unit::moa, true},
        {"velocity only, inches", 2680, 2710, {}, {}, {300, 500, 700}, hold_unit::inch, true},
        {"drag only, SMOA", 2710, 2710, true_factors, {}, {1150, 1300}, hold_unit::smoa, false},
        // Out of order, one row kept (0.7), one merged into the new factor near Mach 1.1.
        {"own factors as the start",
         2690,
         2710,
         true_factors,
         {{1.2, 1.0}, {0.7, 1.1}, {1.1, 1.02}},
         {300, 500, 800, 1100, 1300},
         hold_unit::mil,
         true},
    };
    for (const Case& k : cases) {
        GunProfile truth = rifle(k.true_mv), p = rifle(k.profile_mv);
        set_table(truth, k.true_table);
        set_table(p, k.profile_table);
        std::vector<truing_observation> obs = holds_of(truth, k.ranges, k.unit, k.read_to);
        truing_result r = true_profile(p, conditions_from_profile(p), obs);
        ASSERT_TRUE(r.ok) << k.what << ": " << r.refusal;
        EXPECT_EQ(r.velocity_fitted, k.velocity) << k.what;
        if (k.velocity) EXPECT_NEAR(r.mv_after_fps, k.true_mv, 10) << k.what;
        else EXPECT_EQ(r.trued.mv, p.mv) << k.what;
        for (const truing_row& row : r.rows)
            EXPECT_NEAR(row.after_moa, row.observed_moa, 0.1) << k.what << row.range_yd;
        for (size_t i = 1; i < r.factors.size(); ++i) EXPECT_GE(r.factors[i].mach - r.factors[i - 1].mach, 0.045);
        EXPECT_TRUE(only_trued_fields_differ(p, r.trued)) << k.what;
        // The profile's own rows away from the new factors stay as they were.
        for (const dsf_row& own : k.profile_table) {
            bool near_new = false, kept = false;
            for (const dsf_row& f : r.factors) {
                kept = kept || (std::fabs(f.mach - own.mach) < 1e-6 && std::fabs(f.factor - own.factor) < 1e-6);
                near_new = near_new || (std::fabs(f.mach - own.mach) < 0.05 && !kept);
            }
            EXPECT_TRUE(kept || near_new) << k.what << " Mach " << own.mach;
        }
    }
}

TEST(Truing, RefusesWithASentence)
{
    GunProfile p = rifle(2710);
    GunProfile crowded = p;  // five rows of its own, none near the holds' Mach
    set_table(crowded, {{0.4, 1.0}, {0.5, 1.0}, {0.6, 1.0}, {0.7, 1.0}, {0.8, 1.0}});
    auto at = [](double yd, double hold, hold_unit u = hold_unit::mil) {
        return truing_observation{yd, hold, u, std::nullopt};
    };
    struct Case {
        const GunProfile* profile;
        std::vector<truing_observation> obs;
        const char* says;
    } cases[] = {
        {&p, {}, "No observation"},
        {&p, {at(80, 0.1)}, "closer than 100 yd"},
        {&p, {at(15000, 400)}, "does not reach"},
        {&p, {at(800, -6.0)}, "lowers the sight"},
        {&p, {at(600, 3.0), at(600, 3.4)}, "disagree"},
        {&p, {at(1300, 30.0)}, "above 1.5"},
        {&p, {at(1300, 10.0)}, "below 0.5"},
        {&p, {at(300, 4.0), at(500, 15.0)}, "muzzle velocity"},
        {&crowded, {at(1100, 11.5), at(1300, 15.5)}, "more than the table's 6"},
        {&p, {at(NAN, 1.0)}, "not a number"},
    };
    for (const Case& k : cases) {
        truing_result r = true_profile(*k.profile, conditions_from_profile(*k.profile), k.obs);
        EXPECT_FALSE(r.ok) << k.says;
        EXPECT_NE(r.refusal.find(k.says), std::string::npos) << k.says << " / " << r.refusal;
        EXPECT_EQ(std::memcmp(&r.trued, k.profile, sizeof p), 0) << k.says;
    }
}

TEST(Truing, ReadsRangesAndHoldsWithTheirUnits)
{
    struct Case {
        const char* range;
        double yd;  // < 0: refused
        const char* hold;
        double value;  // NAN: refused
        hold_unit unit;
    } cases[] = {
        {"800", 800, "5.2mil", 5.2, hold_unit::mil},     {"800yd", 800, "17.9moa", 17.9, hold_unit::moa},
        {"730m", 798.34, "18SMOA", 18, hold_unit::smoa}, {"-5", -5, "-0.4mil", -0.4, hold_unit::mil},
        {"800 yd", -1, "40in", 40, hold_unit::inch},     {"8o0", -1, "5.2", NAN, hold_unit::mil},
        {"", -1, "5.2 mil", NAN, hold_unit::mil},        {"1e3m", 1093.61, "mil", NAN, hold_unit::mil},
    };
    for (const Case& k : cases) {
        double yd = -1, v = NAN;
        hold_unit u = hold_unit::mil;
        if (!parse_truing_range(k.range, &yd)) yd = -1;
        EXPECT_NEAR(yd, k.yd, 0.01) << k.range;
        bool read = parse_truing_hold(k.hold, &v, &u);
        EXPECT_EQ(read, !std::isnan(k.value)) << k.hold;
        if (read) EXPECT_EQ(v, k.value) << k.hold;
        if (read) EXPECT_EQ(u, k.unit) << k.hold;
    }
}

TEST(Truing, MovesEveryRowOfTheVelocityTableAlike)
{
    GunProfile truth = rifle(2650), p = rifle(2710);
    const float temps[] = {20, 59, 100}, shift[] = {-40, 0, 35};
    for (int i = 0; i < 3; ++i) {
        truth.mvt_temp[i] = p.mvt_temp[i] = temps[i];
        truth.mvt_mv[i] = 2650 + shift[i];
        p.mvt_mv[i] = 2710 + shift[i];
    }
    truing_result r = true_profile(p, conditions_from_profile(p), holds_of(truth, {300, 600, 900}));
    ASSERT_TRUE(r.ok) << r.refusal;
    EXPECT_EQ(r.trued.mv, p.mv);  // the table rules
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(r.trued.mvt_mv[i] - p.mvt_mv[i], r.mv_after_fps - 2710, 0.05);
    EXPECT_NEAR(r.mv_after_fps, 2650, 1);
    for (int i = 3; i < 6; ++i) EXPECT_EQ(r.trued.mvt_mv[i], 0.0f);
}

TEST(Truing, TakesTheMachThroughTheAirAsTheSolverGivesIt)
{
    GunProfile p = rifle(2650);
    shot_conditions c = conditions_from_profile(p);
    c.wind_mph = 20;
    c.wind_from_deg = 0;  // head wind
    truing_result r = true_profile(p, c, {{800, 5.5, hold_unit::mil, std::nullopt}});
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_DOUBLE_EQ(r.rows[0].mach_before, solve_profile(p, c, 800, 800).rows.back().mach);
}
