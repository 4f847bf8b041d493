#include "ballistics/window/solution_table.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "ballistics/window/shown_units.h"
#include "base/numbers.h"

namespace {

// Decimals of a hold: a hundredth of a mil, a tenth of a minute, whole clicks.
int hold_decimals(const char* unit)
{
    if (std::strcmp(unit, "MIL") == 0) return 2;
    if (std::strcmp(unit, "CLICKS") == 0) return 0;
    return 1;
}

// Fixed decimals, without the "-" of a value that rounds to zero.
std::string fixed(double v, int decimals)
{
    double scale = std::pow(10.0, decimals);
    if (std::fabs(v) * scale < 0.5) v = 0.0;
    char fmt[8] = "%.0f";
    fmt[2] = static_cast<char>('0' + decimals);
    std::string s = format_number(fmt, v);
    return s;
}

// Ranges of a table in meters are multiples of a metric step: whole numbers
// unless the step has decimals.
std::string range_text(double shown)
{
    return std::fabs(shown - std::round(shown)) < 0.05 ? fixed(shown, 0) : fixed(shown, 1);
}

// Two decimals, or three on a marked row whose two would read as the mark's
// threshold (0.996 is "1.00" beside "Subsonic"; three show "0.996").
std::string mach_text(const solution_row& r)
{
    std::string two = fixed(r.mach, 2);
    if ((r.subsonic && two == "1.00") || (r.transonic && two == "1.20")) return fixed(r.mach, 3);
    return two;
}

std::string csv_field(const std::string& s)
{
    if (s.find_first_of(",\"\n") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s) {
        if (c == '"') q += '"';
        q += c;
    }
    return q + "\"";
}

}  // namespace

void merge_close_rows(solution& s, double tolerance_yd)
{
    std::vector<solution_row> kept;
    for (const solution_row& r : s.rows) {
        if (!kept.empty() && r.range_yd - kept.back().range_yd < tolerance_yd) {
            kept.back().zero |= r.zero;
            kept.back().transonic |= r.transonic;
            kept.back().subsonic |= r.subsonic;
            continue;
        }
        kept.push_back(r);
    }
    s.rows.swap(kept);
}

std::vector<std::string> table_titles(const solution& s, int units, bool two_lines)
{
    using q = shown_quantity;
    auto titled = [two_lines](const char* name, const char* unit) {
        return std::string(name) + (two_lines ? "\n(" : " (") + unit + ")";
    };
    return {titled("Range", shown_unit_text(q::range, units)),
            titled("Drop", shown_unit_text(q::length, units)),
            titled("Elevation", s.elevation_unit),
            titled("Windage", shown_unit_text(q::length, units)),
            titled("Windage", s.windage_unit),
            titled("Velocity", shown_unit_text(q::velocity, units)),
            "Mach",
            titled("Energy", shown_unit_text(q::energy, units)),
            titled("Time", "s"),
            "Mark"};
}

std::vector<std::string> table_cells(const solution& s, const solution_row& r, int units)
{
    using q = shown_quantity;
    return {range_text(to_shown_value(q::range, units, r.range_yd)),
            fixed(to_shown_value(q::length, units, r.drop_in), 1),
            fixed(r.elevation_hold, hold_decimals(s.elevation_unit)),
            fixed(to_shown_value(q::length, units, r.windage_in), 1),
            fixed(r.windage_hold, hold_decimals(s.windage_unit)),
            fixed(to_shown_value(q::velocity, units, r.velocity_fps), 0),
            mach_text(r),
            fixed(to_shown_value(q::energy, units, r.energy_ftlbf), 0),
            fixed(r.time_s, 3),
            row_mark(r)};
}

std::string row_mark(const solution_row& r)
{
    std::string m;
    for (auto [on, text] : {std::pair{r.zero, "Zero"}, {r.transonic, "Transonic"}, {r.subsonic, "Subsonic"}}) {
        if (!on) continue;
        if (!m.empty()) m += ", ";
        m += text;
    }
    return m;
}

std::string table_as_csv(const solution& s, int units)
{
    if (!s.ok) return s.missing + "\n";
    std::string out;
    auto line = [&out](const std::vector<std::string>& fields) {
        for (size_t i = 0; i < fields.size(); ++i) out += (i ? "," : "") + csv_field(fields[i]);
        out += "\n";
    };
    line(table_titles(s, units));
    for (const solution_row& r : s.rows) line(table_cells(s, r, units));
    return out;
}
