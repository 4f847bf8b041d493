#include "link/profile_lines.h"

#include <cctype>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/numbers.h"
#include "link/line_checksum.h"
#include "profile/units.h"

namespace {

// Formats into a line buffer; false when the text did not fit.
bool format_line(std::string& out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
bool format_line(std::string& out, const char* fmt, ...)
{
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0 || static_cast<size_t>(n) >= sizeof buf) return false;
    out.assign(buf, static_cast<size_t>(n));
    return true;
}

// Appends " XX" before the line end; false when the line would grow too long.
bool add_checksum(std::string& line)
{
    char buf[kMaxLineLength + 1];
    if (line.size() + 3 > kMaxLineLength) return false;
    std::memcpy(buf, line.c_str(), line.size() + 1);
    if (!append_line_checksum(buf, sizeof buf)) return false;
    line = buf;
    return true;
}

double d(float v) { return static_cast<double>(v); }

bool all_finite(std::initializer_list<const float*> fields, std::initializer_list<std::pair<const float*, int>> arrays)
{
    for (const float* f : fields)
        if (!std::isfinite(*f)) return false;
    for (auto [a, n] : arrays)
        for (int i = 0; i < n; ++i)
            if (!std::isfinite(a[i])) return false;
    return true;
}

bool curve_finite(const GunProfile& p)
{
    for (const CurvePoint& pt : p.cc)
        if (!std::isfinite(pt.mach) || !std::isfinite(pt.cd)) return false;
    return true;
}

std::string main_line(const GunProfile& p, int form)
{
    const bool standard = p.dc == 0 || p.dc == 1;
    char bc[64], dc[16];  // room for any float: an oversized value makes the line too long, never a cut text
    std::snprintf(bc, sizeof bc, "%1.3f", standard ? d(p.bc) : 1.0);
    std::snprintf(dc, sizeof dc, "%05d", (p.dc >= 0 && p.dc <= 9) ? static_cast<int>(p.dc) : 10);
    const char* twist = form == 1 ? " %+5.1f" : " %5.2f";
    const char* zero = form == 3 ? " %05.1f %05.1f" : " %+05.1f %+05.1f";
    std::string line, part;
    format_line(line, ":AP %s %s %05.0f %1.3f %1.3f %05.0f %05.0f %1.3f", bc, dc, d(p.bw), d(p.bd), d(p.bl), d(p.mv),
                d(p.zr), d(p.shi));
    format_line(part, twist, d(p.bt));
    line += part;
    for (int i = 0; i < 6; ++i) {
        format_line(part, " %1.3f %1.3f", d(p.vl[i]), d(p.dsf[i]));
        line += part;
    }
    format_line(part, " %05d %05d %05d %05d %05d %05d", static_cast<int>(p.eu), static_cast<int>(p.wu),
                static_cast<int>(p.ce), static_cast<int>(p.cw), static_cast<int>(p.cve), static_cast<int>(p.cvw));
    line += part;
    format_line(part, zero, d(p.zh), d(p.zo));
    line += part;
    if (form != 3) {
        format_line(part, " %1.3f %1.3f", d(p.ssfV), d(p.ssfH));
        line += part;
    }
    return line + "\r";
}

std::string series_line(const char* prefix, const char* fmt, const std::vector<float>& values)
{
    std::string line = prefix, part;
    for (float v : values) {
        format_line(part, fmt, d(v));
        line += part;
    }
    return line + "\r";
}

// Tokens of a received line: cut at runs of spaces and commas (commas only
// for a name line), at most kMaxLineLength characters of it used.
std::vector<std::string> tokens(const char* line, const char* separators)
{
    std::string text(line ? line : "", line ? strnlen(line, kMaxLineLength) : 0);
    std::vector<std::string> out;
    size_t i = 0;
    while (i < text.size()) {
        size_t start = text.find_first_not_of(separators, i);
        if (start == std::string::npos) break;
        size_t end = text.find_first_of(separators, start);
        out.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        i = end == std::string::npos ? text.size() : end;
    }
    return out;
}

// The tokens of a data line without its checksum suffix (a space, two
// hexadecimal digits and the line end, where the checksum test reads them):
// the suffix is never a field, so a line short of a field reads 0 there.
std::vector<std::string> data_tokens(const char* line)
{
    std::string text(line ? line : "", line ? strnlen(line, kMaxLineLength) : 0);
    const size_t n = text.size();
    auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    if (n >= 4 && text[n - 4] == ' ' && hex(text[n - 3]) && hex(text[n - 2]) &&
        (text[n - 1] == '\r' || text[n - 1] == '\n'))
        text.resize(n - 4);
    return tokens(text.c_str(), " ,");
}

// Reads the fields of a line one token after another; past the last token
// every field reads 0.
struct field_reader {
    std::vector<std::string> t;
    size_t next = 1;  // token 0 is the prefix

