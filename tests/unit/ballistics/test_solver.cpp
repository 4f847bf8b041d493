#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <tuple>

#include "ballistics/solver.h"
#include "ballistics/solver_internal.h"
#include "profile/units.h"

namespace {

constexpr double kTrueMoaIn = 1.0472;  // inches at 100 yd

GunProfile base_profile(int dc, float bc, float bw, float mv, float shi, float zr, float hum)
{
    GunProfile p{};
    p.dc = dc;
    p.bc = bc;
    p.bw = bw;
    p.mv = mv;
    p.shi = shi;
    p.zr = zr;
    p.temp = 59;
    p.pres = 29.92f;
    p.hum = hum;
    p.ssfV = p.ssfH = 1;
    p.eu = p.wu = 2;
    p.ce = p.cw = p.cve = p.cvw = 1;
    p.maxr = 1000;
    return p;
}

// The two published cases of the shared ballistics notes.
GunProfile case1() { return base_profile(1, 0.465f, 65, 3200, 3.2f, 300, 78); }
GunProfile case2()
{
    GunProfile p = base_profile(0, 0.5f, 220, 3006.6f, 1.5f, 100, 78);
    p.bd = 0.308f;
    p.bl = 1.5f;
    p.bt = 12;
    return p;
}

solution solve(const GunProfile& p, double to = 1000, double step = 100)
{
    return solve_profile(p, conditions_from_profile(p), to, step);
}

const solution_row* row_at(const solution& s, double yd)
{
    for (const solution_row& r : s.rows)
        if (std::fabs(r.range_yd - yd) < 1e-6) return &r;
    return nullptr;
}

}  // namespace

TEST(Solver, MatchesThePublishedTrajectories)
{
    struct ref {
        int which;
        double yd, drop_in, fps, tof_s, drift_in;  // drift: NAN where not published
    };
    const double none = std::nan("");
    const ref refs[] = {
        {1, 100, 1.6, 3093.7, 0.095, none},    {1, 200, 2.7, 2988.9, 0.194, none},
        {1, 300, 0.0, 2885.6, 0.296, none},    {1, 500, -18.3, 2684.4, 0.512, none},
        {1, 800, -83.0, 2396.8, 0.867, none},  {1, 1000, -155.7, 2215.3, 1.127, none},
        {2, 100, 0.0, 2813.8, 0.103, 0.05},    {2, 300, -10.8, 2452.0, 0.332, 0.4},
        {2, 500, -45.0, 2118.1, 0.595, 1.2},   {2, 800, -158.2, 1671.0, 1.074, 3.5},
        {2, 1000, -293.6, 1417.8, 1.464, 6.2},
    };
    solution s1 = solve(case1()), s2 = solve(case2());
    ASSERT_TRUE(s1.ok && s2.ok) << s1.missing << s2.missing;
    for (const ref& r : refs) {
        SCOPED_TRACE("case " + std::to_string(r.which) + " at " + std::to_string(r.yd) + " yd");
        const solution_row* row = row_at(r.which == 1 ? s1 : s2, r.yd);
        ASSERT_NE(row, nullptr);
        double moa_in = kTrueMoaIn * r.yd / 100;
        EXPECT_NEAR(row->drop_in, r.drop_in, 0.1 * moa_in);
        EXPECT_NEAR(row->velocity_fps, r.fps, 0.0015 * r.fps);
        EXPECT_NEAR(row->time_s, r.tof_s, 0.005);
        if (!std::isnan(r.drift_in)) {
            EXPECT_NEAR(row->windage_in, r.drift_in, 0.1 * moa_in);
            EXPECT_DOUBLE_EQ(row->windage_in, row->spin_drift_in);  // no wind, no offset
        }
    }
    ASSERT_TRUE(s2.stability);
    EXPECT_NEAR(*s2.stability, 1.27, 0.005);
    EXPECT_TRUE(row_at(s1, 300)->zero && row_at(s2, 100)->zero);
}

