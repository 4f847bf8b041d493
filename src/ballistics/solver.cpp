#include "ballistics/solver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "ballistics/drag_tables.h"
#include "ballistics/solver_internal.h"
#include "base/numbers.h"
#include "profile/units.h"

double drag_at(const drag_point* points, int n, double mach)
{
    if (!(mach > points[0].mach)) return points[0].cd;  // NaN too: never an index outside
    if (mach >= points[n - 1].mach) return points[n - 1].cd;
    const drag_point* hi =
        std::upper_bound(points, points + n, mach, [](double m, const drag_point& p) { return m < p.mach; });
    const drag_point* lo = hi - 1;
    return lo->cd + (hi->cd - lo->cd) * (mach - lo->mach) / (hi->mach - lo->mach);
}

namespace {

constexpr double kGravity = 32.174;           // ft/s^2
constexpr double kDragConstant = 2.08551e-4;  // (pi/8) * (rho0/144), rho0 = 0.076474 lb/ft^3
constexpr double kEarthRate = 7.292115e-5;    // rad/s
constexpr double kStopFps = 100.0;
constexpr double kMaxFlightS = 120.0;
// Integration steps one solution may take in all (the zero's flights and the
// shot's): a 2,000-yd table takes a few thousand.
constexpr long kStepBudget = 400000;
constexpr double kMaxZeroAngle = 0.7853981633974483;  // 45 degrees
constexpr double kPi = 3.14159265358979323846;
constexpr double kMphToFps = 5280.0 / 3600.0;

struct vec3 {
    double x, y, z;  // downrange, up, right
};
vec3 operator+(vec3 a, vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
vec3 operator-(vec3 a, vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
vec3 operator*(double k, vec3 a) { return {k * a.x, k * a.y, k * a.z}; }
double length(vec3 a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }
// The Mach number of a velocity in a wind, without overflowing on the way
// (the row at the muzzle is read before any step, whatever the wind).
double mach_in(vec3 vel, vec3 wind, double sound_fps)
{
    vec3 air = vel - wind;
    return std::hypot(air.x, air.y, air.z) / sound_fps;
}

// Everything one flight needs.
struct flight {
    const drag_point* curve;
    int curve_n;
    std::vector<drag_point> dsf;  // scale factor against Mach; empty: 1
    double bc;                    // lb/in^2 (sectional density for a custom curve)
    air_state air;
    vec3 wind;   // air velocity, ft/s
    vec3 earth;  // Earth's rotation in the shot's frame, rad/s; zero when off
};

double drag_coefficient(const flight& f, double mach)
{
    double cd = drag_at(f.curve, f.curve_n, mach);
    if (!f.dsf.empty()) cd *= drag_at(f.dsf.data(), static_cast<int>(f.dsf.size()), mach);
    return cd;
}

struct state {
    vec3 pos, vel;
    double t;
};

vec3 acceleration(const flight& f, vec3 vel)
{
    vec3 air_vel = vel - f.wind;
    double speed = length(air_vel);
    double k = f.air.density_ratio * drag_coefficient(f, speed / f.air.sound_fps) * kDragConstant / f.bc * speed;
    vec3 a = (-k) * air_vel;
    a.y -= kGravity;
    // -2 omega x v
    const vec3& w = f.earth;
    a = a + (-2.0) * vec3{w.y * vel.z - w.z * vel.y, w.z * vel.x - w.x * vel.z, w.x * vel.y - w.y * vel.x};
    return a;
}

// Drag deceleration per unit of air speed, 1/s: bounds the step.
double drag_rate(const flight& f, vec3 vel)
{
    double speed = length(vel - f.wind);
    return f.air.density_ratio * drag_coefficient(f, speed / f.air.sound_fps) * kDragConstant / f.bc * speed;
}

state rk4(const flight& f, const state& s, double dt)
{
    vec3 k1v = acceleration(f, s.vel), k1x = s.vel;
    vec3 v2 = s.vel + (0.5 * dt) * k1v;
    vec3 k2v = acceleration(f, v2), k2x = v2;
    vec3 v3 = s.vel + (0.5 * dt) * k2v;
    vec3 k3v = acceleration(f, v3), k3x = v3;
    vec3 v4 = s.vel + dt * k3v;
    vec3 k4v = acceleration(f, v4), k4x = v4;
    state n;
    n.pos = s.pos + (dt / 6.0) * (k1x + 2.0 * k2x + 2.0 * k3x + k4x);
    n.vel = s.vel + (dt / 6.0) * (k1v + 2.0 * k2v + 2.0 * k3v + k4v);
    n.t = s.t + dt;
    return n;
}

// The state between a and b at time fraction u: positions cubic (Hermite,
// from the velocities at both ends), velocities linear.
state between(const state& a, const state& b, double u)
{
    double dt = b.t - a.t;
    double h00 = (1 + 2 * u) * (1 - u) * (1 - u), h10 = u * (1 - u) * (1 - u);
    double h01 = u * u * (3 - 2 * u), h11 = u * u * (u - 1);
    state s;
    s.pos = h00 * a.pos + (h10 * dt) * a.vel + h01 * b.pos + (h11 * dt) * b.vel;
    s.vel = a.vel + u * (b.vel - a.vel);
    s.t = a.t + u * dt;
    return s;
}

enum class flight_end { reached, slow, too_long };

struct flight_log {
    std::vector<state> samples;  // one per target reached, in order
    flight_end end = flight_end::reached;
    double end_x = 0;  // ft, where it ended early
    std::vector<double> crossings_x;
    double transonic_x = -1, subsonic_x = -1;
};

bool finite(const state& s)
{
    return std::isfinite(s.pos.x) && std::isfinite(s.pos.y) && std::isfinite(s.pos.z) && std::isfinite(s.vel.x) &&
           std::isfinite(s.vel.y) && std::isfinite(s.vel.z) && std::isfinite(s.t);
}

// Flies from `start` until every target range (ft, rising) is passed, the
// speed downrange falls below 100 ft/s (a bullet falling steeply keeps its
// speed but makes no headway), or the flight runs too long; samples the state
// at each target. Takes at most `budget` steps and counts them off it.
flight_log fly(const flight& f, state s, const std::vector<double>& targets, long& budget)
{
    flight_log log;
    log.samples.reserve(targets.size());
    size_t next = 0;
    while (next < targets.size() && targets[next] <= s.pos.x) {
        log.samples.push_back(s);
        ++next;
    }
    double sound = f.air.sound_fps;
    for (; next < targets.size(); --budget) {
        double speed = length(s.vel);
        if (s.vel.x < kStopFps) {
            log.end = flight_end::slow;
            log.end_x = s.pos.x;
            return log;
        }
        if (budget <= 0 || s.t >= kMaxFlightS) {
            log.end = flight_end::too_long;
            log.end_x = s.pos.x;
            return log;
        }
        double dt = std::min(0.002, 3.0 / speed);
        double rate = drag_rate(f, s.vel);
        if (rate > 0) dt = std::min(dt, 0.25 / rate);
        state n = rk4(f, s, dt);
        if (!finite(n)) {
            log.end = flight_end::too_long;
            log.end_x = s.pos.x;
            return log;
        }
        double reach = 1.0;  // fraction of the step flown before ending
        if (n.vel.x < kStopFps) reach = (s.vel.x - kStopFps) / (s.vel.x - n.vel.x);
        double x_end = s.pos.x + reach * (n.pos.x - s.pos.x);
        if ((s.pos.y > 0) != (n.pos.y > 0) && n.pos.y != s.pos.y) {
            double u = s.pos.y / (s.pos.y - n.pos.y);
            if (u <= reach) log.crossings_x.push_back(s.pos.x + u * (n.pos.x - s.pos.x));
        }
        // The marks go by the speed through the air, as the drag does.
        double m0 = mach_in(s.vel, f.wind, sound), m1 = mach_in(n.vel, f.wind, sound);
        auto mark = [&](double level, double* x) {
            if (*x < 0 && m0 >= level && m1 < level) {
                double u = (m0 - level) / (m0 - m1);
                if (u <= reach) *x = s.pos.x + u * (n.pos.x - s.pos.x);
            }
        };
        mark(1.2, &log.transonic_x);
        mark(1.0, &log.subsonic_x);
        while (next < targets.size() && targets[next] <= x_end && n.pos.x > s.pos.x) {
            double u = (targets[next] - s.pos.x) / (n.pos.x - s.pos.x);
            state at = between(s, n, u);
            at.pos.x = targets[next];
            log.samples.push_back(at);
            ++next;
        }
        if (reach < 1.0) {
            if (next < targets.size()) {
                log.end = flight_end::slow;
                log.end_x = x_end;
            }
            return log;
        }
        s = n;
    }
    return log;
}

// --- inputs ------------------------------------------------------------

struct refusal {
    std::string text;
    explicit operator bool() const { return !text.empty(); }
};

std::string num(double v) { return format_number("%g", v); }

enum class size { any, not_negative, positive };

// Checks a value the solution needs: finite, and within what `need` allows.
bool check(refusal& r, double v, const char* what, size need)
{
    if (r) return false;
    if (!std::isfinite(v)) r.text = std::string("The ") + what + " is not a number.";
    else if (need == size::positive && v == 0) r.text = std::string("The ") + what + " is 0.";
    else if (need != size::any && v < 0) r.text = std::string("The ") + what + " is below 0 (" + num(v) + ").";
    return !r;
}
bool check(refusal& r, double v, const char* what, bool positive)
{
    return check(r, v, what, positive ? size::positive : size::any);
}

}  // namespace

// --- shared with the texts ----------------------------------------------

air_state air_at(double temperature_f, double pressure_inhg, double humidity_pct)
{
    double t_r = temperature_f + 459.67;
    double t_c = (temperature_f - 32.0) * 5.0 / 9.0;
    double es_hpa = t_c > -100.0 ? 6.1078 * std::pow(10.0, 7.5 * t_c / (t_c + 237.3)) : 0.0;
    double e_inhg = std::min(humidity_pct / 100.0 * es_hpa / 33.8639, pressure_inhg);
    constexpr double kRdOverRv = 287.058 / 461.495;
    air_state a;
    a.density_ratio = (pressure_inhg - e_inhg * (1.0 - kRdOverRv)) / 29.92 * 518.67 / t_r;
    a.sound_fps = 49.0223 * std::sqrt(t_r);
    return a;
}

namespace {

struct numbered_point {
    drag_point at;
    int number;  // 1 to 32, its place in the profile
};

// The custom curve's points by rising Mach (stable: equal Mach numbers keep
// the profile's order). A point that is 0 in both Mach and coefficient is an
// empty slot, wherever it stands: the device pads the curve with them. A
// point that is not a number is left out here (the solution refuses it).
std::vector<numbered_point> curve_by_mach(const GunProfile& p)
{
    std::vector<numbered_point> pts;
    for (int i = 0; i < 32; ++i) {
        const CurvePoint& c = p.cc[i];
        if ((c.mach != 0.0f || c.cd != 0.0f) && std::isfinite(c.mach) && std::isfinite(c.cd))
            pts.push_back({{c.mach, c.cd}, i + 1});
    }
    std::stable_sort(pts.begin(), pts.end(),
                     [](const numbered_point& a, const numbered_point& b) { return a.at.mach < b.at.mach; });
    return pts;
}

}  // namespace

std::vector<drag_point> usable_curve(const GunProfile& p)
{
    std::vector<drag_point> pts;
    for (const numbered_point& n : curve_by_mach(p))
        if (pts.empty() || n.at.mach > pts.back().mach) pts.push_back(n.at);
    return pts;
}

std::vector<drag_point> scale_factor_points(const GunProfile& p)
{
    std::vector<drag_point> pts;
    for (int i = 0; i < 6; ++i)
        if (p.vl[i] > 0.0f) pts.push_back({p.vl[i], p.dsf[i]});
    std::stable_sort(pts.begin(), pts.end(), [](const drag_point& a, const drag_point& b) { return a.mach < b.mach; });
    return pts;
}

int velocity_table_rows(const GunProfile& p)
{
    int n = 0;
    for (int i = 0; i < 6; ++i)
        if (p.mvt_mv[i] > 0.0f) ++n;
    return n;
}

double muzzle_velocity_at(const GunProfile& p, double temperature_f)
{
    std::vector<drag_point> rows;  // (temperature, velocity)
    for (int i = 0; i < 6; ++i)
        if (p.mvt_mv[i] > 0.0f) rows.push_back({p.mvt_temp[i], p.mvt_mv[i]});
    if (rows.size() < 2) return p.mv;
    std::stable_sort(rows.begin(), rows.end(),
                     [](const drag_point& a, const drag_point& b) { return a.mach < b.mach; });
    if (temperature_f <= rows.front().mach) return rows.front().cd;
    if (temperature_f >= rows.back().mach) return rows.back().cd;
    for (size_t i = 1; i < rows.size(); ++i) {
        const drag_point &lo = rows[i - 1], &hi = rows[i];
        if (temperature_f <= hi.mach && hi.mach > lo.mach)
            return lo.cd + (hi.cd - lo.cd) * (temperature_f - lo.mach) / (hi.mach - lo.mach);
    }
    return rows.back().cd;
}

std::optional<double> miller_stability(const GunProfile& p, double mv_fps, double temperature_f, double pressure_inhg)
{
    double twist = std::fabs(static_cast<double>(p.bt));
    double d = p.bd, len = p.bl, m = p.bw;
    if (!(twist > 0) || !(d > 0) || !(len > 0) || !(m > 0) || !(mv_fps > 0) || !(pressure_inhg > 0))
        return std::nullopt;
    double t = twist / d, l = len / d;
    double sg = 30.0 * m / (t * t * d * d * d * l * (1.0 + l * l)) * std::cbrt(mv_fps / 2800.0) *
                ((temperature_f + 460.0) / 519.0) * (29.92 / pressure_inhg);
    if (!std::isfinite(sg) || !(sg > 0)) return std::nullopt;
    return sg;
}

const char* output_unit_text(int32_t code)
{
    const char* t = unit_code_text(code);
    return t ? t : unit_code_text(1);
}

double hold_unit_rad(int32_t output_code, int32_t click_code, int32_t clicks_per_unit)
{
    auto angle = [](int32_t code) {
        switch (code) {
        case 2: return kPi / 10800.0;  // true MOA
        case 3: return 1.0 / 3600.0;   // shooter's MOA: 1 in at 100 yd
        default: return 0.001;         // MIL
        }
    };
    if (output_code == kUnitCodeClicks) {
        int32_t per = (clicks_per_unit >= 1 && clicks_per_unit <= 20) ? clicks_per_unit : 1;
        return angle(click_code >= 1 && click_code <= 3 ? click_code : 1) / per;
    }
    return angle(output_code >= 1 && output_code <= 3 ? output_code : 1);
}

namespace {

// Shooter's MOA, directly or as the click unit: inches per 100 yd.
bool linear_hold(int32_t output_code, int32_t click_code)
{
    if (output_code == kUnitCodeClicks) return click_code == 3;
    return output_code == 3;
}

}  // namespace

double hold_for_offset(double offset_in, double range_in, int32_t output_code, int32_t click_code,
                       int32_t clicks_per_unit)
{
    double ratio = offset_in / range_in;
    double extent = linear_hold(output_code, click_code) ? ratio : std::atan(ratio);
    return extent / hold_unit_rad(output_code, click_code, clicks_per_unit);
}

double offset_for_hold(double hold, double range_in, int32_t output_code, int32_t click_code, int32_t clicks_per_unit)
{
    double extent = hold * hold_unit_rad(output_code, click_code, clicks_per_unit);
    return range_in * (linear_hold(output_code, click_code) ? extent : std::tan(extent));
}

// --- the solution -------------------------------------------------------

shot_conditions conditions_from_profile(const GunProfile& p)
{
    shot_conditions c;
    c.temperature_f = p.temp;
    c.pressure_inhg = p.pres;
    c.humidity_pct = p.hum;
    return c;
}

double default_step_yd(int units) { return units == kUnitsEnglish ? 100.0 : 100.0 * 1.09361; }

double default_range_yd(const GunProfile& p, int units)
{
    double r = std::isfinite(p.maxr) ? std::max(1000.0, static_cast<double>(p.maxr)) : 1000.0;
    r = std::min(r, kMaxSolveRangeYd);
    if (units != kUnitsEnglish) {
        double step = default_step_yd(units);
        // A range within half a percent of a whole step is that step: the
        // form keeps 1,000 m as 1094 yd, which is 1000.3 m.
        r = std::min(std::ceil(r / step - 0.005) * step, std::floor(kMaxSolveRangeYd / step) * step);
    }
    return r;
}

namespace {

refusal check_inputs(const GunProfile& p, const shot_conditions& c, double to_yd, double step_yd, bool custom)
{
    refusal r;
    if (!custom) check(r, p.bc, "ballistic coefficient (bc)", true);
    check(r, p.mv, "muzzle velocity (mv)", true);
    // Weight, diameter and length may be unknown (0) where the drag does not
    // need them, never below 0.
    check(r, p.bw, "bullet weight (bw)", custom ? size::positive : size::not_negative);
    check(r, p.bd, "bullet diameter (bd)", custom ? size::positive : size::not_negative);
    check(r, p.bl, "bullet length (bl)", size::not_negative);
    check(r, p.bt, "twist rate (bt)", false);
    if (check(r, p.zr, "zero range (zr)", true) && p.zr > kMaxSolveRangeYd)
        r.text = "The zero range (zr) is beyond " + num(kMaxSolveRangeYd) + " yd.";
    check(r, p.shi, "sight height (shi)", false);
    check(r, p.zh, "zero height (zh)", false);
    check(r, p.zo, "zero offset (zo)", false);
    check(r, p.temp, "profile's temperature (temp)", false);
    check(r, p.pres, "profile's pressure (pres)", true);
    check(r, p.hum, "profile's humidity (hum)", false);
    check(r, p.ssfV, "elevation scope scale factor (ssfV)", true);
    check(r, p.ssfH, "windage scope scale factor (ssfH)", true);
    for (int i = 0; i < 6 && !r; ++i) {
        std::string n = std::to_string(i + 1);
        check(r, p.vl[i], ("Mach number of drop scale factor " + n + " (vl)").c_str(), false);
        if (p.vl[i] > 0.0f) check(r, p.dsf[i], ("drop scale factor " + n + " (dsf)").c_str(), true);
        // A velocity of 0 is an empty row.
        check(r, p.mvt_mv[i], ("velocity of row " + n + " of the velocity table").c_str(), size::not_negative);
        if (p.mvt_mv[i] > 0.0f)
            check(r, p.mvt_temp[i], ("temperature of row " + n + " of the velocity table").c_str(), false);
    }
    if (custom && !r) {
        for (int i = 0; i < 32 && !r; ++i) {
            std::string k = std::to_string(i + 1);
            check(r, p.cc[i].mach, ("Mach number of custom drag curve point " + k).c_str(), false);
            check(r, p.cc[i].cd, ("drag coefficient of custom drag curve point " + k).c_str(), false);
            if (!r && (p.cc[i].mach < 0 || p.cc[i].cd < 0)) r.text = "Custom drag curve point " + k + " is below 0.";
        }
        // The points are taken by rising Mach whatever their order; two
        // points at one Mach must agree, or the curve says two things there.
        std::vector<numbered_point> pts = curve_by_mach(p);
        for (size_t i = 1; i < pts.size() && !r; ++i) {
            const numbered_point &a = pts[i - 1], &b = pts[i];
            if (a.at.mach == b.at.mach && a.at.cd != b.at.cd)
                r.text = "The custom drag curve (cc) has two drag coefficients at Mach " + num(a.at.mach) +
                         " (points " + std::to_string(std::min(a.number, b.number)) + " and " +
                         std::to_string(std::max(a.number, b.number)) + ").";
        }
        if (!r && usable_curve(p).size() < 2) r.text = "The custom drag curve (cc) has fewer than two points.";
    }
    check(r, c.temperature_f, "temperature", false);
    check(r, c.pressure_inhg, "pressure", true);
    check(r, c.humidity_pct, "humidity", false);
    check(r, c.wind_mph, "wind speed", false);
    check(r, c.wind_from_deg, "wind direction", false);
    if (c.coriolis) {
        check(r, c.latitude_deg, "latitude", false);
        check(r, c.azimuth_deg, "azimuth", false);
        if (!r && std::fabs(c.latitude_deg) > 90) r.text = "The latitude is outside -90 to 90 degrees.";
    }
    if (!r && p.temp <= -459.67f) r.text = "The profile's temperature (temp) is below absolute zero.";
    if (!r && c.temperature_f <= -459.67) r.text = "The temperature is below absolute zero.";
    if (!r && (p.hum < 0 || p.hum > 100)) r.text = "The profile's humidity (hum) is outside 0 to 100 %.";
    if (!r && (c.humidity_pct < 0 || c.humidity_pct > 100)) r.text = "The humidity is outside 0 to 100 %.";
    if (!r && !(std::isfinite(to_yd) && to_yd >= 0 && to_yd <= kMaxSolveRangeYd))
        r.text = "The range must be 0 to " + num(kMaxSolveRangeYd) + " yd.";
    if (!r && !(std::isfinite(step_yd) && step_yd > 0)) r.text = "The step must be above 0.";
    if (!r && to_yd / step_yd + 1 > kMaxSolveRows)
        r.text = "The step is too small: more than " + std::to_string(kMaxSolveRows) + " rows.";
    return r;
}

std::string yards_text(double yd) { return format_number("%.4g", yd); }

}  // namespace

solution solve_profile(const GunProfile& p, const shot_conditions& c, double to_yd, double step_yd)
{
    solution out;
    out.elevation_unit = output_unit_text(p.eu);
    out.windage_unit = output_unit_text(p.wu);
    bool custom = p.dc != 0 && p.dc != 1;
    refusal r = check_inputs(p, c, to_yd, step_yd, custom);
    if (r) {
        out.missing = r.text;
        return out;
    }

    flight f;
    std::vector<drag_point> own = usable_curve(p);
    if (custom) {
        f.curve = own.data();
        f.curve_n = static_cast<int>(own.size());
        f.bc = p.bw / 7000.0 / (static_cast<double>(p.bd) * p.bd);
    } else {
        f.curve = p.dc == 0 ? g1_drag_points : g7_drag_points;
        f.curve_n = p.dc == 0 ? g1_drag_count : g7_drag_count;
        f.bc = p.bc;
    }
    if (!(f.bc > 0) || !std::isfinite(f.bc)) {
        out.missing = "The bullet weight and diameter give no usable sectional density.";
        return out;
    }
    f.dsf = scale_factor_points(p);

    // The zero: the profile's own air, no wind, no Earth rotation.
    f.air = air_at(p.temp, p.pres, p.hum);
    f.wind = {0, 0, 0};
    f.earth = {0, 0, 0};
    out.zero_mv_fps = muzzle_velocity_at(p, p.temp);
    // The zero range as the decimal the user typed (109.1, not 109.099998),
    // so that its row reads so.
    double zr = parse_number(format_number("%.7g", p.zr).c_str());
    double zr_ft = zr * 3.0;
    double psi = std::atan2(p.zo / 12.0, zr_ft);
    double target_y = p.zh / 12.0;
    double y0 = -p.shi / 12.0;
    auto launch = [&](double mv, double theta) {
        state s;
        s.pos = {0, y0, 0};
        s.vel = {mv * std::cos(theta) * std::cos(psi), mv * std::sin(theta), mv * std::cos(theta) * std::sin(psi)};
        s.t = 0;
        return s;
    };
    double theta = std::atan2(target_y - y0, zr_ft);
    bool zeroed = false;
    long budget = kStepBudget;
    if (!(std::fabs(theta) < kMaxZeroAngle)) {
        out.missing = "No bore angle puts the bullet at the zero height (zh) at the zero range (zr).";
        return out;
    }
    for (int i = 0; i < 30; ++i) {
        flight_log z = fly(f, launch(out.zero_mv_fps, theta), {zr_ft}, budget);
        if (z.samples.empty() && budget <= 0) {
            out.missing =
                "The flight to the zero range (zr) of " + yards_text(p.zr) + " yd takes too long to calculate.";
            return out;
        }
        if (z.samples.empty()) {
            out.missing = "The bullet does not reach the zero range (zr) of " + yards_text(p.zr) + " yd.";
            return out;
        }
        double miss = target_y - z.samples[0].pos.y;
        if (std::fabs(miss) < 1e-7) {
            zeroed = true;
            break;
        }
        theta += miss / zr_ft * std::cos(theta) * std::cos(theta);
        if (!(std::fabs(theta) < kMaxZeroAngle)) break;
    }
    if (!zeroed) {
        out.missing = "No bore angle puts the bullet at the zero height (zh) at the zero range (zr).";
        return out;
    }
    out.zero_angle_moa = theta * 10800.0 / kPi;
    out.zero_windage_moa = psi * 10800.0 / kPi;

    // The shot.
    f.air = air_at(c.temperature_f, c.pressure_inhg, c.humidity_pct);
    double from = c.wind_from_deg * kPi / 180.0;
    double wind = c.wind_mph * kMphToFps;
    f.wind = {-wind * std::cos(from), 0, -wind * std::sin(from)};
    if (c.coriolis) {
        double lat = c.latitude_deg * kPi / 180.0, az = c.azimuth_deg * kPi / 180.0;
        f.earth = {kEarthRate * std::cos(lat) * std::cos(az), kEarthRate * std::sin(lat),
                   -kEarthRate * std::cos(lat) * std::sin(az)};
    }
    out.mv_fps = muzzle_velocity_at(p, c.temperature_f);
    out.stability = miller_stability(p, out.mv_fps, c.temperature_f, c.pressure_inhg);
    double drift_sign = p.bt < 0 ? -1.0 : 1.0;

    std::vector<double> ranges;
    ranges.reserve(static_cast<size_t>(to_yd / step_yd) + 3);
    long steps = static_cast<long>(std::floor(to_yd / step_yd + 1e-9));
    for (long i = 0; i <= steps; ++i) ranges.push_back(i * step_yd);
    if (zr <= to_yd) ranges.push_back(zr);
    ranges.push_back(to_yd);
    std::sort(ranges.begin(), ranges.end());
    std::vector<double> unique;
    for (double v : ranges)
        if (unique.empty() || v - unique.back() > 1e-6) unique.push_back(v);
    std::vector<double> targets_ft;
    targets_ft.reserve(unique.size());
    out.rows.reserve(unique.size());
    for (double v : unique) targets_ft.push_back(v * 3.0);

    flight_log log = fly(f, launch(out.mv_fps, theta), targets_ft, budget);
    double muzzle_mach = mach_in(launch(out.mv_fps, theta).vel, f.wind, f.air.sound_fps);
    bool muzzle_transonic = muzzle_mach >= 1.2, muzzle_supersonic = muzzle_mach >= 1.0;
    bool marked_transonic = false, marked_subsonic = false;
    for (size_t i = 0; i < log.samples.size(); ++i) {
        const state& s = log.samples[i];
        solution_row row;
        row.range_yd = unique[i];
        double speed = length(s.vel);
        row.drop_in = s.pos.y * 12.0;
        // Time first: at the muzzle the drift is 0 however large the stability.
        if (out.stability) row.spin_drift_in = drift_sign * 1.25 * std::pow(s.t, 1.83) * (*out.stability + 1.2);
        row.windage_in = s.pos.z * 12.0 + row.spin_drift_in;
        row.velocity_fps = speed;
        row.mach = mach_in(s.vel, f.wind, f.air.sound_fps);  // through the air, as the drag
        row.energy_ftlbf = p.bw * speed * speed / 450436.0;
        row.time_s = s.t;
        if (row.range_yd > 0) {
            double range_in = row.range_yd * 36.0;
            row.elevation_hold = hold_for_offset(-row.drop_in, range_in, p.eu, p.ce, p.cve) / p.ssfV;
            row.windage_hold = hold_for_offset(-row.windage_in, range_in, p.wu, p.cw, p.cvw) / p.ssfH;
        }
        row.zero = std::fabs(row.range_yd - zr) <= 1e-6;
        if (muzzle_transonic && !marked_transonic && row.mach < 1.2) row.transonic = marked_transonic = true;
        if (muzzle_supersonic && !marked_subsonic && row.mach < 1.0) row.subsonic = marked_subsonic = true;
        const double nums[] = {row.drop_in,      row.windage_in, row.spin_drift_in,  row.velocity_fps, row.mach,
                               row.energy_ftlbf, row.time_s,     row.elevation_hold, row.windage_hold};
        if (!std::all_of(std::begin(nums), std::end(nums), [](double v) { return std::isfinite(v); })) {
            log.end = flight_end::too_long;
            log.end_x = row.range_yd * 3.0;
            break;
        }
        out.rows.push_back(row);
    }
    for (double x : log.crossings_x) out.zero_crossings_yd.push_back(x / 3.0);
    if (log.transonic_x >= 0) out.transonic_yd = log.transonic_x / 3.0;
    if (log.subsonic_x >= 0) out.subsonic_yd = log.subsonic_x / 3.0;
    if (log.end != flight_end::reached) {
        out.end_range_yd = log.end_x / 3.0;
        out.end_note =
            log.end == flight_end::slow
                ? "The bullet's speed downrange falls below 100 ft/s at " + yards_text(*out.end_range_yd) + " yd."
                : "The calculation stops at " + yards_text(*out.end_range_yd) + " yd.";
    }
    out.ok = true;
    return out;
}