    const char* token() { return next < t.size() ? t[next++].c_str() : ""; }
    float real()
    {
        double v = parse_number(token());
        if (v > FLT_MAX) return HUGE_VALF;
        if (v < -FLT_MAX) return -HUGE_VALF;
        return static_cast<float>(v);
    }
    int32_t integer()
    {
        const char* s = token();
        char* end = nullptr;
        long long v = std::strtoll(s, &end, 10);
        if (end == s) return 0;
        if (v > INT32_MAX) return INT32_MAX;
        if (v < INT32_MIN) return INT32_MIN;
        return static_cast<int32_t>(v);
    }
    void skip(size_t n) { next += n; }
};

}  // namespace

int choose_main_form(bool relay, float device_version, float bt)
{
    // The version is compared as the device reported it, widened to double:
    // 1.12 and 1.12.0 both read as the float nearest 1.12, which lies above.
    const double v = device_version;
    if (!relay && v > 1.12 && v < 1.12001) return 3;
    return bt <= 0.0f ? 1 : 2;
}

std::string count_line(int n)
{
    std::string s;
    format_line(s, ":AG,%02d\r", n);
    return s;
}

std::string slot_line(int slot)
{
    std::string s;
    format_line(s, ":AU,%02d\r", slot);
    return s;
}

std::string request_line(int number)
{
    std::string s;
    format_line(s, ":AD,%02d\r", number);
    return s;
}

bool build_profile_lines(const GunProfile& p, bool relay, float device_version, profile_line_set* out, std::string* why)
{
    auto refuse = [why](const char* text) {
        if (why) *why = text;
        return false;
    };
    const std::string name = profile_name(p);
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7f) return refuse("its name holds a control character");
    // The meters keep ten characters: a longer name would arrive cut.
    size_t chars = 0;
    for (unsigned char c : name) chars += (c & 0xC0) != 0x80;
    if (!relay && chars > 10)
        return refuse("its name is longer than the 10 characters the device keeps; rename it first");
    const bool standard = p.dc == 0 || p.dc == 1;
    const float bc = standard ? p.bc : 1.0f;
    if (!all_finite({&bc, &p.bw, &p.bd, &p.bl, &p.mv, &p.zr, &p.shi, &p.bt, &p.zh, &p.zo, &p.ssfV, &p.ssfH},
                    {{p.vl, 6}, {p.dsf, 6}, {p.mvt_temp, 6}, {p.mvt_mv, 6}}) ||
        !curve_finite(p))
        return refuse("it holds a value that is not a number");

    profile_line_set lines;
    lines.name = (relay ? ":AN," : ":AN,*") + name + "\r";
    lines.main = main_line(p, choose_main_form(relay, device_version, p.bt));
    std::vector<float> table(p.mvt_temp, p.mvt_temp + 6), cd, mach;
    table.insert(table.end(), p.mvt_mv, p.mvt_mv + 6);
    for (const CurvePoint& pt : p.cc) {
        cd.push_back(pt.cd);
        mach.push_back(pt.mach);
    }
    lines.mv_table = series_line(":AV", " %05.0f", table);
    lines.drag = series_line(":AC", " %3.3f", cd);
    lines.mach = series_line(":AM", " %3.3f", mach);
    for (std::string* data : {&lines.main, &lines.mv_table, &lines.drag, &lines.mach})
        if (!add_checksum(*data)) return refuse("a value is too large for its line");
    *out = lines;
    return true;
}