TEST(Solver, ZeroAnglesAndStabilityMatchThePublishedFigures)
{
    GunProfile g1 = base_profile(0, 0.365f, 0, 2600, 3.2f, 100, 0);
    GunProfile g7 = base_profile(1, 0.223f, 0, 2750, 2.0f, 100, 0);
    const double rad_to_moa = 10800 / 3.14159265358979;
    EXPECT_NEAR(solve(g1).zero_angle_moa, 0.0016514 * rad_to_moa, 0.01);
    EXPECT_NEAR(solve(g7).zero_angle_moa, 0.0012286 * rad_to_moa, 0.01);
    GunProfile m = base_profile(0, 0.5f, 220, 2600, 1.5f, 100, 0);
    m.bd = 0.308f;
    m.bl = 1.630f;
    m.bt = 7;
    EXPECT_NEAR(*solve(m).stability, 2.78, 0.005);
}

// Each field's effect, as an equivalence with a profile that says the same
// another way, or as the relation the field must produce.
TEST(Solver, EachProfileFieldActsAsDocumented)
{
    struct effect {
        const char* name;
        std::function<void(GunProfile&)> edit;
        std::function<void(const solution& base, const solution& edited)> check;
    };
    auto same_path_as = [](std::function<void(GunProfile&)> other) {
        return [other](const solution&, const solution& edited) {
            GunProfile q = case1();
            other(q);
            solution o = solve(q);
            for (double yd : {500.0, 1000.0})
                EXPECT_NEAR(row_at(edited, yd)->drop_in, row_at(o, yd)->drop_in, 0.02) << yd;
        };
    };
    // G7 points from Mach 1.8 to 3.0: the whole of case 1's flight.
    const double g7_part[][2] = {{1.8, 0.3117},  {1.85, 0.3078}, {1.9, 0.3042},  {1.95, 0.3010}, {2, 0.2980},
                                 {2.05, 0.2951}, {2.1, 0.2922},  {2.15, 0.2892}, {2.2, 0.2864},  {2.25, 0.2835},
                                 {2.3, 0.2807},  {2.35, 0.2779}, {2.4, 0.2752},  {2.45, 0.2725}, {2.5, 0.2697},
                                 {2.55, 0.2670}, {2.6, 0.2643},  {2.65, 0.2615}, {2.7, 0.2588},  {2.75, 0.2561},
                                 {2.8, 0.2533},  {2.85, 0.2506}, {2.9, 0.2479},  {2.95, 0.2451}, {3, 0.2424}};
    const effect effects[] = {
        {"one drop scale factor scales the drag at every Mach", [](GunProfile& p) { p.vl[2] = 2.0f, p.dsf[2] = 1.25f; },
         same_path_as([](GunProfile& q) { q.bc = 0.465f / 1.25f; })},
        {"two factors are linear in Mach, in any order: a constant curve so scaled is the linear curve",
         [](GunProfile& p) {
             p.dc = 10, p.bd = 0.224f, p.cc[0] = {0, 0.3f}, p.cc[1] = {5, 0.3f};
             p.vl[0] = 3.0f, p.dsf[0] = 1.2f, p.vl[4] = 1.0f, p.dsf[4] = 1.0f;
         },
         same_path_as([](GunProfile& q) {
             q.dc = 10, q.bd = 0.224f, q.cc[0] = {1, 0.3f}, q.cc[1] = {3, 0.36f};
         })},
        {"a custom curve uses the sectional density from weight and diameter, not bc",
         [&](GunProfile& p) {
             p.dc = 10, p.bc = 1.0f, p.bd = 0.224f, p.bw = 163.3f;  // sectional density 0.465
             for (int i = 0; i < 25; ++i) p.cc[i] = {float(g7_part[i][0]), float(g7_part[i][1])};
         },
         same_path_as([](GunProfile& q) { q.bc = float(163.3f / 7000.0 / (double(0.224f) * 0.224f)); })},
        {"a custom curve's points count in any order, with empty slots and repeats among them",
         [&](GunProfile& p) {
             p.dc = 10, p.bd = 0.224f, p.bw = 163.3f;
             for (int i = 0; i < 25; ++i) p.cc[(i * 9 + 3) % 32] = {float(g7_part[i][0]), float(g7_part[i][1])};
             p.cc[4] = p.cc[3];  // a slot left empty above, now a second copy of a point
         },
         [&](const solution&, const solution& e) {
             GunProfile q = case1();
             q.dc = 10, q.bd = 0.224f, q.bw = 163.3f;
             for (int i = 0; i < 25; ++i) q.cc[i] = {float(g7_part[i][0]), float(g7_part[i][1])};
             EXPECT_DOUBLE_EQ(row_at(e, 1000)->drop_in, row_at(solve(q), 1000)->drop_in);
         }},
        {"the velocity table is linear in temperature, held at its ends",
         [](GunProfile& p) { p.mvt_temp[1] = 40, p.mvt_mv[1] = 2900, p.mvt_temp[3] = 80, p.mvt_mv[3] = 3100; },
         [](const solution&, const solution& e) {
             EXPECT_NEAR(e.mv_fps, 2995, 1e-3);
             GunProfile p = case1();
             p.mvt_temp[1] = 40, p.mvt_mv[1] = 2900, p.mvt_temp[3] = 80, p.mvt_mv[3] = 3100;
             shot_conditions c = conditions_from_profile(p);
             c.temperature_f = 120;
             EXPECT_NEAR(solve_profile(p, c, 100, 100).mv_fps, 3100, 1e-3);
         }},
        {"a single velocity row leaves mv", [](GunProfile& p) { p.mvt_temp[0] = 0, p.mvt_mv[0] = 2000; },
         [](const solution&, const solution& e) { EXPECT_EQ(e.mv_fps, 3200); }},
        {"zero height and offset put the bullet there at the zero range", [](GunProfile& p) { p.zh = 2, p.zo = -1.5f; },
         [](const solution&, const solution& e) {
             EXPECT_NEAR(row_at(e, 300)->drop_in, 2, 1e-4);
             EXPECT_NEAR(row_at(e, 300)->windage_in, -1.5, 1e-4);
             EXPECT_NEAR(row_at(e, 300)->windage_hold, 1.5 / (3 * kTrueMoaIn), 1e-3);  // dial right
         }},
        {"scope factors divide the holds", [](GunProfile& p) { p.ssfV = 2, p.ssfH = 0.5f, p.zo = 3; },
         [](const solution& b, const solution& e) {
             EXPECT_NEAR(row_at(e, 1000)->elevation_hold, row_at(b, 1000)->elevation_hold / 2, 1e-5);
             EXPECT_NEAR(row_at(e, 300)->windage_hold, -3 / (3 * kTrueMoaIn) / 0.5, 1e-3);
         }},
        {"clicks are the click unit times the clicks per unit; SMOA is 1 in at 100 yd",
         [](GunProfile& p) { p.eu = 4, p.ce = 1, p.cve = 10, p.wu = 3; },
         [](const solution& b, const solution& e) {
             EXPECT_STREQ(e.elevation_unit, "CLICKS");
             EXPECT_NEAR(row_at(e, 800)->elevation_hold, row_at(b, 800)->elevation_hold * 10 * 0.29088821, 1e-6);
             EXPECT_NEAR(row_at(e, 500)->windage_hold, row_at(b, 500)->windage_hold * 1.04719755, 1e-9);
         }},
        {"a left twist drifts left", [](GunProfile& p) { p.bd = 0.224f, p.bl = 0.9f, p.bt = -8; },
         [](const solution&, const solution& e) {
             EXPECT_LT(row_at(e, 1000)->windage_in, -1);
             EXPECT_GT(row_at(e, 1000)->windage_hold, 0);
         }},
    };
    solution base = solve(case1());
    for (const effect& fx : effects) {
        SCOPED_TRACE(fx.name);
        GunProfile p = case1();
        fx.edit(p);
        solution s = solve(p);
        ASSERT_TRUE(s.ok) << s.missing;
        fx.check(base, s);
    }
}

