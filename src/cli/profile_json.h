// A profile record as JSON text, and back, so that any 556-byte record
// survives the trip byte for byte.
//
// The form: one object holding every field of the record under its record
// name, in record order:
//   - a float field is a number written so that it reads back to the same
//     32 bits (the shortest decimal that does, "175.0", "0.308", "-0.0",
//     "3.4028235e+38"); a non-finite one is a string keeping its bits:
//     "inf", "-inf", or "nan:0x" with the pattern's 8 hex digits
//     ("nan:0x7fc00001"); on reading, any JSON number is rounded to the
//     nearest float;
//   - an int field is a JSON integer in the signed 32-bit range;
//   - an array field (dsf, vl, mvt_temp, mvt_mv: 6; spare4: 4) is an array
//     of exactly that many values;
//   - cc is an array of 32 points {"mach": m, "cd": c};
//   - the name is "name", its text up to the NUL, when the 32 bytes are
//     UTF-8 text of at most 31 bytes followed only by zeros; otherwise
//     "name_hex", all 32 bytes as 64 hex digits;
//   - "source", a text, says when the record did not come from a plain
//     556-byte file (a legacy 428-byte file is written as the record the
//     editor loads from it). It is ignored on reading.
// Reading refuses, naming the field: an unknown or repeated field, a value
// of the wrong type, an array of the wrong length, a missing field (unless a
// base record supplies it), a name over 31 bytes (or holding a NUL), both
// "name" and "name_hex", a non-integer or out-of-range int.
#pragma once

#include <string>

#include "profile/gun_profile.h"

// The JSON text of `p`, ending in a newline; `source` is written first when
// it is not empty.
std::string profile_to_json(const GunProfile& p, const std::string& source = std::string());

// Reads `text` into `out`. Fields the text lacks come from `base` when it is
// given; without it they are refused. False, with `error` naming the field,
// when the text is refused; `out` is then unspecified.
bool profile_from_json(const std::string& text, const GunProfile* base, GunProfile& out, std::string& error);
