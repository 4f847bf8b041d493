// Build step: bullets.tsv -> the constant bullet table and its size header.
// Usage: make_bullet_table <bullets.tsv> <out table .cpp> <out size .h>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "library/bullet_table_build.h"

static bool write_file(const char* path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    return static_cast<bool>(out.flush());
}

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: make_bullet_table <bullets.tsv> <table.cpp> <size.h>\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << argv[1] << ": cannot read\n";
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::vector<bullet_record> records;
    std::string error;
    if (!parse_bullet_data(text.str(), &records, &error)) {
        std::cerr << argv[1] << ": " << error << "\n";
        return 1;
    }
    sort_bullet_records(records);
    if (!write_file(argv[2], bullet_table_source(records)) ||
        !write_file(argv[3], bullet_table_size_header(records.size()))) {
        std::cerr << "make_bullet_table: cannot write the generated files\n";
        std::remove(argv[2]);
        std::remove(argv[3]);
        return 1;
    }
    return 0;
}