// A hold is the angle to the point of impact; shooter's MOA is inches per
// 100 yd. At 2,000 yd the angle is 0.014 MIL short of the small-angle figure
// for this .308.
TEST(Solver, HoldsAreAnglesExceptShootersMoa)
{
    const double pi = 3.14159265358979323846;
    const struct {
        int32_t unit, click, per;
        bool angle;
        double per_rad;  // units of the hold in a radian (or per unit of drop over range)
    } units[] = {{1, 1, 1, true, 1000},   {2, 1, 1, true, 10800 / pi},     {3, 1, 1, false, 3600},
                 {4, 1, 10, true, 10000}, {4, 2, 4, true, 4 * 10800 / pi}, {4, 3, 2, false, 7200}};
    for (const auto& u : units) {
        GunProfile p = case2();
        p.eu = p.wu = u.unit, p.ce = p.cw = u.click, p.cve = p.cvw = u.per;
        shot_conditions c = conditions_from_profile(p);
        c.wind_mph = 20, c.wind_from_deg = 270;
        solution s = solve_profile(p, c, 2000, 500);
        ASSERT_TRUE(s.ok) << s.missing;
        const solution_row& r = *row_at(s, 2000);
        SCOPED_TRACE(std::to_string(u.unit) + " " + std::to_string(u.click));
        for (auto [hold, offset] : {std::pair{r.elevation_hold, -r.drop_in}, {r.windage_hold, -r.windage_in}}) {
            double x = offset / (2000 * 36);
            EXPECT_NEAR(hold, (u.angle ? std::atan(x) : x) * u.per_rad, 1e-9);
            EXPECT_NEAR(offset_for_hold(hold, 2000 * 36, u.unit, u.click, u.per), offset, 1e-6);
        }
    }
}

