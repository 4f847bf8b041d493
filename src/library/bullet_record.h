// The 408-byte bullet record of the built-in table and the table's order
// (maker without regard to case, then diameter, then weight). Shared by the
// build step that makes the table and by the program that reads it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "profile/gun_profile.h"

constexpr int kBulletCurvePoints = 32;
constexpr size_t kBulletTextBytes = 64;
constexpr size_t kMaxManufacturerLength = 29;
constexpr size_t kMaxBulletNameLength = 35;
constexpr int32_t kFirstBulletNumber = 1001;

// A value of 0 is one that is not published: it is never shown or applied.
struct bullet_record {
    int32_t number;
    char manufacturer[kBulletTextBytes];
    char bullet_name[kBulletTextBytes];
    float weight_gr;
    float diameter_in;
    float length_in;
    float bc_g7;            // G7 before G1, as the record form has it
    float bc_g1;
    CurvePoint curve[kBulletCurvePoints];  // same point form as the profile's cc
};

static_assert(sizeof(CurvePoint) == 8);
static_assert(sizeof(bullet_record) == 408, "bullet record must be 408 bytes");
static_assert(offsetof(bullet_record, number) == 0);
static_assert(offsetof(bullet_record, manufacturer) == 4);
static_assert(offsetof(bullet_record, bullet_name) == 68);
static_assert(offsetof(bullet_record, weight_gr) == 132);
static_assert(offsetof(bullet_record, diameter_in) == 136);
static_assert(offsetof(bullet_record, length_in) == 140);
static_assert(offsetof(bullet_record, bc_g7) == 144);
static_assert(offsetof(bullet_record, bc_g1) == 148);
static_assert(offsetof(bullet_record, curve) == 152);

// ASCII comparison without regard to case: letters compare as lower case, so
// a text starting with "{" sorts after every letter. <0, 0 or >0.
inline int compare_manufacturer(const char* a, const char* b) {
    auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; };
    for (;; ++a, ++b) {
        int ca = lower(static_cast<unsigned char>(*a));
        int cb = lower(static_cast<unsigned char>(*b));
        if (ca != cb || ca == 0) return ca - cb;
    }
}

// The table order. Records equal in all three keys keep their data order
// (the build sorts stably).
inline bool bullet_sorts_before(const bullet_record& a, const bullet_record& b) {
    int m = compare_manufacturer(a.manufacturer, b.manufacturer);
    if (m != 0) return m < 0;
    if (a.diameter_in != b.diameter_in) return a.diameter_in < b.diameter_in;
    return a.weight_gr < b.weight_gr;
}
