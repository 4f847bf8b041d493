#include "library/bullet_table_build.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char* const kBulletDataColumns =
    "manufacturer\tname\tdiameter_in\tweight_gr\tlength_in\tbc_g1\tbc_g7\tsource";

namespace {

constexpr size_t kCellCount = 8;

std::vector<std::string> split_tabs(const std::string& line) {
    std::vector<std::string> cells;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        cells.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return cells;
        start = tab + 1;
    }
}

bool printable_ascii(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c <= 0x7e; });
}

// A numeric column of the data: its cell, the record field it fills, its
// plausible bounds (inclusive) and the format the list row shows it with
// (bullet_row: the chosen row's texts are what reach a profile).
struct numeric_column {
    size_t cell;
    const char* name;
    float bullet_record::*field;
    float min, max;
    const char* row_format;
};

// Every row of bullets.tsv lies well inside these bounds (when they were
// chosen the data spanned diameter 0.172 to 0.618 in, weight 20 to 900 gr,
// length 0.684 in (one row), G1 0.029 to 1.095, G7 0.058 to 0.421), and they
// leave room for real bullets beyond it: the smallest calibres, wadcutters,
// the big-bore rifles, the long solids. A decimal point left out or moved, or
// an extra digit, changes a value tenfold or more and lands outside: "0308",
// "3.08" or "0.0308" for 0.308 in, "1555" for 155.5 gr, "6.84" for 0.684 in,
// "05" for 0.5. Coefficients are the exception: real ones span more than
// tenfold, so a G1 below 0.15 or a G7 below 0.08 made ten times larger, or
// one above 0.1 made ten times smaller, stays inside.
const numeric_column kNumericColumns[] = {
    {2, "diameter_in", &bullet_record::diameter_in, 0.1f, 1.0f, "%0.3f"},
    {3, "weight_gr", &bullet_record::weight_gr, 5.0f, 1500.0f, "%3.0f"},
    {4, "length_in", &bullet_record::length_in, 0.1f, 3.0f, "%1.3f"},
    {5, "bc_g1", &bullet_record::bc_g1, 0.01f, 1.5f, "%0.3f"},
    {6, "bc_g7", &bullet_record::bc_g7, 0.01f, 0.8f, "%0.3f"},
};

// Sectional density, weight / 7000 / diameter^2 in lb/in^2, ties the weight
// to the diameter: 0.079 to 0.457 in the data. An extra digit in the weight
// of a light bullet ("450" for 45 gr at 0.224 in gives 1.28) is caught here
// where the weight bounds alone pass it.
constexpr double kMinSectionalDensity = 0.04;
constexpr double kMaxSectionalDensity = 0.7;

std::string number_text(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

// Plain decimals only ("0.51", "155.5", ".221"): no signs, exponents, hex,
// inf or nan, which strtof would take. Empty means unknown (0).
bool parse_value(const std::string& cell, float* value, std::string* why) {
    if (cell.empty()) {
        *value = 0.0f;
        return true;
    }
    size_t digits = 0, dots = 0, others = 0;
    for (char c : cell) {
        if (c >= '0' && c <= '9') ++digits;
        else if (c == '.') ++dots;
        else ++others;
    }
    if (digits == 0 || dots > 1 || others > 0) {
        *why = "not a number: \"" + cell + "\"";
        return false;
    }
    // The build tool runs in the "C" locale, so "." is the decimal point.
    *value = std::strtof(cell.c_str(), nullptr);
    if (!std::isfinite(*value)) {  // 39 digits and more overflow a float
        *why = "not a finite number: \"" + cell + "\"";
        return false;
    }
    if (!(*value > 0.0f)) {
        *why = "a known value must be above zero: \"" + cell + "\"";
        return false;
    }
    return true;
}

// A known value must fit the list row's cell whole (the choice reads the
// cell back, so a cut text would reach the profile) and lie within bounds.
bool plausible_value(const numeric_column& col, float v, const std::string& cell, std::string* why) {
    if (v == 0.0f) return true;
    char text[64];
    int n = std::snprintf(text, sizeof text, col.row_format, static_cast<double>(v));
    if (n < 0 || static_cast<size_t>(n) >= kRowCellBytes) {
        *why = "\"" + cell + "\" does not fit the list's " + std::to_string(kRowCellBytes - 1) + "-character cell";
        return false;
    }
    if (v < col.min || v > col.max) {
        *why = "\"" + cell + "\" is outside the plausible " + number_text(col.min) + " to " + number_text(col.max);
        return false;
    }
    return true;
}

bool same_text_ignoring_case(const char* a, const char* b) {
    return compare_manufacturer(a, b) == 0;
}

std::string format_float(float v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
    std::string s = buf;
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s + "f";
}

std::string quoted(const char* text) {
    std::string s = "\"";
    for (const char* p = text; *p; ++p) {
        if (*p == '"' || *p == '\\') s += '\\';
        s += *p;
    }
    return s + "\"";
}

}  // namespace

