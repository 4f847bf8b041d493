// Truing: a profile learns from the holds the user needed at the range. The
// muzzle velocity is fitted to the holds where the bullet is still faster
// than Mach 1.2, then drop scale factors to the holds at Mach 1.2 and below.
// Only mv, the velocity table's velocities (mvt_mv) and the drop scale
// factor table (vl, dsf) change. No toolkit here; the preview window and the
// command line both call it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ballistics/solver.h"
#include "profile/gun_profile.h"

enum class hold_unit { mil, moa, smoa, inch };

// "MIL", "MOA", "SMOA", "in".
const char* hold_unit_text(hold_unit u);

struct truing_observation {
    double range_yd = 0;
    double hold = 0;  // elevation; positive: the sight was raised
    hold_unit unit = hold_unit::mil;
    std::optional<double> windage;  // same unit, positive right; reported, not fitted
};

// A hold in true MOA at `range_yd` (inches through the angle they make there)
// and back.
double hold_to_moa(double hold, hold_unit u, double range_yd);
double moa_to_hold(double moa, hold_unit u, double range_yd);

// "800", "800yd", "730m" -> yards; "5.2mil", "17.9moa", "18smoa", "40in".
// False for anything else.
bool parse_truing_range(const std::string& text, double* yd);
bool parse_truing_hold(const std::string& text, double* hold, hold_unit* unit);

struct truing_row {  // one per observation, in the order given
    double range_yd = 0;
    hold_unit unit = hold_unit::mil;  // the observation's
    double observed_moa = 0;
    double before_moa = 0, after_moa = 0;  // predicted elevation holds
    double mach_before = 0;                // air speed at the range, before truing
    bool supersonic = false;               // above Mach 1.2: used for the velocity
    std::optional<double> observed_windage_moa;
    double windage_before_moa = 0, windage_after_moa = 0;
};

struct dsf_row {
    double mach, factor;
};

struct truing_result {
    bool ok = false;
    std::string refusal;                         // when !ok: the problem as a sentence
    GunProfile trued{};                          // the profile with the trued fields (a copy of the input when !ok)
    double mv_before_fps = 0, mv_after_fps = 0;  // for the shot's temperature
    bool velocity_fitted = false, factors_fitted = false;
    std::vector<dsf_row> factors;  // the table as written, by rising Mach
    std::vector<truing_row> rows;
};

// Observations closer than this are refused.
constexpr double kMinTruingRangeYd = 100.0;
// Observations at one range whose holds differ by more than this disagree.
constexpr double kTruingAgreeMoa = 0.05;

// Trues `p` for the shots' conditions `c` (conditions_from_profile(p) when
// the shots were in the profile's own air). Always returns in a bounded
// time; every number of an ok result is finite.
truing_result true_profile(const GunProfile& p, const shot_conditions& c,
                           const std::vector<truing_observation>& observations);

// Copies the fields truing writes (mv, mvt_mv, vl, dsf) from `trued` to `p`.
void copy_trued_fields(GunProfile& p, const GunProfile& trued);

// The command line's texts: aligned lines, and JSON with mv_fps_before,
// mv_fps_after, dsf [{mach, factor}], observations [{range_yd,
// observed_moa, before_moa, after_moa}].
std::string truing_text(const truing_result& r);
std::string truing_json(const truing_result& r);
