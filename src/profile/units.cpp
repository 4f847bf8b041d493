#include "profile/units.h"

#include <cfloat>
#include <cmath>
#include <cstring>

int input_units = kUnitsMixed;

// Single-precision constants throughout: the device firmware and stored
// files were produced with these exact float factors.
static constexpr float kFeetPerMeter = 3.28084f;
static constexpr float kYardsPerMeter = 1.09361f;
static constexpr float kCmPerInch = 2.54f;
static constexpr float kCelsiusPerFahrenheit = 0.5555556f;
static constexpr float kFahrenheitPerCelsius = 1.8f;
static constexpr float kFreezingF = 32.0f;

float feet_to_meters(float v) { return v / kFeetPerMeter; }
float meters_to_feet(float v) { return v * kFeetPerMeter; }
float yards_to_meters(float v) { return v / kYardsPerMeter; }
float meters_to_yards(float v) { return v * kYardsPerMeter; }
float inches_to_cm(float v) { return v * kCmPerInch; }
float cm_to_inches(float v) { return v / kCmPerInch; }
float fahrenheit_to_celsius(float v) { return (v - kFreezingF) * kCelsiusPerFahrenheit; }
float celsius_to_fahrenheit(float v) { return v * kFahrenheitPerCelsius + kFreezingF; }

// Mixed and English show inches, ft/s and deg F; every other value
// (Metric, or an unknown one from a settings file) shows metric units.
static bool metric_lengths(int units) { return units != kUnitsMixed && units != kUnitsEnglish; }

float to_shown(Quantity q, int units, float stored)
{
    switch (q) {
    case Quantity::length: return metric_lengths(units) ? inches_to_cm(stored) : stored;
    case Quantity::velocity: return metric_lengths(units) ? feet_to_meters(stored) : stored;
    case Quantity::temperature: return metric_lengths(units) ? fahrenheit_to_celsius(stored) : stored;
    case Quantity::range: return units == kUnitsEnglish ? stored : yards_to_meters(stored);
    case Quantity::none: break;
    }
    return stored;
}

float to_stored(Quantity q, int units, float shown)
{
    switch (q) {
    case Quantity::length: return metric_lengths(units) ? cm_to_inches(shown) : shown;
    case Quantity::velocity: return metric_lengths(units) ? meters_to_feet(shown) : shown;
    case Quantity::temperature: return metric_lengths(units) ? celsius_to_fahrenheit(shown) : shown;
    case Quantity::range:
        // Only Mixed and Metric read meters back; an unknown system reads
        // yards, as the program always did.
        return (units == kUnitsMixed || units == kUnitsMetric) ? meters_to_yards(shown) : shown;
    case Quantity::none: break;
    }
    return shown;
}

float typed_to_stored(Quantity q, int units, double typed)
{
    double v = typed;
    switch (q) {
    case Quantity::length:
        if (metric_lengths(units)) v = typed / 2.54;
        break;
    case Quantity::velocity:
        if (metric_lengths(units)) v = typed / 0.3048;
        break;
    case Quantity::temperature:
        if (metric_lengths(units)) v = typed * 1.8 + 32.0;
        break;
    case Quantity::range:
        if (units == kUnitsMixed || units == kUnitsMetric) v = typed / 0.9144;
        break;
    case Quantity::none: break;
    }
    // Out-of-range values become infinities explicitly (the plain conversion
    // is undefined there).
    if (v > FLT_MAX) return HUGE_VALF;
    if (v < -FLT_MAX) return -HUGE_VALF;
    return static_cast<float>(v);
}

const char* length_unit_label(int units) { return metric_lengths(units) ? "cm" : "inches"; }
const char* velocity_unit_label(int units) { return metric_lengths(units) ? "m/s" : "fps"; }
const char* range_unit_label(int units) { return units == kUnitsEnglish ? "yards" : "meters"; }

static const char* const kUnitTexts[4] = {"MIL", "TMOA", "SMOA", "CLICKS"};

const char* unit_code_text(int code)
{
    if (code < 1 || code > kUnitCodeClicks) return nullptr;
    return kUnitTexts[code - 1];
}

int unit_code_from_text(const char* text, bool allow_clicks)
{
    if (!text) return 0;
    int last = allow_clicks ? kUnitCodeClicks : kUnitCodeClicks - 1;
    for (int code = 1; code <= last; ++code)
        if (std::strcmp(text, kUnitTexts[code - 1]) == 0) return code;
    return 0;
}
