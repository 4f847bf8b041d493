// Unit systems of the editor form, the single-precision conversions between
// storage and display units, the unit-label texts and the output/click unit
// codes ("MIL", "TMOA", "SMOA", "CLICKS").
#pragma once

// The editor's unit systems, as the settings file stores them.
constexpr int kUnitsMixed = 1;    // inches, ft/s, deg F, meters
constexpr int kUnitsEnglish = 2;  // inches, ft/s, deg F, yards
constexpr int kUnitsMetric = 3;   // cm, m/s, deg C, meters

// The editor's unit system. Starts Mixed.
extern int input_units;

float feet_to_meters(float v);
float meters_to_feet(float v);
float yards_to_meters(float v);
float meters_to_yards(float v);
float inches_to_cm(float v);
float cm_to_inches(float v);
float fahrenheit_to_celsius(float v);
float celsius_to_fahrenheit(float v);

// What a converted form field measures.
enum class Quantity { none, length, velocity, range, temperature };

// Stored value -> the value the form shows under `units`.
float to_shown(Quantity q, int units, float stored);
// A typed value (already parsed and rounded to float) -> the stored value.
float to_stored(Quantity q, int units, float shown);
// A value the user typed -> the stored value, converted once with the exact
// unit definitions (1 in = 2.54 cm, 1 yd = 0.9144 m, 1 ft = 0.3048 m) and
// rounded once to the nearest float: typed 91 m is stored as the float
// nearest to 91 m in yards.
float typed_to_stored(Quantity q, int units, double typed);

// Unit-label texts for `units`: "inches"/"cm", "fps"/"m/s", "meters"/"yards".
const char* length_unit_label(int units);
const char* velocity_unit_label(int units);
const char* range_unit_label(int units);

// Output/click unit codes: 1 "MIL", 2 "TMOA", 3 "SMOA", 4 "CLICKS" (output
// units only). `unit_code_text` gives nullptr outside 1..4.
constexpr int kUnitCodeClicks = 4;
const char* unit_code_text(int code);
// Exact, case-sensitive match; 0 when the text is none of them (or "CLICKS"
// while `allow_clicks` is false).
int unit_code_from_text(const char* text, bool allow_clicks);