bool parse_bullet_data(const std::string& text, std::vector<bullet_record>* records,
                       std::string* error) {
    records->clear();
    size_t line_no = 0, pos = 0;
    bool header_seen = false;
    auto fail = [&](const std::string& why) {
        *error = "line " + std::to_string(line_no) + ": " + why;
        records->clear();
        return false;
    };
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        ++line_no;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (!header_seen) {
            if (line != kBulletDataColumns)
                return fail(std::string("header must be: ") + kBulletDataColumns);
            header_seen = true;
            continue;
        }
        std::vector<std::string> cells = split_tabs(line);
        if (cells.size() != kCellCount)
            return fail("expected " + std::to_string(kCellCount) + " cells, found " +
                        std::to_string(cells.size()));
        for (const std::string& cell : cells)
            if (!printable_ascii(cell)) return fail("text is not printable ASCII");
        const std::string& maker = cells[0];
        const std::string& name = cells[1];
        if (maker.empty() || name.empty()) return fail("manufacturer and name must not be empty");
        if (maker.size() > kMaxManufacturerLength)
            return fail("manufacturer longer than " + std::to_string(kMaxManufacturerLength) + ": " + maker);
        if (name.size() > kMaxBulletNameLength)
            return fail("name longer than " + std::to_string(kMaxBulletNameLength) + ": " + name);

        bullet_record r{};
        r.number = kFirstBulletNumber + static_cast<int32_t>(records->size());
        std::memcpy(r.manufacturer, maker.data(), maker.size());
        std::memcpy(r.bullet_name, name.data(), name.size());
        for (const numeric_column& col : kNumericColumns) {
            std::string why;
            float& v = r.*col.field;
            if (!parse_value(cells[col.cell], &v, &why) || !plausible_value(col, v, cells[col.cell], &why))
                return fail(maker + " " + name + ": " + col.name + " " + why);
        }
        if (r.diameter_in == 0.0f || r.weight_gr == 0.0f)
            return fail("diameter and weight must be known");
        if (r.bc_g1 == 0.0f && r.bc_g7 == 0.0f)
            return fail("no coefficient: the bullet would be on no list");
        double density = r.weight_gr / 7000.0 / (static_cast<double>(r.diameter_in) * r.diameter_in);
        if (density < kMinSectionalDensity || density > kMaxSectionalDensity)
            return fail(maker + " " + name + ": weight_gr " + cells[3] + " and diameter_in " + cells[2] +
                        " give a sectional density of " + number_text(density) + ", outside the plausible " +
                        number_text(kMinSectionalDensity) + " to " + number_text(kMaxSectionalDensity));
        for (const bullet_record& o : *records) {
            if (same_text_ignoring_case(o.manufacturer, r.manufacturer) &&
                same_text_ignoring_case(o.bullet_name, r.bullet_name) &&
                o.diameter_in == r.diameter_in && o.weight_gr == r.weight_gr)
                return fail("duplicate of record " + std::to_string(o.number) + ": " + maker + " " + name);
        }
        records->push_back(r);
    }
    if (!header_seen) return fail("no header line");
    if (records->empty()) return fail("no records");
    return true;
}

void sort_bullet_records(std::vector<bullet_record>& records) {
    std::stable_sort(records.begin(), records.end(), bullet_sorts_before);
}

std::string bullet_table_source(const std::vector<bullet_record>& records) {
    std::string s =
        "// Generated by make_bullet_table from src/library/data/bullets.tsv; do not edit.\n"
        "#include \"library/bullet_table.h\"\n\n"
        "const bullet_record bullet_table[kBulletCount] = {\n";
    for (const bullet_record& r : records) {
        s += "    {" + std::to_string(r.number) + ", " + quoted(r.manufacturer) + ", " +
             quoted(r.bullet_name) + ", " + format_float(r.weight_gr) + ", " +
             format_float(r.diameter_in) + ", " + format_float(r.length_in) + ", " +
             format_float(r.bc_g7) + ", " + format_float(r.bc_g1) + ", {}},\n";
    }
    return s + "};\n";
}

std::string bullet_table_size_header(size_t count) {
    return "// Generated by make_bullet_table; do not edit.\n#pragma once\n\n"
           "constexpr int kBulletCount = " + std::to_string(count) + ";\n";
}
