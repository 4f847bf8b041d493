// Pieces of the solver that its texts (the assumptions) share; not for
// callers outside src/ballistics/.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "ballistics/drag_tables.h"
#include "profile/gun_profile.h"

struct air_state {
    double density_ratio;  // to 0.076474 lb/ft^3 (59 F, 29.92 inHg, dry)
    double sound_fps;
};

// Moist air from the temperature, station pressure and relative humidity.
air_state air_at(double temperature_f, double pressure_inhg, double humidity_pct);

// The custom curve's points in order without the trailing (0, 0) points,
// each point kept only when its Mach is above the last one kept.
std::vector<drag_point> usable_curve(const GunProfile& p);

// The drop scale factor points with a Mach above 0, by rising Mach (Mach in
// `mach`, factor in `cd`).
std::vector<drag_point> scale_factor_points(const GunProfile& p);

// Rows of the muzzle-velocity table with a velocity above 0, and the
// velocity at a temperature (mv unless two or more rows).
int velocity_table_rows(const GunProfile& p);
double muzzle_velocity_at(const GunProfile& p, double temperature_f);

// Miller's gyroscopic stability; none without twist, diameter, length or weight.
std::optional<double> miller_stability(const GunProfile& p, double mv_fps, double temperature_f, double pressure_inhg);

// "MIL" ... "CLICKS"; an output code outside 1..4 reads as MIL.
const char* output_unit_text(int32_t code);
// One unit of the hold in radians (before the scope scale factor); for
// shooter's MOA the small-angle size, 1 in per 100 yd.
double hold_unit_rad(int32_t output_code, int32_t click_code, int32_t clicks_per_unit);
// The hold (before the scope scale factor) that moves the point of impact by
// `offset_in` at `range_in` (> 0), and back. MIL and true MOA, as such or as
// clicks, are angles: atan(offset / range) in that unit. Shooter's MOA is
// inches per 100 yd, no angle.
double hold_for_offset(double offset_in, double range_in, int32_t output_code, int32_t click_code,
                       int32_t clicks_per_unit);
double offset_for_hold(double hold, double range_in, int32_t output_code, int32_t click_code, int32_t clicks_per_unit);
