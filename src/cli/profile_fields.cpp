#include "cli/profile_fields.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#define FIELD(f, kind, count, unit) \
    { #f, FieldKind::kind, offsetof(GunProfile, f), count, unit }

const ProfileField kProfileFields[] = {
    FIELD(bd, real, 1, "inches"),
    FIELD(bl, real, 1, "inches"),
    FIELD(bw, real, 1, "grains"),
    FIELD(bt, real, 1, "inches per turn"),
    FIELD(sd, integer, 1, ""),
    FIELD(dsf, real, 6, ""),
    FIELD(vl, real, 6, "Mach"),
    FIELD(dsf_reserved, integer, 1, ""),
    FIELD(cc, curve, 32, ""),
    FIELD(dc, integer, 1, ""),
    FIELD(bc, real, 1, "lb/in²"),
    FIELD(mv, real, 1, "ft/s"),
    FIELD(maxr, real, 1, "yards"),
    FIELD(zr, real, 1, "yards"),
    FIELD(shi, real, 1, "inches"),
    FIELD(zh, real, 1, "inches"),
    FIELD(zo, real, 1, "inches"),
    FIELD(az, real, 1, ""),
    FIELD(lat, real, 1, ""),
    FIELD(lang, real, 1, ""),
    FIELD(spare1, real, 1, ""),
    FIELD(temp, real, 1, "°F"),
    FIELD(pres, real, 1, "inHg"),
    FIELD(hum, real, 1, "percent"),
    FIELD(alt, real, 1, ""),
    FIELD(ws, real, 1, ""),
    FIELD(spare2, real, 1, ""),
    FIELD(wd, real, 1, ""),
    FIELD(ou, integer, 1, ""),
    FIELD(mvt_temp, real, 6, "°F"),
    FIELD(mvt_mv, real, 6, "ft/s"),
    FIELD(spare3, real, 1, ""),
    FIELD(ssfV, real, 1, ""),
    FIELD(ssfH, real, 1, ""),
    FIELD(env2_temp, real, 1, "°F"),
    FIELD(env2_pres, real, 1, "inHg"),
    FIELD(env2_hum, real, 1, "percent"),
    FIELD(env2_alt, real, 1, ""),
    FIELD(eu, integer, 1, ""),
    FIELD(wu, integer, 1, ""),
    FIELD(ce, integer, 1, ""),
    FIELD(cw, integer, 1, ""),
    FIELD(cve, integer, 1, "clicks"),
    FIELD(cvw, integer, 1, "clicks"),
    FIELD(spare4, integer, 4, ""),
    FIELD(name, name, 1, ""),
};
#undef FIELD
const size_t kProfileFieldCount = sizeof kProfileFields / sizeof kProfileFields[0];

const ProfileField* find_profile_field(const std::string& name)
{
    for (const ProfileField& f : kProfileFields)
        if (name == f.name) return &f;
    return nullptr;
}

const std::vector<ProfileLeaf>& profile_leaves()
{
    static const std::vector<ProfileLeaf> leaves = [] {
        std::vector<ProfileLeaf> v;
        for (const ProfileField& f : kProfileFields) {
            if (f.kind == FieldKind::curve) {
                for (int i = 0; i < f.count; ++i) {
                    const size_t at = f.offset + i * sizeof(CurvePoint);
                    const std::string point = std::string(f.name) + "[" + std::to_string(i) + "].";
                    v.push_back({point + "mach", FieldKind::real, at + offsetof(CurvePoint, mach), "Mach"});
                    v.push_back({point + "cd", FieldKind::real, at + offsetof(CurvePoint, cd), ""});
                }
            } else if (f.count == 1) {
                v.push_back({f.name, f.kind, f.offset, f.unit});
            } else {
                for (int i = 0; i < f.count; ++i)
                    v.push_back({std::string(f.name) + "[" + std::to_string(i) + "]", f.kind, f.offset + 4 * i,
                                 f.unit});
            }
        }
        return v;
    }();
    return leaves;
}

void append_real(std::string& s, float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    char buf[32];
    if ((bits & 0x7f800000u) == 0x7f800000u) {
        if ((bits & 0x007fffffu) == 0) {
            s += (bits >> 31) ? "-inf" : "inf";
        } else {
            std::snprintf(buf, sizeof buf, "nan:0x%08x", static_cast<unsigned>(bits));
            s += buf;
        }
        return;
    }
    // Whole numbers below 10^7 (exact in a float) as integers plus ".0":
    // the most common values of a profile, and much cheaper to write.
    if (v > -1e7f && v < 1e7f && v == static_cast<float>(static_cast<int32_t>(v))) {
        char* end = buf;
        if (v == 0.0f && (bits >> 31)) *end++ = '-';
        end = std::to_chars(end, buf + sizeof buf, static_cast<int32_t>(v)).ptr;
        *end++ = '.';
        *end++ = '0';
        s.append(buf, end);
        return;
    }
    char* end = std::to_chars(buf, buf + sizeof buf, v).ptr;
    bool plain = true;
    for (const char* c = buf; c < end; ++c) plain = plain && *c != '.' && *c != 'e';
    if (plain) {
        *end++ = '.';
        *end++ = '0';
    }
    s.append(buf, end);
}

std::string real_text(float v)
{
    std::string s;
    append_real(s, v);
    return s;
}

bool real_from_special_text(const std::string& text, float& v)
{
    uint32_t bits;
    if (text == "inf") {
        bits = 0x7f800000u;
    } else if (text == "-inf") {
        bits = 0xff800000u;
    } else if (text.size() == 14 && text.compare(0, 6, "nan:0x") == 0) {
        bits = 0;
        for (size_t i = 6; i < 14; ++i) {
            const char c = text[i];
            int d;
            if (c >= '0' && c <= '9') d = c - '0';
            else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
            else return false;
            bits = bits << 4 | static_cast<uint32_t>(d);
        }
        if ((bits & 0x7f800000u) != 0x7f800000u || (bits & 0x007fffffu) == 0) return false;  // not a NaN
    } else {
        return false;
    }
    std::memcpy(&v, &bits, 4);
    return true;
}

float real_at(const GunProfile& p, size_t offset)
{
    float v;
    std::memcpy(&v, reinterpret_cast<const unsigned char*>(&p) + offset, 4);
    return v;
}

int32_t integer_at(const GunProfile& p, size_t offset)
{
    int32_t v;
    std::memcpy(&v, reinterpret_cast<const unsigned char*>(&p) + offset, 4);
    return v;
}

bool name_is_text(const GunProfile& p)
{
    const void* nul = std::memchr(p.name, '\0', sizeof p.name);
    if (!nul) return false;
    const size_t n = static_cast<size_t>(static_cast<const char*>(nul) - p.name);
    for (size_t i = n + 1; i < sizeof p.name; ++i)
        if (p.name[i] != '\0') return false;
    return valid_utf8(p.name, n);
}

std::string name_hex(const GunProfile& p)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (char c : p.name) {
        const auto b = static_cast<unsigned char>(c);
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

namespace {

// A JSON string: quotes, backslashes and control characters escaped.
std::string quoted(const std::string& text)
{
    std::string s = "\"";
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            s += '\\';
            s += c;
        } else if (b < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", b);
            s += buf;
        } else {
            s += c;
        }
    }
    return s + "\"";
}

}  // namespace