TEST(Solver, WindAndEarthRotationPushTheRightWay)
{
    struct wind_case {
        double mph, from_deg;
        bool coriolis;
        double lat, az;
        int windage_sign;    // at 1000 yd
        double drop_change;  // sign of the change in drop against still air
        int mach_change;     // sign of Mach against the ground speed's: a head wind adds to the air speed
    };
    const wind_case cases[] = {
        {10, 90, false, 0, 0, -1, 0, 0},   {10, 270, false, 0, 0, +1, 0, 0}, {10, 0, false, 0, 0, 0, -1, +1},
        {10, 180, false, 0, 0, 0, +1, -1}, {0, 0, true, 45, 90, +1, +1, 0},  {0, 0, true, -45, 270, -1, -1, 0},
    };
    const double sound = 49.0223 * std::sqrt(59 + 459.67);
    GunProfile p = case1();
    solution still = solve(p);
    for (const wind_case& w : cases) {
        shot_conditions c = conditions_from_profile(p);
        c.wind_mph = w.mph, c.wind_from_deg = w.from_deg, c.coriolis = w.coriolis, c.latitude_deg = w.lat,
        c.azimuth_deg = w.az;
        solution s = solve_profile(p, c, 1000, 100);
        SCOPED_TRACE(std::to_string(w.mph) + " mph from " + std::to_string(w.from_deg));
        double windage = row_at(s, 1000)->windage_in, drop = row_at(s, 1000)->drop_in - row_at(still, 1000)->drop_in;
        EXPECT_EQ((windage > 0.3) - (windage < -0.3), w.windage_sign) << windage;
        EXPECT_EQ((drop > 0.05) - (drop < -0.05), w.drop_change) << drop;
        double air_minus_ground = row_at(s, 1000)->mach * sound - row_at(s, 1000)->velocity_fps;
        EXPECT_NEAR(air_minus_ground, w.mach_change * w.mph * 5280 / 3600, 0.2);
    }
}