std::string received_name(const char* line)
{
    std::vector<std::string> t = tokens(line, ",");
    std::string name = t.size() > 1 ? t[1] : "";
    // The line end comes with the last token; a name line that lost it keeps
    // every character of its name.
    while (!name.empty() && (name.back() == '\r' || name.back() == '\n')) name.pop_back();
    if (!name.empty() && (name[0] == '|' || name[0] == '*')) {
        name.erase(0, 1);
        // Ten characters, not bytes: a character of several bytes stays whole.
        size_t chars = 0, i = 0;
        for (; i < name.size(); ++i) {
            if ((static_cast<unsigned char>(name[i]) & 0xC0) == 0x80) continue;
            if (chars == 10) break;
            ++chars;
        }
        name.resize(i);
    }
    GunProfile cut{};
    set_profile_name(cut, name.c_str());
    return profile_name(cut);
}

void begin_received_profile(GunProfile& p, const char* line)
{
    apply_received_profile_values(p);
    set_profile_name(p, received_name(line).c_str());
}

void read_main_line(GunProfile& p, const char* line, transfer_style style, float device_version)
{
    const bool bulk = style == transfer_style::bulk;
    field_reader r{data_tokens(line)};
    p.bc = r.real();
    if (bulk) {
        p.dc = r.integer();
    } else {
        float dc = r.real();
        p.dc = std::isfinite(dc) && std::fabs(dc) < 2147483520.0f ? static_cast<int32_t>(dc) : 0;
    }
    for (float* f : {&p.bw, &p.bd, &p.bl, &p.mv, &p.zr, &p.shi, &p.bt}) *f = r.real();
    for (int i = 0; i < 6; ++i) {
        p.vl[i] = r.real();
        p.dsf[i] = r.real();
    }
    for (int32_t* code : {&p.eu, &p.wu, &p.ce, &p.cw, &p.cve, &p.cvw}) *code = r.integer();
    if (bulk) {
        if (p.ce == 10) p.ce = p.eu;
        if (p.cw == 10) p.cw = p.wu;
    }
    if (!bulk || static_cast<double>(device_version) > 1.12001) {
        p.zh = r.real();
        p.zo = r.real();
    } else {
        r.skip(2);
        p.zh = 0.0f;
        p.zo = 0.0f;
    }
    if (!bulk || strnlen(line, kMaxLineLength + 1) > 182) {
        p.ssfV = r.real();
        p.ssfH = r.real();
    } else {
        p.ssfV = 1.0f;
        p.ssfH = 1.0f;
    }
    // Bounds inclusive; anything else, a non-number included, is 1.
    for (float* ssf : {&p.ssfV, &p.ssfH})
        if (!(*ssf >= 0.1f && *ssf <= 10.0f)) *ssf = 1.0f;
}

void read_mv_table_line(GunProfile& p, const char* line)
{
    field_reader r{data_tokens(line)};
    for (float& t : p.mvt_temp) t = r.real();
    for (float& v : p.mvt_mv) v = r.real();
}

void read_drag_line(GunProfile& p, const char* line)
{
    field_reader r{data_tokens(line)};
    for (CurvePoint& pt : p.cc) pt.cd = r.real();
}

void read_mach_line(GunProfile& p, const char* line)
{
    field_reader r{data_tokens(line)};
    for (CurvePoint& pt : p.cc) pt.mach = r.real();
}
