#include "cli/profile_json.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/profile_fields.h"

namespace {

// Floats are read with strtof, so a number becomes the nearest float in one
// rounding (never through a double first); members keep their order.
using Json = nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool, std::int64_t,
                                  std::uint64_t, float>;

void put_real(std::string& s, const GunProfile& p, size_t offset)
{
    const float v = real_at(p, offset);
    if (std::isfinite(v)) {
        append_real(s, v);
    } else {
        s += '"';
        append_real(s, v);
        s += '"';
    }
}

void put_value(std::string& s, const GunProfile& p, FieldKind kind, size_t offset)
{
    if (kind == FieldKind::integer) {
        char buf[16];
        s.append(buf, std::to_chars(buf, buf + sizeof buf, integer_at(p, offset)).ptr);
    } else {
        put_real(s, p, offset);
    }
}

}  // namespace

std::string profile_to_json(const GunProfile& p, const std::string& source)
{
    std::string s;
    s.reserve(3072);
    s += "{\n";
    if (!source.empty()) s += "  \"source\": " + json_quoted(source) + ",\n";
    for (size_t i = 0; i < kProfileFieldCount; ++i) {
        const ProfileField& f = kProfileFields[i];
        if (f.kind == FieldKind::name) {
            if (name_is_text(p)) s += "  \"name\": " + json_quoted(p.name);
            else s += "  \"name_hex\": \"" + name_hex(p) + '"';
        } else {
            s += "  \"";
            s += f.name;
            s += "\": ";
            if (f.kind == FieldKind::curve) {
                s += "[\n";
                for (int k = 0; k < f.count; ++k) {
                    const size_t at = f.offset + k * sizeof(CurvePoint);
                    s += "    {\"mach\": ";
                    put_real(s, p, at + offsetof(CurvePoint, mach));
                    s += ", \"cd\": ";
                    put_real(s, p, at + offsetof(CurvePoint, cd));
                    s += k + 1 < f.count ? "},\n" : "}\n";
                }
                s += "  ]";
            } else if (f.count > 1) {
                s += '[';
                for (int k = 0; k < f.count; ++k) {
                    if (k) s += ", ";
                    put_value(s, p, f.kind, f.offset + 4 * k);
                }
                s += ']';
            } else {
                put_value(s, p, f.kind, f.offset);
            }
        }
        s += i + 1 < kProfileFieldCount ? ",\n" : "\n";
    }
    return s + "}\n";
}