void append_leaf(std::string& s, const GunProfile& p, const ProfileLeaf& leaf)
{
    switch (leaf.kind) {
    case FieldKind::integer: {
        char buf[16];
        s.append(buf, std::to_chars(buf, buf + sizeof buf, integer_at(p, leaf.offset)).ptr);
        break;
    }
    case FieldKind::name: s += name_is_text(p) ? quoted(p.name) : "hex:" + name_hex(p); break;
    default: append_real(s, real_at(p, leaf.offset)); break;
    }
}

std::string leaf_text(const GunProfile& p, const ProfileLeaf& leaf)
{
    std::string s;
    append_leaf(s, p, leaf);
    return s;
}

std::string json_quoted(const std::string& text) { return quoted(text); }

GunProfile fresh_profile()
{
    GunProfile p;
    std::memset(&p, 0, sizeof p);
    apply_new_profile_values(p);
    return p;
}

namespace {

bool loaded(const ProfileFileRead& r, LoadedProfile& out, std::string& error)
{
    if (!r) {
        error = r.reason;
        return false;
    }
    out.file_size = r.size;
    out.source = r.legacy ? "legacy 428-byte file, read as the editor loads it" : "";
    return true;
}

}  // namespace

bool load_profile(const std::string& path, LoadedProfile& out, std::string& error)
{
    out.record = fresh_profile();
    return loaded(read_profile_file(path, out.record), out, error);
}

bool profile_from_bytes(const unsigned char* bytes, size_t size, LoadedProfile& out, std::string& error)
{
    out.record = fresh_profile();
    return loaded(read_profile_bytes(bytes, size, out.record), out, error);
}
