// The profile record seen field by field, for a terminal: every field with
// its record name, storage unit and kind in record order; values as text
// that reads back to the same bits; a .pro file read as the editor reads it,
// saying what kind of file it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "profile/gun_profile.h"

enum class FieldKind {
    real,     // 32-bit float
    integer,  // 32-bit signed int
    curve,    // the points of cc, each {mach, cd}
    name,     // the 32 bytes of name
};

struct ProfileField {
    const char* name;  // record name: "bd", "mvt_mv", "cc", ...
    FieldKind kind;
    size_t offset;
    int count;         // 1 for a single value, else the entries (points of cc)
    const char* unit;  // storage unit, "" when the value has none
};

// Every field of the record in record order, name last.
extern const ProfileField kProfileFields[];
extern const size_t kProfileFieldCount;
const ProfileField* find_profile_field(const std::string& name);

// One value of the record: "bd", "dsf[2]", "cc[5].mach", "name".
struct ProfileLeaf {
    std::string label;
    FieldKind kind;  // real, integer or name (a curve point is two reals)
    size_t offset;
    const char* unit;
};
const std::vector<ProfileLeaf>& profile_leaves();

// A float as text that reads back to the same 32 bits: the shortest decimal
// that does, with ".0" when it would look like an integer ("-0.0" keeps the
// sign); "inf", "-inf", and "nan:0x" with the 8 hex digits of the pattern.
std::string real_text(float v);
void append_real(std::string& s, float v);
// The non-finite texts back to their bits; false for any other text.
bool real_from_special_text(const std::string& text, float& v);

float real_at(const GunProfile& p, size_t offset);
int32_t integer_at(const GunProfile& p, size_t offset);

// True when the 32 name bytes are UTF-8 text up to a NUL with only zeros
// after it; such a name is written as text, any other as 64 hex digits.
bool name_is_text(const GunProfile& p);
std::string name_hex(const GunProfile& p);
// `text` as a JSON string literal (quotes, backslashes, control characters
// escaped; other bytes as they are).
std::string json_quoted(const std::string& text);

// The value of one leaf as show and diff print it: the number, the name as a
// quoted JSON string, or "hex:" and its 64 digits.
std::string leaf_text(const GunProfile& p, const ProfileLeaf& leaf);
void append_leaf(std::string& s, const GunProfile& p, const ProfileLeaf& leaf);

// A .pro file as the editor loads it into a new profile: the record, the
// file's size, and a description when it is the older layout ("legacy
// 428-byte file ..."), empty otherwise.
struct LoadedProfile {
    GunProfile record;
    uint64_t file_size = 0;
    std::string source;
};
// The record a new profile starts as: zero, then the new-profile values.
GunProfile fresh_profile();
// False with `error` (the reason, without the path) when the file cannot be
// read (missing, a folder, no permission) or is no profile (its size is
// neither 556 nor 428 bytes).
bool load_profile(const std::string& path, LoadedProfile& out, std::string& error);
// The same for the whole of an input already read (standard input).
bool profile_from_bytes(const unsigned char* bytes, size_t size, LoadedProfile& out, std::string& error);
