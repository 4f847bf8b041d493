#include "ballistics/window/range_card.h"

#include <cairo-pdf.h>

#include <algorithm>
#include <cctype>
#include <cmath>

#include "ballistics/window/solution_table.h"
#include "ballistics/window/trajectory_chart.h"
#include "base/file_replace.h"
#include "profile/units.h"

namespace {

// Relative widths of the table's columns, in kTableColumns order.
constexpr double kColumnWeights[kTableColumns] = {8, 8, 10, 9, 10, 9, 7, 9, 8, 15};

// Largest picture cairo makes.
constexpr double kMaxImageHeight = 32000.0;

struct card_geometry {
    double font = 10, margin = 30, line_h = 12, row_h = 13, header_h = 16;
    std::vector<std::string> note_lines;
    double notes_top = 0, chart_top = 0, chart_h = 0, table_top_first = 0, table_top_next = 0;
    int rows_first = 0, rows_next = 1;
};

const solution& chart_solution(const range_card& c) { return c.path ? *c.path : *c.table; }
bool has_rows(const range_card& c) { return c.table && c.table->ok; }
size_t row_count(const range_card& c) { return has_rows(c) ? c.table->rows.size() : 0; }

enum class text_style { regular, bold, italic };

// The card's text styles, each face made once and held while pages are
// drawn: every string of a style is set in that one face, so a PDF or a
// printer gets one font per style however many strings a page has.
class card_fonts {
public:
    card_fonts()
    {
        faces_[0] = cairo_toy_font_face_create("sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        faces_[1] = cairo_toy_font_face_create("sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
        faces_[2] = cairo_toy_font_face_create("sans-serif", CAIRO_FONT_SLANT_ITALIC, CAIRO_FONT_WEIGHT_NORMAL);
    }
    ~card_fonts()
    {
        for (cairo_font_face_t* f : faces_) cairo_font_face_destroy(f);
    }
    card_fonts(const card_fonts&) = delete;
    card_fonts& operator=(const card_fonts&) = delete;

    void use(cairo_t* cr, text_style style, double size) const
    {
        cairo_set_font_face(cr, faces_[static_cast<int>(style)]);
        cairo_set_font_size(cr, size);
    }

private:
    cairo_font_face_t* faces_[3];
};

double text_width(cairo_t* cr, const std::string& s)
{
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    return e.x_advance;
}

// Each note flowed into lines no wider than `width`.
std::vector<std::string> wrap(cairo_t* cr, const std::vector<std::string>& notes, double width)
{
    std::vector<std::string> lines;
    for (const std::string& note : notes) {
        std::string line;
        size_t at = 0;
        while (at < note.size()) {
            size_t end = note.find(' ', at);
            std::string word = note.substr(at, end == std::string::npos ? std::string::npos : end - at);
            at = end == std::string::npos ? note.size() : end + 1;
            std::string tried = line.empty() ? word : line + " " + word;
            if (!line.empty() && text_width(cr, tried) > width) {
                lines.push_back(line);
                line = word;
            } else {
                line = tried;
            }
        }
        lines.push_back(line);
    }
    return lines;
}

// A card of unlimited height when `height` is 0 (the picture).
card_geometry geometry(const range_card& c, double width, double height, const card_fonts& fonts)
{
    card_geometry g;
    g.font = std::clamp(width / 68.0, 6.0, 18.0);
    g.margin = g.font * 3;
    g.line_h = g.font * 1.3;
    g.row_h = g.font * 1.35;
    g.header_h = g.font * 2.8;
    cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(scratch);
    fonts.use(cr, text_style::regular, g.font * 0.9);
    g.note_lines = wrap(cr, c.notes, width - 2 * g.margin);
    cairo_destroy(cr);
    cairo_surface_destroy(scratch);

    g.notes_top = g.margin + g.font * 2.2;
    g.chart_top = g.notes_top + g.line_h * static_cast<double>(g.note_lines.size()) + g.font * 0.8;
    double content_w = width - 2 * g.margin;
    g.chart_h = height > 0 ? std::min(height * 0.36, content_w * 0.55) : content_w * 0.45;
    g.table_top_first = g.chart_top + g.chart_h + g.font;
    g.table_top_next = g.margin + g.font * 2.2;
    if (height > 0) {
        double bottom = height - g.margin - g.row_h * 1.5;  // room for the end note
        g.rows_first = std::max(0, static_cast<int>((bottom - g.table_top_first - g.header_h) / g.row_h));
        g.rows_next = std::max(1, static_cast<int>((bottom - g.table_top_next - g.header_h) / g.row_h));
    } else {
        g.rows_first = static_cast<int>(row_count(c));
    }
    return g;
}

void fill_rect(cairo_t* cr, double x, double y, double w, double h, double r, double gr, double b)
{
    cairo_set_source_rgb(cr, r, gr, b);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
}

// Cells right-aligned in their columns, the mark left-aligned.
void draw_table_line(cairo_t* cr, const std::vector<std::string>& cells, double left, double width, double baseline)
{
    double total = 0;
    for (double w : kColumnWeights) total += w;
    double x = left;
    for (int i = 0; i < kTableColumns && i < static_cast<int>(cells.size()); ++i) {
        double w = kColumnWeights[i] / total * width;
        if (i == kTableMarkColumn) cairo_move_to(cr, x + w * 0.08, baseline);
        else cairo_move_to(cr, x + w - w * 0.08 - text_width(cr, cells[i]), baseline);
        cairo_show_text(cr, cells[i].c_str());
        x += w;
    }
}

void draw_rows(cairo_t* cr, const range_card& c, const card_geometry& g, const card_fonts& fonts, double width,
               double top, size_t first, size_t count, bool last_page)
{
    const solution& s = *c.table;
    double left = g.margin, w = width - 2 * g.margin;
    fill_rect(cr, left, top, w, g.header_h, 0.90, 0.90, 0.90);
    cairo_set_source_rgb(cr, 0, 0, 0);
    fonts.use(cr, text_style::bold, g.font * 0.85);
    // Names on the first line, units under them.
    std::vector<std::string> names, units;
    for (const std::string& t : table_titles(s, c.units, true)) {
        size_t nl = t.find('\n');
        names.push_back(t.substr(0, nl));
        units.push_back(nl == std::string::npos ? "" : t.substr(nl + 1));
    }
    draw_table_line(cr, names, left, w, top + g.font * 1.2);
    fonts.use(cr, text_style::regular, g.font * 0.85);
    draw_table_line(cr, units, left, w, top + g.font * 2.3);
    fonts.use(cr, text_style::regular, g.font * 0.9);
    double y = top + g.header_h;
    for (size_t i = first; i < first + count && i < s.rows.size(); ++i) {
        const solution_row& r = s.rows[i];
        // The marks take the chart's colours, faintly.
        chart_colour tint = r.subsonic ? kChartSubsonic : r.transonic ? kChartTransonic : kChartZero;
        if (r.zero || r.transonic || r.subsonic)
            fill_rect(cr, left, y, w, g.row_h, 1 - (1 - tint.r) * 0.2, 1 - (1 - tint.g) * 0.2, 1 - (1 - tint.b) * 0.2);
        else if ((i - first) % 2) fill_rect(cr, left, y, w, g.row_h, 0.965, 0.965, 0.965);
        cairo_set_source_rgb(cr, 0, 0, 0);
        draw_table_line(cr, table_cells(s, r, c.units), left, w, y + g.row_h * 0.74);
        y += g.row_h;
    }
    if (last_page && !s.end_note.empty()) {
        fonts.use(cr, text_style::italic, g.font * 0.9);
        cairo_move_to(cr, left, y + g.row_h);
        cairo_show_text(cr, s.end_note.c_str());
    }
}

cairo_status_t append_bytes(void* closure, const unsigned char* data, unsigned int length)
{
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

std::string lower(std::string s)
{
    for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

}  // namespace

int range_card_pages(const range_card& c, double width, double height)
{
    card_geometry g = geometry(c, width, height, card_fonts());
    int rows = static_cast<int>(row_count(c));
    if (rows <= g.rows_first) return 1;
    return 1 + (rows - g.rows_first + g.rows_next - 1) / g.rows_next;
}

double range_card_height(const range_card& c, double width)
{
    card_geometry g = geometry(c, width, 0, card_fonts());
    return g.table_top_first + g.header_h + g.row_h * (static_cast<double>(row_count(c)) + 2.0) + g.margin;
}

namespace {

void draw_page(cairo_t* cr, const range_card& c, const card_geometry& g, const card_fonts& fonts, double width,
               int page)
{
    cairo_save(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    fonts.use(cr, text_style::bold, g.font * 1.3);
    cairo_move_to(cr, g.margin, g.margin + g.font * 1.3);
    std::string title = page == 0 ? c.title : c.title + " (continued)";
    cairo_show_text(cr, title.c_str());

    size_t rows = row_count(c);
    if (page == 0) {
        fonts.use(cr, text_style::regular, g.font * 0.9);
        double y = g.notes_top;
        for (const std::string& line : g.note_lines) {
            cairo_move_to(cr, g.margin, y + g.font);
            cairo_show_text(cr, line.c_str());
            y += g.line_h;
        }
        if (c.table) {
            cairo_save(cr);
            cairo_translate(cr, g.margin, g.chart_top);
            draw_trajectory_chart(cr, width - 2 * g.margin, g.chart_h, chart_solution(c), c.units, g.font * 0.9);
            cairo_restore(cr);
        }
    }
    if (has_rows(c)) {
        size_t first = page == 0 ? 0 : static_cast<size_t>(g.rows_first) + static_cast<size_t>(page - 1) * g.rows_next;
        size_t count = page == 0 ? static_cast<size_t>(g.rows_first) : static_cast<size_t>(g.rows_next);
        if (first < rows || (rows == 0 && page == 0)) {
            bool last = first + count >= rows;
            draw_rows(cr, c, g, fonts, width, page == 0 ? g.table_top_first : g.table_top_next, first, count, last);
        }
    }
    cairo_restore(cr);
}

}  // namespace

void draw_range_card_page(cairo_t* cr, const range_card& c, double width, double height, int page)
{
    card_fonts fonts;
    draw_page(cr, c, geometry(c, width, height, fonts), fonts, width, page);
}

range_card_format range_card_format_for(const std::string& path, bool* known)
{
    std::string p = lower(path);
    auto ends = [&p](const char* e) { return p.size() >= 4 && p.compare(p.size() - 4, 4, e) == 0; };
    if (known) *known = ends(".pdf") || ends(".png") || ends(".csv");
    if (ends(".png")) return range_card_format::png;
    if (ends(".csv")) return range_card_format::csv;
    return range_card_format::pdf;
}

bool write_range_card(const std::string& path, const range_card& c, range_card_format format, std::string* error)
{
    std::string bytes;
    if (format == range_card_format::csv) {
        if (c.table) bytes = table_as_csv(*c.table, c.units);
    } else if (format == range_card_format::pdf) {
        // Letter for the English-unit systems, A4 for Metric.
        double w = c.units == kUnitsMetric ? 595.28 : 612.0, h = c.units == kUnitsMetric ? 841.89 : 792.0;
        cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(append_bytes, &bytes, w, h);
        cairo_t* cr = cairo_create(surface);
        card_fonts fonts;
        card_geometry g = geometry(c, w, h, fonts);
        int pages = range_card_pages(c, w, h);
        for (int i = 0; i < pages; ++i) {
            draw_page(cr, c, g, fonts, w, i);
            cairo_show_page(cr);
        }
        cairo_destroy(cr);
        cairo_surface_finish(surface);
        cairo_status_t status = cairo_surface_status(surface);
        cairo_surface_destroy(surface);
        if (status != CAIRO_STATUS_SUCCESS) {
            if (error) *error = cairo_status_to_string(status);
            return false;
        }
    } else {
        double w = kRangeCardImageWidth, h = std::ceil(range_card_height(c, w));
        if (h > kMaxImageHeight) {
            if (error) *error = "The table is too long for one picture; save it as PDF or CSV.";
            return false;
        }
        cairo_surface_t* surface =
            cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(w), static_cast<int>(h));
        cairo_t* cr = cairo_create(surface);
        card_fonts fonts;
        draw_page(cr, c, geometry(c, w, 0, fonts), fonts, w, 0);
        cairo_destroy(cr);
        cairo_status_t status = cairo_surface_write_to_png_stream(surface, append_bytes, &bytes);
        cairo_surface_destroy(surface);
        if (status != CAIRO_STATUS_SUCCESS) {
            if (error) *error = cairo_status_to_string(status);
            return false;
        }
    }
    return write_file_replacing(path, bytes.data(), bytes.size(), Placement::replace, error);
}
