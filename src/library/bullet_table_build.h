// The build step behind the built-in bullet table: reads the bullet data file,
// rejects bad data, numbers rows in data order and sorts them into table
// order, and writes the generated C++ source and the size header.
#pragma once

#include <string>
#include <vector>

#include "library/bullet_record.h"

// The data file's header line; the columns must stand in this order.
extern const char* const kBulletDataColumns;

// The bytes of a value cell of a list row (kBulletValueText of the table the
// program holds, which the build step cannot include: it makes its size).
constexpr size_t kRowCellBytes = 16;

// Parses the whole data file. On bad data (a wrong header or cell count,
// non-ASCII or overlong text, an unparseable, non-finite or non-positive
// number, a value outside its plausible bounds or too long for its list
// cell, an implausible weight for the diameter, a missing diameter or
// weight, no coefficient at all, a duplicate) returns false with `error`
// naming the line and, for a value, the row and its column. Records come back in data order,
// numbered from 1001.
bool parse_bullet_data(const std::string& text, std::vector<bullet_record>* records,
                       std::string* error);

// Stable sort into the table order (bullet_sorts_before).
void sort_bullet_records(std::vector<bullet_record>& records);

// The generated sources: the constant table and the compile-time count.
std::string bullet_table_source(const std::vector<bullet_record>& records);
std::string bullet_table_size_header(size_t count);
