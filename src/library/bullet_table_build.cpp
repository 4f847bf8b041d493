#include "library/bullet_table_build.h"

#include <algorithm>
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
    if (!(*value > 0.0f)) {
        *why = "a known value must be above zero: \"" + cell + "\"";
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
        std::string why;
        if (!parse_value(cells[2], &r.diameter_in, &why) || !parse_value(cells[3], &r.weight_gr, &why) ||
            !parse_value(cells[4], &r.length_in, &why) || !parse_value(cells[5], &r.bc_g1, &why) ||
            !parse_value(cells[6], &r.bc_g7, &why))
            return fail(why);
        if (r.diameter_in == 0.0f || r.weight_gr == 0.0f)
            return fail("diameter and weight must be known");
        if (r.bc_g1 == 0.0f && r.bc_g7 == 0.0f)
            return fail("no coefficient: the bullet would be on no list");
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
