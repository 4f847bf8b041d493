// The editor form as plain texts: what show_profile puts into each widget
// (formats, unit conversions, entry length limits) and how the read-back
// turns the texts into the record again. No toolkit here; editor.cpp moves
// these texts to and from the widgets.
#pragma once

#include <cstdint>
#include <string>

#include "base/numbers.h"  // parse_number, format_number
#include "profile/gun_profile.h"

struct FormState {
    // Entries, by the field they show (widget ids in editor.cpp).
    std::string bw, ssfV, ssfH, clickvalE, clickvalW;
    std::string bh, zh, zo, bd, bl, tr, mv, zr;
    std::string temp[6], mvt[6];  // MV-temperature table
    std::string vel[6], dsf[6];   // drop scale factor table (read-only entries)
    std::string bc;
    // Active item texts of the four unit combos; "" when none is active.
    std::string eunits, wunits, clicke_units, clickw_units;
    bool g1_active = true;      // id_g1_btn active (else id_g7_btn)
    bool custom_curve = false;  // dc is neither 0 nor 1
};

// Entry length limits of the window definition (0 = no limit).
constexpr int kMaxLenTable = 8;     // id_temp_N_entry, id_mv_N_entry
constexpr int kMaxLenMach = 5;      // id_vel_N
constexpr int kMaxLenDsfFirst = 8;  // id_dsf_1
constexpr int kMaxLenDsf = 5;       // id_dsf_2 .. id_dsf_6
constexpr int kMaxLenClicks = 2;    // id_clickvalE, id_clickvalW
constexpr int kMaxLenName = 10;     // id_profile_name

// Fills `f` from `p` under `units`, as show_profile does, correcting `p`
// (sd, unit codes, click counts) on the way. The radio state is set only for
// dc 0 or 1; a click-unit code with no item in its list gives "".
void profile_to_form(GunProfile& p, int units, FormState& f);

// Reads every field of `f` back into `p` under `units`, as
// read_form_into_profile does (conversions, dc rule, alt/temp/pres/maxr).
void form_to_profile(const FormState& f, int units, GunProfile& p);

// The typed texts of `now` that differ from the `shown` ones, read back into
// `p` under `units` field by field; the fields whose texts are unchanged keep
// what `p` holds (no display rounding creeps in). True when a field of `p`
// would change, which is also what form_has_changes tells without storing.
bool apply_typed_changes(const FormState& shown, const FormState& now, int units, GunProfile& p);
bool form_has_changes(const FormState& shown, const FormState& now, int units, const GunProfile& p);

// A click value: parsed, cut towards zero, clamped to the int32 range.
int32_t parse_click_value(const char* text);
// The first `max_chars` characters (UTF-8 aware); 0 keeps everything.
std::string cut_to_chars(const std::string& text, int max_chars);
