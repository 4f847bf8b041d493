// The units the solution preview shows its numbers in, by the editor's unit
// system: ranges in yards (English) or meters (Mixed, Metric), the rest in
// English units except under Metric. Conversions both ways, unit texts.
#pragma once

#include <string>

enum class shown_quantity { range, length, velocity, energy, temperature, pressure, wind, angle, percent };

// Stored (yd, in, ft/s, ft-lbf, deg F, inHg, mph) -> shown under `units`.
double to_shown_value(shown_quantity q, int units, double stored);
// Shown under `units` -> stored.
double to_stored_value(shown_quantity q, int units, double shown);
// "yd"/"m", "in"/"cm", "ft/s"/"m/s", "ft-lbf"/"J", "°F"/"°C", "inHg"/"hPa",
// "mph"/"m/s", "°", "%".
const char* shown_unit_text(shown_quantity q, int units);

// `v` with at most `decimals` decimals, trailing zeros (and a bare point)
// dropped, and never "-0".
std::string short_number(double v, int decimals);
