// The range card: a title, the conditions and assumptions, the chart and the
// table, drawn with cairo on pages of any size (PDF, printer) or as one tall
// picture (PNG); and the files "Save Range Card..." writes (PDF, PNG, CSV).
#pragma once

#include <cairo.h>

#include <string>
#include <vector>

#include "ballistics/solver.h"

struct range_card {
    std::string title;                // the first line, in bold
    std::vector<std::string> notes;   // conditions and assumptions, a sentence each
    const solution* table = nullptr;  // the rows of the table
    const solution* path = nullptr;   // the chart's (finer) rows; the table's when null
    int units = 1;                    // the unit system (kUnitsMixed ...)
};

// How many pages of `width` x `height` the card takes (at least one).
int range_card_pages(const range_card& c, double width, double height);
// Draws page `page` (from 0) of the card: the first holds the title, notes,
// chart and the first rows; the others carry on with the rows.
void draw_range_card_page(cairo_t* cr, const range_card& c, double width, double height, int page);
// The height of a one-page card `width` wide that holds every row.
double range_card_height(const range_card& c, double width);

enum class range_card_format { pdf, png, csv };
// By the file name's ending (".pdf", ".png", ".csv", any case); `known` is
// false (and PDF given) for any other name.
range_card_format range_card_format_for(const std::string& path, bool* known = nullptr);
// The PNG card's width, in pixels.
constexpr double kRangeCardImageWidth = 1000.0;
// Writes the card (PDF, PNG) or its table (CSV) to `path`, replacing any file
// there only once the whole file is written. False with `error` set when it
// is not written.
bool write_range_card(const std::string& path, const range_card& c, range_card_format format, std::string* error);
