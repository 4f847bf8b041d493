#include "cli/profile_report.h"

#include <cstring>
#include <map>

#include "editor/form_model.h"
#include "profile/units.h"

namespace {

// What a code means, for the fields that hold codes.
std::string meaning(const ProfileLeaf& leaf, int32_t v)
{
    const std::string& n = leaf.label;
    if (n == "dc") return v == 0 ? "G1" : v == 1 ? "G7" : "custom curve";
    const bool output = n == "eu" || n == "wu";
    if (output || n == "ce" || n == "cw") {
        const int top = output ? 4 : 3;
        if (v >= 1 && v <= top) return unit_code_text(v);
        return "no such unit; the editor sets 1 (MIL)";
    }
    if ((n == "cve" || n == "cvw") && (v < 1 || v > 20)) return "outside 1..20; the editor sets 1";
    return "";
}

struct FormText {
    std::string text;
    const char* label;
};

// The form's text for each value it shows, by leaf label.
std::map<std::string, FormText> form_texts(const GunProfile& record, int units)
{
    GunProfile p = record;
    FormState f;
    profile_to_form(p, units, f);
    const char* length = length_unit_label(units);
    std::map<std::string, FormText> m = {
        {"bd", {f.bd, length}},      {"bl", {f.bl, length}},   {"bw", {f.bw, "grains"}},
        {"bt", {f.tr, length}},      {"bc", {f.bc, "lb/in^2"}}, {"mv", {f.mv, velocity_unit_label(units)}},
        {"zr", {f.zr, range_unit_label(units)}},                {"shi", {f.bh, length}},
        {"zh", {f.zh, length}},      {"zo", {f.zo, length}},   {"ssfV", {f.ssfV, ""}},
        {"ssfH", {f.ssfH, ""}},      {"eu", {f.eunits, ""}},   {"wu", {f.wunits, ""}},
        {"ce", {f.clicke_units, ""}}, {"cw", {f.clickw_units, ""}}, {"cve", {f.clickvalE, ""}},
        {"cvw", {f.clickvalW, ""}},
        {"dc", {f.custom_curve ? "custom curve" : f.g1_active ? "G1" : "G7", ""}},
    };
    for (int i = 0; i < 6; ++i) {
        const std::string k = "[" + std::to_string(i) + "]";
        m["mvt_temp" + k] = {f.temp[i], ""};
        m["mvt_mv" + k] = {f.mvt[i], ""};
        m["vl" + k] = {f.vel[i], ""};
        m["dsf" + k] = {f.dsf[i], ""};
    }
    return m;
}

// Pads the line that begins at `line_start` to `column`, at least one space.
void pad(std::string& s, size_t line_start, size_t column)
{
    s += ' ';
    if (s.size() - line_start < column) s.append(column - (s.size() - line_start), ' ');
}

}  // namespace

std::string show_text(const GunProfile& p, int units)
{
    std::map<std::string, FormText> form;
    if (units) form = form_texts(p, units);
    const std::vector<ProfileLeaf>& leaves = profile_leaves();
    // "  name" padded to the value column, made once.
    static const std::vector<std::string> heads = [&] {
        std::vector<std::string> h;
        for (const ProfileLeaf& leaf : leaves) {
            std::string s = "  " + leaf.label;
            pad(s, 0, 16);
            h.push_back(s);
        }
        return h;
    }();
    const float sd_wanted = p.bt >= 0.0f ? 1 : -1;
    std::string out;
    out.reserve(12000);
    for (size_t i = 0; i < leaves.size(); ++i) {
        const ProfileLeaf& leaf = leaves[i];
        const size_t start = out.size();
        out += heads[i];
        append_leaf(out, p, leaf);
        std::string note;
        if (leaf.kind == FieldKind::integer) {
            note = meaning(leaf, integer_at(p, leaf.offset));
            if (leaf.label == "sd" && p.sd != sd_wanted)
                note = std::string("not the sign of bt; the editor sets ") + (sd_wanted > 0 ? "1" : "-1");
        }
        if (leaf.unit[0] || !note.empty()) {
            pad(out, start, 32);
            out += leaf.unit;
            if (!note.empty()) out += leaf.unit[0] ? " (" + note + ")" : note;
        }
        if (units) {
            const auto it = form.find(leaf.label);
            if (it != form.end()) {
                pad(out, start, 52);
                out += "form: ";
                out += it->second.text.empty() ? std::string("(nothing)") : "\"" + it->second.text + "\"";
                if (it->second.label[0]) out += std::string(" ") + it->second.label;
            }
        }
        out += '\n';
    }
    return out;
}

std::string diff_text(const GunProfile& a, const GunProfile& b)
{
    const auto* ra = reinterpret_cast<const unsigned char*>(&a);
    const auto* rb = reinterpret_cast<const unsigned char*>(&b);
    std::string out;
    for (const ProfileLeaf& leaf : profile_leaves()) {
        const size_t size = leaf.kind == FieldKind::name ? sizeof a.name : 4;
        if (std::memcmp(ra + leaf.offset, rb + leaf.offset, size) == 0) continue;
        const std::string unit = leaf.unit[0] ? std::string(" ") + leaf.unit : std::string();
        out += leaf.label + ": " + leaf_text(a, leaf) + unit + " -> " + leaf_text(b, leaf) + unit + '\n';
    }
    return out;
}

std::string port_line(const serial_port_info& info)
{
    std::string line(info.port_name, strnlen(info.port_name, 63));
    const char* base = std::strrchr(info.port_name, '/');
    base = base ? base + 1 : info.port_name;
    const char* friendly = info.friendly_name ? info.friendly_name : "";
    if (friendly[0] && std::strcmp(friendly, info.port_name) != 0 && std::strcmp(friendly, base) != 0)
        line += std::string("  ") + friendly;
    return line;
}
