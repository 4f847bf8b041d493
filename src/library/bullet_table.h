// The built-in bullet table as the program holds it, and the data work of the
// bullet library window: which records each list shows, their row texts, the
// filter, the custom-curve cache and the values a chosen row gives a profile.
#pragma once

#include <cstddef>

#include "bullet_table_size.h"  // generated: kBulletCount follows the data
#include "library/bullet_record.h"
#include "profile/gun_profile.h"

// The list kinds are the profile's drag-curve codes.
constexpr int kBulletListG1 = 0;
constexpr int kBulletListG7 = 1;
constexpr int kBulletListCustom = 10;

constexpr int bullet_count = kBulletCount;
extern const bullet_record bullet_table[kBulletCount];

// Whether a record belongs on a list: G1 with a G1 coefficient, G7 with a G7
// coefficient, custom with a drag curve (any non-zero point).
bool bullet_has_kind(const bullet_record& r, int list_kind);

// Table indices of the records on one list, in table order, that also match
// `filter` (nullptr or "" for all). Writes at most `capacity` indices and
// returns the number of rows.
int bullet_list_rows(const bullet_record* table, int count, int list_kind, const char* filter, int* rows, int capacity);

constexpr size_t kBulletValueText = 16;

// The texts of one row; an unknown value gives "". `bc` stays "" on the
// custom list, which has no BC column.
struct bullet_row_texts {
    char manufacturer[kBulletTextBytes];
    char bullet_name[kBulletTextBytes];
    char caliber[kBulletValueText];  // "%0.3f"
    char weight[kBulletValueText];   // "%3.0f"
    char length[kBulletValueText];   // "%1.3f"
    char bc[kBulletValueText];       // "%0.3f", G1 or G7 by list
};

// `value` through `format` into `buf`, or "" when it is 0 (not published).
void format_bullet_value(char* buf, size_t n, const char* format, float value);

bullet_row_texts bullet_row(const bullet_record& r, int list_kind);

// Of the records on one list, each column's longest text as bullet_row gives
// it: the most characters, and of as many, the fewest blanks (the narrowest
// character of the number formats). Sizes the list's columns once.
bullet_row_texts bullet_longest_texts(const bullet_record* table, int count, int list_kind);

// Case-insensitive "contains" on the texts of the caliber (diameter),
// manufacturer, name and weight columns;
// surrounding blanks in `needle` are ignored and an empty one matches all.
bool bullet_matches_filter(const bullet_record& r, const char* needle);

// What a custom-curve row needs, with the record's points split in two.
struct custom_curve_entry {
    char manufacturer[kBulletTextBytes];
    char bullet_name[kBulletTextBytes];
    float weight;
    float diameter;
    float length;
    float mach[kBulletCurvePoints];
    float cd[kBulletCurvePoints];  // opaque device encoding, copied bit for bit
};
static_assert(sizeof(custom_curve_entry) == 396, "custom curve entry must be 396 bytes");

// Fills `cache` from the records that have a curve, in table order, at most
// `capacity` entries; returns how many were filled.
int fill_custom_curve_cache(const bullet_record* table, int count, custom_curve_entry* cache, int capacity);

// What a chosen row gives the profile, read back from the row's texts as the
// window shows them ("C" locale), so the profile gets the displayed values.
struct bullet_choice {
    int dc;
    float bd;
    float bw;
    float bc;           // 1.0 for a custom curve
    bool length_known;  // an empty length keeps the profile's
    float bl;
};

// False when a text the kind needs is empty or not a number.
bool bullet_choice_from_row(const bullet_row_texts& row, int list_kind, bullet_choice* out);

// Writes the choice into `p`; for a custom curve also its 32 points from
// `curve`, bit for bit. Returns false and changes nothing when a custom
// choice comes without a curve.
bool apply_bullet_choice(GunProfile& p, const bullet_choice& c, const custom_curve_entry* curve);