namespace {

struct Refusal {
    std::string message;
};

[[noreturn]] void refuse(const std::string& message) { throw Refusal{message}; }

// "a number 1.5", "a string \"abc\"", "an array", ...
std::string described(const Json& j)
{
    std::string kind = j.is_number() ? "number" : j.type_name();
    std::string s = (kind[0] == 'a' || kind[0] == 'o' ? "an " : "a ") + kind;
    if (j.is_null()) return "null";
    if (j.is_primitive()) {
        std::string text = j.dump(-1, ' ', false, nlohmann::detail::error_handler_t::replace);
        if (text.size() > 40) text = text.substr(0, 37) + "...";
        s += " " + text;
    }
    return s;
}

float read_real(const Json& j, const std::string& field)
{
    if (j.is_number_float()) return j.get<float>();
    if (j.is_number_unsigned()) return static_cast<float>(j.get<std::uint64_t>());
    if (j.is_number_integer()) return static_cast<float>(j.get<std::int64_t>());
    float v;
    if (j.is_string() && real_from_special_text(j.get_ref<const std::string&>(), v)) return v;
    refuse("field \"" + field + "\": expected a number (or \"inf\", \"-inf\", \"nan:0x\" and 8 hex digits), got " +
           described(j));
}

int32_t read_integer(const Json& j, const std::string& field)
{
    if (j.is_number_unsigned() || j.is_number_integer()) {
        const bool fits = j.is_number_unsigned() ? j.get<std::uint64_t>() <= INT32_MAX
                                                 : j.get<std::int64_t>() >= INT32_MIN && j.get<std::int64_t>() <= INT32_MAX;
        if (!fits) refuse("field \"" + field + "\": " + j.dump() + " is outside the 32-bit integer range");
        return static_cast<int32_t>(j.get<std::int64_t>());
    }
    refuse("field \"" + field + "\": expected an integer, got " + described(j));
}

void store(GunProfile& p, size_t offset, const void* value)
{
    std::memcpy(reinterpret_cast<unsigned char*>(&p) + offset, value, 4);
}

void read_value(const Json& j, const std::string& field, FieldKind kind, GunProfile& p, size_t offset)
{
    if (kind == FieldKind::integer) {
        const int32_t v = read_integer(j, field);
        store(p, offset, &v);
    } else {
        const float v = read_real(j, field);
        store(p, offset, &v);
    }
}

void read_array(const Json& j, const ProfileField& f, GunProfile& p)
{
    const char* what = f.kind == FieldKind::curve ? " points {\"mach\": m, \"cd\": c}" : " values";
    if (!j.is_array()) refuse("field \"" + std::string(f.name) + "\": expected an array of " + std::to_string(f.count) +
                              what + ", got " + described(j));
    if (j.size() != static_cast<size_t>(f.count))
        refuse("field \"" + std::string(f.name) + "\": expected " + std::to_string(f.count) + what + ", got " +
               std::to_string(j.size()));
    for (int k = 0; k < f.count; ++k) {
        const std::string entry = std::string(f.name) + "[" + std::to_string(k) + "]";
        if (f.kind != FieldKind::curve) {
            read_value(j[k], entry, f.kind, p, f.offset + 4 * k);
            continue;
        }
        const Json& point = j[k];
        if (!point.is_object()) refuse("field \"" + entry + "\": expected {\"mach\": m, \"cd\": c}, got " + described(point));
        for (const auto& member : point.items())
            if (member.key() != "mach" && member.key() != "cd") refuse("unknown field \"" + entry + "." + member.key() + "\"");
        for (const char* part : {"mach", "cd"}) {
            const auto it = point.find(part);
            if (it == point.end()) refuse("missing field \"" + entry + "." + part + "\"");
            const size_t at = f.offset + k * sizeof(CurvePoint) +
                              (std::strcmp(part, "mach") == 0 ? offsetof(CurvePoint, mach) : offsetof(CurvePoint, cd));
            read_value(*it, entry + "." + part, FieldKind::real, p, at);
        }
    }
}

void read_name(const Json& doc, GunProfile& p, bool have_base)
{
    const auto text = doc.find("name");
    const auto hex = doc.find("name_hex");
    if (text != doc.end() && hex != doc.end()) refuse("fields \"name\" and \"name_hex\" are both given; keep one");
    if (text != doc.end()) {
        if (!text->is_string()) refuse("field \"name\": expected a text, got " + described(*text));
        const std::string& s = text->get_ref<const std::string&>();
        if (s.find('\0') != std::string::npos) refuse("field \"name\": holds a NUL character; use \"name_hex\"");
        if (s.size() > kProfileNameBytes)
            refuse("field \"name\": " + std::to_string(s.size()) + " bytes, at most " +
                   std::to_string(kProfileNameBytes) + " fit");
        std::memset(p.name, 0, sizeof p.name);
        std::memcpy(p.name, s.data(), s.size());
    } else if (hex != doc.end()) {
        const std::string s = hex->is_string() ? hex->get<std::string>() : std::string();
        bool ok = hex->is_string() && s.size() == 2 * sizeof p.name;
        for (size_t i = 0; ok && i < s.size(); ++i) ok = std::isxdigit(static_cast<unsigned char>(s[i])) != 0;
        if (!ok) refuse("field \"name_hex\": expected 64 hex digits (the 32 bytes of the name), got " + described(*hex));
        for (size_t i = 0; i < sizeof p.name; ++i)
            p.name[i] = static_cast<char>(std::stoi(s.substr(2 * i, 2), nullptr, 16));
    } else if (!have_base) {
        refuse("missing field \"name\" (or \"name_hex\")");
    }
}

// Refuses a member given twice in one object (a reader would otherwise keep
// one of them silently).
struct RepeatedField {
    std::string key;
};

}  // namespace

bool profile_from_json(const std::string& text, const GunProfile* base, GunProfile& out, std::string& error)
{
    try {
        std::vector<std::set<std::string>> open_objects;
        Json doc;
        try {
            doc = Json::parse(text, [&](int, nlohmann::detail::parse_event_t event, Json& parsed) {
                using E = nlohmann::detail::parse_event_t;
                if (event == E::object_start) open_objects.emplace_back();
                else if (event == E::object_end) open_objects.pop_back();
                else if (event == E::key && !open_objects.back().insert(parsed.get<std::string>()).second)
                    throw RepeatedField{parsed.get<std::string>()};
                return true;
            });
        } catch (const RepeatedField& r) {
            refuse("field \"" + r.key + "\" is given twice");
        } catch (const Json::exception& e) {
            // A syntax error, and a number beyond the float range (1e39).
            std::string what = e.what();
            const size_t cut = what.find("] ");
            if (cut != std::string::npos) what.erase(0, cut + 2);
            if (what.size() > 200) what = what.substr(0, 197) + "...";
            refuse("not valid JSON: " + what);
        }
        if (!doc.is_object()) refuse("expected a JSON object holding the profile's fields, got " + described(doc));

        for (const auto& member : doc.items()) {
            const std::string& key = member.key();
            if (key == "source") {
                if (!member.value().is_string()) refuse("field \"source\": expected a text, got " + described(member.value()));
            } else if (key != "name_hex" && !find_profile_field(key)) {
                refuse("unknown field \"" + key + "\"");
            }
        }

        if (base) out = *base;
        else std::memset(&out, 0, sizeof out);
        for (size_t i = 0; i < kProfileFieldCount; ++i) {
            const ProfileField& f = kProfileFields[i];
            if (f.kind == FieldKind::name) {
                read_name(doc, out, base != nullptr);
                continue;
            }
            const auto it = doc.find(f.name);
            if (it == doc.end()) {
                if (!base) refuse("missing field \"" + std::string(f.name) + "\"");
                continue;
            }
            if (f.count > 1 || f.kind == FieldKind::curve) read_array(*it, f, out);
            else read_value(*it, f.name, f.kind, out, f.offset);
        }
        return true;
    } catch (const Refusal& r) {
        error = r.message;
        return false;
    }
}
