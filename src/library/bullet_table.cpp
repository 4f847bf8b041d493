#include "library/bullet_table.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "base/numbers.h"

namespace {

bool has_curve(const bullet_record& r)
{
    for (const CurvePoint& pt : r.curve)
        if (pt.mach != 0.0f || pt.cd != 0.0f) return true;
    return false;
}

// Record texts are NUL-terminated within their 64 bytes; a test table might
// not be, so copy bounded.
void copy_text(char (&dst)[kBulletTextBytes], const char (&src)[kBulletTextBytes])
{
    size_t len = strnlen(src, kBulletTextBytes - 1);
    std::memcpy(dst, src, len);
    std::memset(dst + len, 0, kBulletTextBytes - len);
}

bool contains_ignoring_case(const char* hay, const char* needle, size_t needle_len)
{
    size_t hay_len = std::strlen(hay);
    for (size_t i = 0; i + needle_len <= hay_len; ++i) {
        size_t k = 0;
        while (k < needle_len && std::tolower(static_cast<unsigned char>(hay[i + k])) ==
                                     std::tolower(static_cast<unsigned char>(needle[k])))
            ++k;
        if (k == needle_len) return true;
    }
    return false;
}

// Whether `a` is a longer text than `b`: more characters (UTF-8), and of as
// many, fewer blanks.
bool longer_text(const char* a, const char* b)
{
    auto measure = [](const char* t, int* chars, int* blanks) {
        *chars = *blanks = 0;
        for (; *t; ++t) {
            *chars += (static_cast<unsigned char>(*t) & 0xC0) != 0x80;
            *blanks += *t == ' ';
        }
    };
    int ca, ba, cb, bb;
    measure(a, &ca, &ba);
    measure(b, &cb, &bb);
    return ca != cb ? ca > cb : ba < bb;
}

template <size_t N>
void keep_longer(char (&kept)[N], const char (&text)[N])
{
    if (longer_text(text, kept)) std::memcpy(kept, text, N);
}

// A decimal number and nothing but blanks after it.
bool parse_c_number(const char* text, float* value)
{
    double v = 0.0;
    const char* end = nullptr;
    if (!read_decimal(text, &v, &end)) return false;
    while (*end == ' ') ++end;
    if (*end != '\0') return false;
    *value = static_cast<float>(v);
    return true;
}

}  // namespace

bool bullet_has_kind(const bullet_record& r, int list_kind)
{
    switch (list_kind) {
    case kBulletListG1: return r.bc_g1 != 0.0f;
    case kBulletListG7: return r.bc_g7 != 0.0f;
    case kBulletListCustom: return has_curve(r);
    default: return false;
    }
}

int bullet_list_rows(const bullet_record* table, int count, int list_kind, const char* filter, int* rows, int capacity)
{
    int n = 0;
    for (int i = 0; i < count; ++i) {
        if (!bullet_has_kind(table[i], list_kind)) continue;
        if (filter && !bullet_matches_filter(table[i], filter)) continue;
        if (n == capacity) break;
        rows[n++] = i;
    }
    return n;
}

void format_bullet_value(char* buf, size_t n, const char* format, float value)
{
    if (n == 0) return;
    if (value == 0.0f) {
        buf[0] = '\0';
        return;
    }
    std::snprintf(buf, n, format, static_cast<double>(value));
}

bullet_row_texts bullet_row(const bullet_record& r, int list_kind)
{
    bullet_row_texts t{};
    copy_text(t.manufacturer, r.manufacturer);
    copy_text(t.bullet_name, r.bullet_name);
    format_bullet_value(t.caliber, sizeof t.caliber, "%0.3f", r.diameter_in);
    format_bullet_value(t.weight, sizeof t.weight, "%3.0f", r.weight_gr);
    format_bullet_value(t.length, sizeof t.length, "%1.3f", r.length_in);
    if (list_kind == kBulletListG1) format_bullet_value(t.bc, sizeof t.bc, "%0.3f", r.bc_g1);
    if (list_kind == kBulletListG7) format_bullet_value(t.bc, sizeof t.bc, "%0.3f", r.bc_g7);
    return t;
}

bullet_row_texts bullet_longest_texts(const bullet_record* table, int count, int list_kind)
{
    bullet_row_texts longest{};
    for (int i = 0; i < count; ++i) {
        if (!bullet_has_kind(table[i], list_kind)) continue;
        bullet_row_texts t = bullet_row(table[i], list_kind);
        keep_longer(longest.manufacturer, t.manufacturer);
        keep_longer(longest.bullet_name, t.bullet_name);
        keep_longer(longest.caliber, t.caliber);
        keep_longer(longest.weight, t.weight);
        keep_longer(longest.length, t.length);
        keep_longer(longest.bc, t.bc);
    }
    return longest;
}

bool bullet_matches_filter(const bullet_record& r, const char* needle)
{
    if (!needle) return true;
    while (*needle == ' ' || *needle == '\t') ++needle;
    size_t len = std::strlen(needle);
    while (len > 0 && (needle[len - 1] == ' ' || needle[len - 1] == '\t')) --len;
    if (len == 0) return true;
    bullet_row_texts t = bullet_row(r, kBulletListCustom);
    return contains_ignoring_case(t.caliber, needle, len) || contains_ignoring_case(t.manufacturer, needle, len) ||
           contains_ignoring_case(t.bullet_name, needle, len) || contains_ignoring_case(t.weight, needle, len);
}

int fill_custom_curve_cache(const bullet_record* table, int count, custom_curve_entry* cache, int capacity)
{
    int n = 0;
    for (int i = 0; i < count && n < capacity; ++i) {
        const bullet_record& r = table[i];
        if (!has_curve(r)) continue;
        custom_curve_entry& e = cache[n++];
        copy_text(e.manufacturer, r.manufacturer);
        copy_text(e.bullet_name, r.bullet_name);
        e.weight = r.weight_gr;
        e.diameter = r.diameter_in;
        e.length = r.length_in;
        for (int k = 0; k < kBulletCurvePoints; ++k) {
            std::memcpy(&e.mach[k], &r.curve[k].mach, sizeof(float));
            std::memcpy(&e.cd[k], &r.curve[k].cd, sizeof(float));
        }
    }
    return n;
}

bool bullet_choice_from_row(const bullet_row_texts& row, int list_kind, bullet_choice* out)
{
    if (list_kind != kBulletListG1 && list_kind != kBulletListG7 && list_kind != kBulletListCustom) return false;
    bullet_choice c{};
    c.dc = list_kind;
    if (!parse_c_number(row.caliber, &c.bd) || !parse_c_number(row.weight, &c.bw)) return false;
    if (list_kind == kBulletListCustom) {
        c.bc = 1.0f;
    } else if (!parse_c_number(row.bc, &c.bc)) {
        return false;
    }
    c.length_known = row.length[0] != '\0';
    if (c.length_known && !parse_c_number(row.length, &c.bl)) return false;
    *out = c;
    return true;
}

bool apply_bullet_choice(GunProfile& p, const bullet_choice& c, const custom_curve_entry* curve)
{
    if (c.dc == kBulletListCustom && !curve) return false;
    p.dc = c.dc;
    p.bd = c.bd;
    p.bw = c.bw;
    p.bc = c.bc;
    if (c.length_known) p.bl = c.bl;
    if (c.dc == kBulletListCustom) {
        for (int k = 0; k < kBulletCurvePoints; ++k) {
            std::memcpy(&p.cc[k].mach, &curve->mach[k], sizeof(float));
            std::memcpy(&p.cc[k].cd, &curve->cd[k], sizeof(float));
        }
    }
    return true;
}
