#include "ballistics/window/shown_units.h"

#include <cmath>

#include "base/numbers.h"
#include "profile/units.h"

namespace {

// The form's own factors (1.09361 yd/m, 2.54 cm/in, 3.28084 ft/m), so that a
// zero range shows here as it does in the editor.
constexpr double kYardsPerMeter = 1.09361;
constexpr double kCmPerInch = 2.54;
constexpr double kFeetPerMeter = 3.28084;
constexpr double kJoulesPerFootPound = 1.3558179483;
constexpr double kHpaPerInHg = 33.8638867;
constexpr double kMetersPerSecondPerMph = 0.44704;

bool english_ranges(int units) { return units == kUnitsEnglish; }
// Mixed is English apart from ranges; any other value shows as Metric, as
// the form does.
bool metric(int units) { return units != kUnitsEnglish && units != kUnitsMixed; }

}  // namespace

double to_shown_value(shown_quantity q, int units, double v)
{
    switch (q) {
    case shown_quantity::range: return english_ranges(units) ? v : v / kYardsPerMeter;
    case shown_quantity::length: return metric(units) ? v * kCmPerInch : v;
    case shown_quantity::velocity: return metric(units) ? v / kFeetPerMeter : v;
    case shown_quantity::energy: return metric(units) ? v * kJoulesPerFootPound : v;
    case shown_quantity::temperature: return metric(units) ? (v - 32.0) / 1.8 : v;
    case shown_quantity::pressure: return metric(units) ? v * kHpaPerInHg : v;
    case shown_quantity::wind: return metric(units) ? v * kMetersPerSecondPerMph : v;
    case shown_quantity::angle:
    case shown_quantity::percent: return v;
    }
    return v;
}

double to_stored_value(shown_quantity q, int units, double v)
{
    switch (q) {
    case shown_quantity::range: return english_ranges(units) ? v : v * kYardsPerMeter;
    case shown_quantity::length: return metric(units) ? v / kCmPerInch : v;
    case shown_quantity::velocity: return metric(units) ? v * kFeetPerMeter : v;
    case shown_quantity::energy: return metric(units) ? v / kJoulesPerFootPound : v;
    case shown_quantity::temperature: return metric(units) ? v * 1.8 + 32.0 : v;
    case shown_quantity::pressure: return metric(units) ? v / kHpaPerInHg : v;
    case shown_quantity::wind: return metric(units) ? v / kMetersPerSecondPerMph : v;
    case shown_quantity::angle:
    case shown_quantity::percent: return v;
    }
    return v;
}

const char* shown_unit_text(shown_quantity q, int units)
{
    switch (q) {
    case shown_quantity::range: return english_ranges(units) ? "yd" : "m";
    case shown_quantity::length: return metric(units) ? "cm" : "in";
    case shown_quantity::velocity: return metric(units) ? "m/s" : "ft/s";
    case shown_quantity::energy: return metric(units) ? "J" : "ft-lbf";
    case shown_quantity::temperature:
        return metric(units) ? "\xC2\xB0"
                               "C"
                             : "\xC2\xB0"
                               "F";
    case shown_quantity::pressure: return metric(units) ? "hPa" : "inHg";
    case shown_quantity::wind: return metric(units) ? "m/s" : "mph";
    case shown_quantity::angle: return "\xC2\xB0";
    case shown_quantity::percent: return "%";
    }
    return "";
}

std::string short_number(double v, int decimals)
{
    char fmt[8] = "%.0f";
    fmt[2] = static_cast<char>('0' + (decimals < 0 ? 0 : decimals > 6 ? 6 : decimals));
    std::string s = format_number(fmt, v);
    if (s.find('.') != std::string::npos && std::isfinite(v)) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    if (s == "-0") s = "0";
    return s;
}
