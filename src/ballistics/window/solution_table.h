// The preview's table as texts in the user's unit system: column titles with
// their units, the cells of each row, the marks of the zero, transonic and
// subsonic rows, and the whole table as CSV. No toolkit here.
#pragma once

#include <string>
#include <vector>

#include "ballistics/solver.h"

// Range, drop, elevation hold, windage, windage hold, velocity, Mach, energy,
// time, and the row's mark.
constexpr int kTableColumns = 10;
constexpr int kTableMarkColumn = 9;

// Rows closer than `tolerance_yd` become one, keeping the first's numbers
// and every mark: a zero range stored in single precision from a metric
// value (100 m) lands a hair off the metric step's row.
void merge_close_rows(solution& s, double tolerance_yd = 0.01);

// Titles such as "Range (m)", "Elevation (MIL)"; holds name the profile's
// output units of `s`.
// `two_lines` puts the unit under the name ("Drop\n(in)"), for narrow columns.
std::vector<std::string> table_titles(const solution& s, int units, bool two_lines = false);
// The row's cells under `units`, holds in `s`'s output units.
std::vector<std::string> table_cells(const solution& s, const solution_row& r, int units);
// "Zero", "Transonic", "Subsonic" (joined with ", " when a row is several), or "".
std::string row_mark(const solution_row& r);
// A header line of the titles, then one line per row; fields holding a comma
// or quote are quoted. A solution that is not ok gives its `missing` sentence.
std::string table_as_csv(const solution& s, int units);
