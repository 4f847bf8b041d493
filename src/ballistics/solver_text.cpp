// The solution as texts: the assumptions shown beside it, and the JSON, CSV
// and column tables of the command line.
#include <cmath>
#include <cstdio>

#include "ballistics/solver.h"
#include "ballistics/solver_internal.h"
#include "base/numbers.h"
#include "profile/units.h"

namespace {

// A value that rounds to zero prints without a minus ("-0.00" is "0.00").
std::string fmt(const char* f, double v)
{
    std::string t = format_number(f, v);
    size_t minus = t.find('-');
    if (minus != std::string::npos && t.find_first_of("123456789", minus) == std::string::npos) {
        if (minus == 0) t.erase(0, 1);
        else t[minus] = ' ';
    }
    return t;
}

// Values in the user's unit system, with their unit.
std::string range_text(double yd, int units)
{
    if (units == kUnitsEnglish) return fmt("%.4g", yd) + " yd";
    return fmt("%.0f", yd / 1.09361) + " m";
}
std::string temperature_text(double f, int units)
{
    if (units == kUnitsMetric)
        return fmt("%.1f", (f - 32.0) * 5.0 / 9.0) + " \xc2\xb0"
                                                     "C";
    return fmt("%.1f", f) + " \xc2\xb0"
                            "F";
}
// Metric in hPa, the other systems in inHg (the profile stores inHg).
std::string pressure_text(double inhg, int units)
{
    if (units == kUnitsMetric) return fmt("%.0f", inhg * 33.8638867) + " hPa";
    return fmt("%.2f", inhg) + " inHg";
}
std::string velocity_text(double fps, int units)
{
    if (units == kUnitsMetric) return fmt("%.1f", fps / 3.28084) + " m/s";
    return fmt("%.1f", fps) + " ft/s";
}

std::string hold_unit_text(int32_t output_code, int32_t click_code, int32_t clicks_per_unit)
{
    if (output_code != kUnitCodeClicks) return output_unit_text(output_code);
    int32_t per = (clicks_per_unit >= 1 && clicks_per_unit <= 20) ? clicks_per_unit : 1;
    const char* unit = unit_code_text(click_code >= 1 && click_code <= 3 ? click_code : 1);
    return "clicks of 1/" + std::to_string(per) + " " + unit;
}

std::string json_number(double v) { return std::isfinite(v) ? fmt("%.9g", v) : "null"; }

}  // namespace

std::string json_text(const std::string& s)
{
    std::string out = "\"";
    for (unsigned char ch : s) {
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += static_cast<char>(ch);
        } else if (ch < 0x20) {
            out += fmt("\\u%04x", ch);
        } else {
            out += static_cast<char>(ch);
        }
    }
    return out + "\"";
}

bool velocity_table_in_use(const GunProfile& p) { return velocity_table_rows(p) >= 2; }

std::string muzzle_velocity_assumption(const GunProfile& p, const shot_conditions& c, int units)
{
    if (velocity_table_in_use(p))
        return "The muzzle velocity comes from the velocity table, linear in temperature and held at its end rows: " +
               velocity_text(muzzle_velocity_at(p, c.temperature_f), units) + " at " +
               temperature_text(c.temperature_f, units) + "; the profile's mv (" + velocity_text(p.mv, units) +
               ") is not used.";
    return "The muzzle velocity is the profile's mv, " + velocity_text(p.mv, units) +
           ", at every temperature (the velocity table has fewer than two rows).";
}

std::vector<std::string> solver_assumptions(const GunProfile& p, const shot_conditions& c, int units)
{
    std::vector<std::string> a;
    a.push_back("The line of sight is level: no uphill or downhill angle and no cant.");
    a.push_back("Zeroed at " + range_text(p.zr, units) + " in the profile's air (" + temperature_text(p.temp, units) +
                ", " + pressure_text(p.pres, units) + ", " + fmt("%.0f", p.hum) +
                " % humidity) with no wind; spin drift is not zeroed.");
    a.push_back("The pressure is the station pressure at the rifle; the profile's altitude is not used.");
    a.push_back("The wind blows the same along the whole path.");
    bool custom = p.dc != 0 && p.dc != 1;
    if (custom)
        a.push_back("The profile's own drag curve (" + std::to_string(usable_curve(p).size()) +
                    " points taken by rising Mach, linear between them, held at its end values beyond them) with the "
                    "sectional density from the bullet weight and diameter in place of a coefficient; the curve's "
                    "coefficient is not used.");
    else
        a.push_back(std::string(p.dc == 0 ? "G1" : "G7") + " drag with the ballistic coefficient " + fmt("%.3f", p.bc) +
                    ".");
    if (scale_factor_points(p).empty()) a.push_back("No drop scale factors: the drag is not scaled.");
    else
        a.push_back("The drop scale factors multiply the drag coefficient, interpolated linearly in Mach between their "
                    "points and held at the end values beyond them.");
    a.push_back(muzzle_velocity_assumption(p, c, units));
    std::optional<double> sg =
        miller_stability(p, muzzle_velocity_at(p, c.temperature_f), c.temperature_f, c.pressure_inhg);
    if (p.bt == 0.0f) a.push_back("No spin drift: the twist rate is 0.");
    else if (!sg)
        a.push_back("No spin drift: without the bullet's diameter, length and weight its stability is unknown.");
    else
        a.push_back("Spin drift from Miller's stability (Sg " + fmt("%.2f", *sg) + ") and Litz's formula, to the " +
                    (p.bt < 0 ? "left" : "right") + " with the twist.");
    if (c.coriolis)
        a.push_back("Coriolis and Eotvos effects at latitude " + fmt("%.1f", c.latitude_deg) + "\xc2\xb0, azimuth " +
                    fmt("%.1f", c.azimuth_deg) + "\xc2\xb0.");
    else a.push_back("No Coriolis or Eotvos effect: no latitude and azimuth given.");
    a.push_back("Elevation in " + hold_unit_text(p.eu, p.ce, p.cve) + ", windage in " +
                hold_unit_text(p.wu, p.cw, p.cvw) + ", divided by the scope scale factors (" + fmt("%.2f", p.ssfV) +
                " and " + fmt("%.2f", p.ssfH) + ").");
    if (p.bw == 0.0f) a.push_back("The bullet weight is 0, so the energy shows 0.");
    return a;
}