TEST(Solver, RefusesWhatItCannotSolveAndNamesTheValue)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct refusal {
        std::function<void(GunProfile&, shot_conditions&, double& to, double& step)> edit;
        const char* names;
    };
    const refusal refusals[] = {
        {[](GunProfile& p, shot_conditions&, double&, double&) { p.bc = 0; }, "ballistic coefficient"},
        {[](GunProfile& p, shot_conditions&, double&, double&) { p.mv = 0; }, "muzzle velocity"},
        {[](GunProfile& p, shot_conditions&, double&, double&) {
             p.dc = 10, p.bd = 0.3f, p.cc[0] = {1, 0.3f};
         },
         "custom drag curve"},
        {[](GunProfile& p, shot_conditions&, double&, double&) {
             p.dc = 10, p.cc[0] = {1, 0.3f}, p.cc[1] = {2, 0.3f};
         },
         "bullet diameter"},
        {[&](GunProfile& p, shot_conditions&, double&, double&) { p.cc[3].cd = float(nan), p.dc = 5, p.bd = 0.224f; },
         "point 4"},
        {[&](GunProfile&, shot_conditions& c, double&, double&) { c.temperature_f = nan; }, "temperature"},
        {[&](GunProfile& p, shot_conditions&, double&, double&) { p.mvt_mv[2] = float(nan); }, "velocity table"},
        {[](GunProfile& p, shot_conditions&, double&, double&) { p.mvt_temp[1] = 20, p.mvt_mv[1] = -2600; },
         "velocity of row 2 of the velocity table is below 0"},
        {[](GunProfile& p, shot_conditions&, double&, double&) { p.bw = -65; }, "bullet weight (bw) is below 0"},
        {[](GunProfile& p, shot_conditions&, double&, double&) {
             p.dc = 10, p.bd = 0.224f, p.cc[0] = {1, 0.3f}, p.cc[1] = {2, 0.3f}, p.cc[5] = {1, 0.4f};
         },
         "custom drag curve (cc) has two drag coefficients at Mach 1 (points 1 and 6)"},
        {[](GunProfile& p, shot_conditions&, double&, double&) { p.ssfV = 0; }, "ssfV"},
        {[](GunProfile& p, shot_conditions&, double&, double&) { p.zr = 20000; }, "zero range"},
        {[](GunProfile& p, shot_conditions&, double&, double&) { p.zh = 1e7f; }, "zero height"},
        {[](GunProfile&, shot_conditions&, double&, double& step) { step = 0.01; }, "step"},
        {[](GunProfile&, shot_conditions&, double& to, double&) { to = -1; }, "range"},
    };
    for (const refusal& r : refusals) {
        GunProfile p = case1();
        shot_conditions c = conditions_from_profile(p);
        double to = 1000, step = 100;
        r.edit(p, c, to, step);
        solution s = solve_profile(p, c, to, step);
        EXPECT_FALSE(s.ok) << r.names;
        EXPECT_NE(s.missing.find(r.names), std::string::npos) << s.missing;
        EXPECT_TRUE(s.rows.empty());
    }
}

TEST(Solver, RowsMarkTheZeroTheSoundBarrierAndTheEnd)
{
    GunProfile p = case2();
    p.zr = 109.1f;  // 100 m: between two steps, so it gets a row of its own
    solution s = solve(p, 2500, 100);
    ASSERT_TRUE(s.ok);
    int zero = 0, transonic = 0, subsonic = 0;
    for (const solution_row& r : s.rows) zero += r.zero, transonic += r.transonic, subsonic += r.subsonic;
    EXPECT_EQ(zero + transonic + subsonic, 3);
    EXPECT_TRUE(row_at(s, 109.1)->zero);  // the typed decimal, not the float
    ASSERT_TRUE(s.transonic_yd && s.subsonic_yd);
    EXPECT_TRUE(row_at(s, std::ceil(*s.transonic_yd / 100) * 100)->transonic);
    EXPECT_TRUE(row_at(s, std::ceil(*s.subsonic_yd / 100) * 100)->subsonic);
    ASSERT_EQ(s.zero_crossings_yd.size(), 2u);
    EXPECT_NEAR(s.zero_crossings_yd[1], 109.1, 0.01);
    EXPECT_DOUBLE_EQ(s.rows.back().range_yd, 2500);
    EXPECT_TRUE(s.end_note.empty());
    // In a wind the marks still fall where the Mach column crosses 1.2 and 1.0.
    for (double from_deg : {0.0, 180.0}) {
        shot_conditions c = conditions_from_profile(p);
        c.wind_mph = 30, c.wind_from_deg = from_deg;
        solution w = solve_profile(p, c, 2500, 25);
        ASSERT_TRUE(w.transonic_yd && w.subsonic_yd);
        for (size_t i = 1; i < w.rows.size(); ++i) {
            const solution_row &a = w.rows[i - 1], &b = w.rows[i];
            for (auto [mark, level, at] :
                 {std::tuple{b.transonic, 1.2, *w.transonic_yd}, {b.subsonic, 1.0, *w.subsonic_yd}}) {
                EXPECT_EQ(mark, a.mach >= level && b.mach < level) << b.range_yd;
                if (mark) {
                    EXPECT_TRUE(at > a.range_yd && at <= b.range_yd) << at;
                }
            }
        }
    }

    GunProfile slow = base_profile(0, 0.05f, 40, 600, 1.5f, 25, 0);
    solution e = solve(slow, 5000, 50);
    ASSERT_TRUE(e.ok) << e.missing;
    ASSERT_TRUE(e.end_range_yd);
    EXPECT_LT(e.rows.back().range_yd, *e.end_range_yd);
    EXPECT_GT(e.rows.back().velocity_fps, 100);
    EXPECT_NE(e.end_note.find("below 100 ft/s"), std::string::npos);
}

