// A profile record of any bytes and the conditions of a shot, solved: the
// solution always ends (libFuzzer's timeout catches one that does not) with
// rows of finite numbers, in order, or with a refusal that says why.
//
// Input: the 556 record bytes (a shorter input leaves the rest zero), then
// optionally a flag byte and the conditions. Flag bit 0: Coriolis on; bit 1:
// the conditions are nine raw doubles (temperature, pressure, humidity, wind,
// wind direction, latitude, azimuth, range, step), else nine 16-bit values
// scaled over plausible spans. Without the tail: the profile's own
// conditions and the default range and step.
#include <cmath>
#include <cstring>

#include "ballistics/solver.h"
#include "fuzz_support.h"
#include "profile/units.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_quiet_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    GunProfile p{};
    std::memcpy(&p, data, size < kProfileSize ? size : kProfileSize);
    shot_conditions c = conditions_from_profile(p);
    double to = default_range_yd(p, kUnitsEnglish), step = default_step_yd(kUnitsMetric);
    if (size > kProfileSize) {
        const uint8_t* tail = data + kProfileSize + 1;
        size_t left = size - kProfileSize - 1;
        uint8_t flags = data[kProfileSize];
        c.coriolis = flags & 1;
        double v[9];
        const double span[9][2] = {{-60, 160}, {15, 33}, {0, 100},  {0, 60},   {0, 360},
                                   {-90, 90},  {0, 360}, {0, 3000}, {0.5, 500}};
        size_t width = (flags & 2) ? 8 : 2;
        for (int i = 0; i < 9; ++i) {
            const double* current[] = {&c.temperature_f,
                                       &c.pressure_inhg,
                                       &c.humidity_pct,
                                       &c.wind_mph,
                                       &c.wind_from_deg,
                                       &c.latitude_deg,
                                       &c.azimuth_deg,
                                       &to,
                                       &step};
            v[i] = *current[i];
            if (left >= width * (i + 1)) {
                if (width == 8) std::memcpy(&v[i], tail + 8 * i, 8);
                else v[i] = fuzz_scaled(tail + 2 * i, span[i][0], span[i][1]);
            }
        }
        c.temperature_f = v[0], c.pressure_inhg = v[1], c.humidity_pct = v[2], c.wind_mph = v[3];
        c.wind_from_deg = v[4], c.latitude_deg = v[5], c.azimuth_deg = v[6], to = v[7], step = v[8];
    }

    solution s = solve_profile(p, c, to, step);
    if (!s.ok) {
        FUZZ_CHECK(!s.missing.empty() && s.rows.empty(), "a refusal without its reason, or with rows");
    } else {
        FUZZ_CHECK(!s.rows.empty() && s.rows.size() <= size_t(kMaxSolveRows) + 2, "%zu rows", s.rows.size());
        FUZZ_CHECK(std::isfinite(s.zero_angle_moa) && std::isfinite(s.mv_fps), "a non-finite zero or velocity");
        FUZZ_CHECK(!s.stability || std::isfinite(*s.stability), "a non-finite stability");
        double last = -1;
        for (const solution_row& r : s.rows) {
            const double nums[] = {r.range_yd, r.drop_in,      r.windage_in, r.spin_drift_in,  r.velocity_fps,
                                   r.mach,     r.energy_ftlbf, r.time_s,     r.elevation_hold, r.windage_hold};
            for (double n : nums) FUZZ_CHECK(std::isfinite(n), "a non-finite number in the row at %g yd", r.range_yd);
            FUZZ_CHECK(r.range_yd > last && r.time_s >= 0, "rows out of order at %g yd", r.range_yd);
            last = r.range_yd;
        }
        FUZZ_CHECK(s.end_range_yd.has_value() != s.end_note.empty(), "an end without its note");
    }
    for (int units : {kUnitsMixed, kUnitsEnglish, kUnitsMetric}) solver_assumptions(p, c, units);
    table_json(s);
    table_csv(s);
    table_text(s);
    return 0;
}