std::string table_json(const solution& s)
{
    if (!s.ok) return "{\"error\": " + json_text(s.missing) + "}\n";
    std::string units =
        "\"elevation_unit\": " + json_text(s.elevation_unit) + ", \"windage_unit\": " + json_text(s.windage_unit);
    std::string out = "{\"zero_angle_moa\": " + json_number(s.zero_angle_moa) +
                      ", \"stability\": " + (s.stability ? json_number(*s.stability) : "null") +
                      ", \"mv_fps\": " + json_number(s.mv_fps) + ", " + units + ", \"rows\": [";
    for (size_t i = 0; i < s.rows.size(); ++i) {
        const solution_row& r = s.rows[i];
        out += i ? ",\n  " : "\n  ";
        out += "{\"range_yd\": " + json_number(r.range_yd) + ", \"drop_in\": " + json_number(r.drop_in) +
               ", \"windage_in\": " + json_number(r.windage_in) + ", \"velocity_fps\": " + json_number(r.velocity_fps) +
               ", \"mach\": " + json_number(r.mach) + ", \"energy_ftlbf\": " + json_number(r.energy_ftlbf) +
               ", \"time_s\": " + json_number(r.time_s) + ", \"elevation\": " + json_number(r.elevation_hold) +
               ", \"windage\": " + json_number(r.windage_hold) + ", " + units + "}";
    }
    return out + (s.rows.empty() ? "]}\n" : "\n]}\n");
}

std::string table_csv(const solution& s)
{
    if (!s.ok) return s.missing + "\n";
    std::string out =
        "range_yd,drop_in,windage_in,velocity_fps,mach,energy_ftlbf,time_s,elevation,windage,elevation_unit,"
        "windage_unit\n";
    for (const solution_row& r : s.rows)
        out += fmt("%.2f", r.range_yd) + "," + fmt("%.2f", r.drop_in) + "," + fmt("%.2f", r.windage_in) + "," +
               fmt("%.1f", r.velocity_fps) + "," + fmt("%.3f", r.mach) + "," + fmt("%.0f", r.energy_ftlbf) + "," +
               fmt("%.3f", r.time_s) + "," + fmt("%.2f", r.elevation_hold) + "," + fmt("%.2f", r.windage_hold) + "," +
               s.elevation_unit + "," + s.windage_unit + "\n";
    return out;
}

std::string table_text(const solution& s)
{
    if (!s.ok) return s.missing + "\n";
    std::string out = "Zero angle " + fmt("%.2f", s.zero_angle_moa) + " MOA, muzzle velocity " + fmt("%.1f", s.mv_fps) +
                      " ft/s, stability " + (s.stability ? fmt("%.2f", *s.stability) : std::string("unknown")) + "\n";
    char line[256];
    std::snprintf(line, sizeof line, "%9s %9s %9s %9s %9s %9s %6s %8s %7s\n", "Range", "Drop", "Elev", "Windage",
                  "Wind", "Velocity", "Mach", "Energy", "Time");
    out += line;
    std::snprintf(line, sizeof line, "%9s %9s %9s %9s %9s %9s %6s %8s %7s\n", "yd", "in", s.elevation_unit, "in",
                  s.windage_unit, "ft/s", "", "ft-lbf", "s");
    out += line;
    for (const solution_row& r : s.rows) {
        std::string mark = r.zero ? "  zero" : "";
        if (r.transonic) mark += "  below Mach 1.2";
        if (r.subsonic) mark += "  below Mach 1.0";
        out += fmt("%9.1f", r.range_yd) + " " + fmt("%9.2f", r.drop_in) + " " + fmt("%9.2f", r.elevation_hold) + " " +
               fmt("%9.2f", r.windage_in) + " " + fmt("%9.2f", r.windage_hold) + " " + fmt("%9.1f", r.velocity_fps) +
               " " + fmt("%6.3f", r.mach) + " " + fmt("%8.0f", r.energy_ftlbf) + " " + fmt("%7.3f", r.time_s) + mark +
               "\n";
    }
    if (!s.end_note.empty()) out += s.end_note + "\n";
    return out;
}