TEST(Solver, DefaultsAndCommandLineTexts)
{
    GunProfile p = case2();
    const struct {
        float maxr;
        int units;
        double range_yd, step_yd;
    } defaults[] = {{500, kUnitsEnglish, 1000, 100},
                    {1500, kUnitsEnglish, 1500, 100},
                    {1000, kUnitsMetric, 1093.61, 109.361},
                    {1000, kUnitsMixed, 1093.61, 109.361},
                    {1094, kUnitsMetric, 1093.61, 109.361}};
    for (const auto& d : defaults) {
        p.maxr = d.maxr;
        EXPECT_NEAR(default_range_yd(p, d.units), d.range_yd, 1e-6);
        EXPECT_NEAR(default_step_yd(d.units), d.step_yd, 1e-9);
    }
    solution s = solve(p, 200, 100);
    std::string json = table_json(s);
    for (const char* member :
         {"\"zero_angle_moa\": ", "\"stability\": 1.26", "\"mv_fps\": 3006.6", "\"rows\": [", "\"range_yd\": 200",
          "\"drop_in\": ", "\"windage_in\": ", "\"velocity_fps\": ", "\"mach\": ", "\"energy_ftlbf\": ", "\"time_s\": ",
          "\"elevation\": ", "\"windage\": ", "\"elevation_unit\": \"TMOA\"", "\"windage_unit\": \"TMOA\""})
        EXPECT_NE(json.find(member), std::string::npos) << member;
    p.bt = 0;
    EXPECT_NE(table_json(solve(p, 200, 100)).find("\"stability\": null"), std::string::npos);
    std::string csv = table_csv(s);
    EXPECT_EQ(csv.substr(0, csv.find('\n')),
              "range_yd,drop_in,windage_in,velocity_fps,mach,energy_ftlbf,time_s,elevation,windage,elevation_unit,"
              "windage_unit");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);
    EXPECT_NE(table_text(s).find("zero"), std::string::npos);
    p.bc = 0;
    EXPECT_EQ(table_json(solve(p)), "{\"error\": \"The ballistic coefficient (bc) is 0.\"}\n");
    EXPECT_EQ(solver_assumptions(case1(), conditions_from_profile(case1()), kUnitsEnglish).size(), 10u);
    // The zero's air in the unit system's own units.
    for (auto [units, air] :
         {std::pair{kUnitsEnglish, "\u00b0F, 29.92 inHg, "}, {kUnitsMetric, "\u00b0C, 1013 hPa, "}}) {
        std::string zeroed = solver_assumptions(case1(), conditions_from_profile(case1()), units)[1];
        EXPECT_NE(zeroed.find(air), std::string::npos) << zeroed;
    }
}
