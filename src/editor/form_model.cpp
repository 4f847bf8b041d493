#include "editor/form_model.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "profile/units.h"

namespace {

std::string shown(const char* fmt, Quantity q, int units, float stored, int max_chars = 0)
{
    return cut_to_chars(format_number(fmt, to_shown(q, units, stored)), max_chars);
}

// Typed text -> stored float: parsed, converted and rounded once.
float read_back(const std::string& text, Quantity q, int units)
{
    return typed_to_stored(q, units, parse_number(text.c_str()));
}

std::string combo_text(int code, bool has_clicks)
{
    if (!has_clicks && code == kUnitCodeClicks) return "";
    const char* text = unit_code_text(code);
    return text ? text : "";
}

void read_combo(const std::string& text, bool allow_clicks, int32_t& field)
{
    int code = unit_code_from_text(text.c_str(), allow_clicks);
    if (code != 0) field = code;
}

}  // namespace

int32_t parse_click_value(const char* text)
{
    double v = std::trunc(parse_number(text));
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

std::string cut_to_chars(const std::string& text, int max_chars)
{
    if (max_chars <= 0) return text;
    int chars = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (chars == max_chars) return text.substr(0, i);
        ++chars;
    }
    return text;
}

void profile_to_form(GunProfile& p, int units, FormState& f)
{
    f.bw = format_number("%3.0f", p.bw);

    // sd, unit codes and click counts are corrected in the record itself.
    establish_profile_invariants(p);

    if (p.dc == 0 || p.dc == 1) {
        f.g1_active = (p.dc == 0);
        f.custom_curve = false;
    } else {
        f.custom_curve = true;  // radio buttons keep their state
    }

    f.ssfV = format_number("%.2f", p.ssfV);
    f.ssfH = format_number("%.2f", p.ssfH);

    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", static_cast<int>(p.cve));
    f.clickvalE = cut_to_chars(buf, kMaxLenClicks);
    std::snprintf(buf, sizeof buf, "%02d", static_cast<int>(p.cvw));
    f.clickvalW = cut_to_chars(buf, kMaxLenClicks);

    f.eunits = combo_text(p.eu, true);
    f.wunits = combo_text(p.wu, true);
    f.clicke_units = combo_text(p.ce, false);
    f.clickw_units = combo_text(p.cw, false);

    f.bh = shown("%2.2f", Quantity::length, units, p.shi);
    f.zh = shown("%2.2f", Quantity::length, units, p.zh);
    f.zo = shown("%2.2f", Quantity::length, units, p.zo);
    f.bd = shown("%3.3f", Quantity::length, units, p.bd);
    f.bl = shown("%3.3f", Quantity::length, units, p.bl);
    f.tr = shown("%2.2f", Quantity::length, units, p.bt);
    f.mv = shown("%4.0f", Quantity::velocity, units, p.mv);
    f.zr = shown("%4.0f", Quantity::range, units, p.zr);
    for (int i = 0; i < 6; ++i) {
        // A row without velocity is empty, whatever temperature it holds.
        f.temp[i] =
            p.mvt_mv[i] == 0.0f ? "0" : shown("%4.0f", Quantity::temperature, units, p.mvt_temp[i], kMaxLenTable);
    }
    for (int i = 0; i < 6; ++i) f.mvt[i] = shown("%4.0f", Quantity::velocity, units, p.mvt_mv[i], kMaxLenTable);

    for (int i = 0; i < 6; ++i) f.vel[i] = cut_to_chars(format_number("%2.2f", p.vl[i]), kMaxLenMach);
    for (int i = 0; i < 6; ++i)
        f.dsf[i] = cut_to_chars(format_number("%2.3f", p.dsf[i]), i == 0 ? kMaxLenDsfFirst : kMaxLenDsf);
    f.bc = format_number("%2.3f", p.bc);
}

void form_to_profile(const FormState& f, int units, GunProfile& p)
{
    p.shi = read_back(f.bh, Quantity::length, units);
    p.zh = read_back(f.zh, Quantity::length, units);
    p.zo = read_back(f.zo, Quantity::length, units);
    p.bw = read_back(f.bw, Quantity::none, units);
    for (int i = 0; i < 6; ++i) p.mvt_temp[i] = read_back(f.temp[i], Quantity::temperature, units);
    for (int i = 0; i < 6; ++i) p.mvt_mv[i] = read_back(f.mvt[i], Quantity::velocity, units);
    for (int i = 0; i < 6; ++i) p.vl[i] = read_back(f.vel[i], Quantity::none, units);
    for (int i = 0; i < 6; ++i) p.dsf[i] = read_back(f.dsf[i], Quantity::none, units);
    p.bc = read_back(f.bc, Quantity::none, units);
    p.bd = read_back(f.bd, Quantity::length, units);
    p.bl = read_back(f.bl, Quantity::length, units);
    // A custom curve is chosen in the bullet library, not with the radios.
    if (p.dc == 0 || p.dc == 1) p.dc = f.g1_active ? 0 : 1;
    p.bt = read_back(f.tr, Quantity::length, units);
    p.mv = read_back(f.mv, Quantity::velocity, units);
    p.zr = read_back(f.zr, Quantity::range, units);
    p.alt = 0.0f;
    p.ssfV = read_back(f.ssfV, Quantity::none, units);
    p.ssfH = read_back(f.ssfH, Quantity::none, units);
    p.cve = parse_click_value(f.clickvalE.c_str());
    p.cvw = parse_click_value(f.clickvalW.c_str());
    read_combo(f.eunits, true, p.eu);
    read_combo(f.clicke_units, false, p.ce);
    read_combo(f.wunits, true, p.wu);
    read_combo(f.clickw_units, false, p.cw);
    p.temp = kStandardTemperatureF;
    p.pres = kStandardPressureInHg;
    p.maxr = 1094.0f;
}

namespace {

// The record as `f` reads back over `p`, and which of its 4-byte words the
// texts of `now` change against those of `shown`.
template <typename Word>
bool changed_words(const FormState& shown, const FormState& now, int units, const GunProfile& p, Word on_changed)
{
    static_assert(sizeof(GunProfile) % 4 == 0, "the record is whole words");
    GunProfile before = p, after = p;
    form_to_profile(shown, units, before);
    form_to_profile(now, units, after);
    bool any = false;
    const unsigned char* a = reinterpret_cast<const unsigned char*>(&before);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&after);
    for (size_t at = 0; at < sizeof(GunProfile); at += 4) {
        if (std::memcmp(a + at, b + at, 4) == 0) continue;
        any = true;
        on_changed(at, b + at);
    }
    return any;
}

}  // namespace

bool apply_typed_changes(const FormState& shown, const FormState& now, int units, GunProfile& p)
{
    unsigned char* out = reinterpret_cast<unsigned char*>(&p);
    return changed_words(shown, now, units, p,
                         [out](size_t at, const unsigned char* word) { std::memcpy(out + at, word, 4); });
}

bool form_has_changes(const FormState& shown, const FormState& now, int units, const GunProfile& p)
{
    return changed_words(shown, now, units, p, [](size_t, const unsigned char*) {});
}
