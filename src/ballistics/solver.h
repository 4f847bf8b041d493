// The trajectory a gun profile describes: a point-mass solution in the
// standard drag models G1 and G7 or the profile's own drag curve, with the
// drop scale factors, the muzzle-velocity table, the zero, wind, spin drift
// and (optionally) Coriolis, and the corrections in the profile's output
// units. Also the plain texts the command line prints (JSON, CSV, a table).
// No toolkit here; the preview window and the command line both call it.
//
// Units throughout: yards for ranges, inches for drop and windage, ft/s,
// deg F, inHg, percent, mph, degrees, seconds, ft-lbf.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "profile/gun_profile.h"

// The conditions of the shot. The zero is always computed in the profile's
// own atmosphere with no wind; these rule the rows.
struct shot_conditions {
    double temperature_f = 59.0;
    double pressure_inhg = 29.92;  // station pressure at the rifle
    double humidity_pct = 0.0;
    double wind_mph = 0.0;
    // Where the wind comes from, degrees clockwise: 0 from the target, 90
    // from the right, 180 from behind, 270 from the left.
    double wind_from_deg = 0.0;
    bool coriolis = false;      // off unless latitude and azimuth are given
    double latitude_deg = 0.0;  // north positive
    double azimuth_deg = 0.0;   // direction of fire, degrees clockwise from north
};

// The profile's atmosphere (temp, pres, hum), no wind, no Coriolis. The
// profile's wind and direction fields are not read (the device keeps them).
shot_conditions conditions_from_profile(const GunProfile& p);

struct solution_row {
    double range_yd = 0;
    double drop_in = 0;        // relative to the line of sight, negative below
    double windage_in = 0;     // positive right; wind, spin drift, zero offset, Coriolis
    double spin_drift_in = 0;  // the share of windage_in that is spin drift
    double velocity_fps = 0;
    double mach = 0;  // speed through the air (wind included) over the speed of sound
    double energy_ftlbf = 0;
    double time_s = 0;
    // Corrections in the profile's output units, divided by the scope scale
    // factors: elevation positive dials up, windage positive dials right.
    // MIL and TMOA (and clicks of them) are the angle to the point of impact,
    // atan(offset / range); SMOA is inches per 100 yd. 0 at range 0.
    double elevation_hold = 0;
    double windage_hold = 0;
    bool zero = false;       // the zero range's row
    bool transonic = false;  // first row below Mach 1.2 (of `mach`)
    bool subsonic = false;   // first row below Mach 1.0
};

struct solution {
    bool ok = false;
    // When !ok: which value is missing or unusable, as a sentence for the
    // user ("The ballistic coefficient is 0.").
    std::string missing;
    double zero_angle_moa = 0;        // bore elevation above the line of sight, true MOA
    double zero_windage_moa = 0;      // bore angle to the right of it (zero offset), true MOA
    std::optional<double> stability;  // Miller's Sg; none without twist, diameter, length or weight
    double mv_fps = 0;                // muzzle velocity used for the shot
    double zero_mv_fps = 0;           // and for the zero (profile temperature)
    std::vector<solution_row> rows;   // 0, step, 2 step ... to; also the zero range and `to`
    // Where the path crosses the line of sight (going up, then coming down),
    // and where it goes below Mach 1.2 and 1.0; none when it does not.
    std::vector<double> zero_crossings_yd;
    std::optional<double> transonic_yd, subsonic_yd;
    // Set when the rows end before `to`: where the bullet's speed downrange
    // fell below 100 ft/s, or where the calculation stopped (a flight over
    // 120 s, or numbers out of range), with the sentence that says so.
    std::optional<double> end_range_yd;
    std::string end_note;
    const char* elevation_unit = "MIL";  // "MIL", "TMOA", "SMOA", "CLICKS"
    const char* windage_unit = "MIL";
};

// Largest range and row count solve_profile accepts.
constexpr double kMaxSolveRangeYd = 20000.0;
constexpr int kMaxSolveRows = 20001;

// Rows from 0 to `to_yd` every `step_yd` (decimals allowed), plus a row at
// the zero range and at `to_yd` when they fall between steps. ok=false (with
// `missing`) for a coefficient or velocity of 0, a bullet weight, diameter,
// length or velocity-table velocity below 0, fewer than two usable
// custom-curve points or two coefficients at one Mach (the points count by
// rising Mach in any order; all-zero points are empty slots), a zero that
// cannot be reached, a non-finite or unusable input, or a range/step
// outside 0 < step, 0 <= to <= kMaxSolveRangeYd, at most kMaxSolveRows rows. Always ends in a bounded
// number of steps; every number of every row is finite.
solution solve_profile(const GunProfile& p, const shot_conditions& c, double to_yd, double step_yd);

// Defaults of the table for the user's unit system (kUnitsMixed ...): the
// step is 100 yd, or 100 m where ranges show in meters (Mixed, Metric); the
// range is the profile's maxr but at least 1,000 yd, rounded up to a whole
// step in meters.
double default_step_yd(int units);
double default_range_yd(const GunProfile& p, int units);

// Whether the shot's muzzle velocity comes from the velocity table (two or
// more rows with a velocity) rather than the profile's mv, and the sentence
// of the assumptions that says which, with the velocity at c's temperature.
bool velocity_table_in_use(const GunProfile& p);
std::string muzzle_velocity_assumption(const GunProfile& p, const shot_conditions& c, int units);

// What the solution assumes, one sentence each, to show beside it; values in
// the user's unit system.
std::vector<std::string> solver_assumptions(const GunProfile& p, const shot_conditions& c, int units);

// Texts for the command line (yards, inches, ft/s). A solution that is not
// ok gives its `missing` sentence: as {"error": "..."} in JSON, as the only
// line of the others.
// JSON: {"zero_angle_moa", "stability" (null without), "mv_fps",
// "elevation_unit", "windage_unit", "rows": [{"range_yd", "drop_in",
// "windage_in", "velocity_fps", "mach", "energy_ftlbf", "time_s",
// "elevation", "windage", "elevation_unit", "windage_unit"}...]}.
std::string table_json(const solution& s);
// `s` as a JSON string, quotes and control characters escaped.
std::string json_text(const std::string& s);
// A header line, then one line per row, the same members as the JSON rows.
std::string table_csv(const solution& s);
// Aligned columns for reading, with the marks and the end note.
std::string table_text(const solution& s);
