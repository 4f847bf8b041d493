#include "ballistics/window/trajectory_chart.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "ballistics/window/shown_units.h"

namespace {

// Layout works from estimated text widths so that it needs no surface; the
// estimate is generous for the digits and short words it measures.
double text_width_estimate(const std::string& s, double font) { return 0.58 * font * static_cast<double>(s.size()); }

// 1, 2, 2.5 or 5 times a power of ten, at least span / target.
double nice_step(double span, double target)
{
    double raw = span / std::max(target, 1.0);
    if (!(raw > 0) || !std::isfinite(raw)) return 1.0;
    double mag = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 2.5, 5.0})
        if (m * mag >= raw * (1 - 1e-9)) return m * mag;
    return 10.0 * mag;
}

std::string tick_text(double v) { return short_number(v, 3); }

// The first multiple of the axis's step at or above its low end.
double first_tick(const chart_axis& a) { return std::ceil(a.lo / a.step - 1e-9) * a.step; }

std::string y_unit(int units) { return shown_unit_text(shown_quantity::length, units); }

enum class swatch { line, dashed, ring, dot, square };
struct legend_item {
    const char* text;
    chart_colour colour;
    swatch kind;
};

double max_range_yd(const solution& s) { return s.rows.empty() ? 0.0 : s.rows.back().range_yd; }

std::vector<legend_item> legend_items(const solution& s, bool compact)
{
    std::vector<legend_item> items = {{compact ? "Path" : "Path (up +)", kChartPath, swatch::line},
                                      {compact ? "Windage" : "Windage (right +)", kChartWindage, swatch::dashed},
                                      {"Sight line", kChartSight, swatch::line}};
    double end = max_range_yd(s);
    bool zero =
        std::any_of(s.zero_crossings_yd.begin(), s.zero_crossings_yd.end(), [end](double r) { return r <= end; });
    if (zero) items.push_back({"Zero", kChartZero, swatch::ring});
    if (s.transonic_yd && *s.transonic_yd <= end) items.push_back({"Mach 1.2", kChartTransonic, swatch::dot});
    if (s.subsonic_yd && *s.subsonic_yd <= end) items.push_back({"Mach 1.0", kChartSubsonic, swatch::square});
    return items;
}

constexpr double kSwatch = 16.0;  // width of a legend swatch, in fonts / 11
constexpr double kGap = 9.0;

// Positions of the legend items, flowed into rows across `width`.
struct legend_place {
    double x, row;
};
std::vector<legend_place> flow_legend(const std::vector<legend_item>& items, double left, double width, double font,
                                      int* rows)
{
    std::vector<legend_place> at;
    double scale = font / kChartFont;
    double x = left;
    int row = 0;
    for (const legend_item& it : items) {
        double w = (kSwatch + 4) * scale + text_width_estimate(it.text, font);
        if (x > left && x + w > left + width) {
            x = left;
            ++row;
        }
        at.push_back({x, static_cast<double>(row)});
        x += w + kGap * scale;
    }
    *rows = items.empty() ? 0 : row + 1;
    return at;
}

void set_colour(cairo_t* cr, chart_colour c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

// Text with its left edge at x times its width left of x (0 left, 0.5 centre,
// 1 right) and its top at y.
void text_at(cairo_t* cr, const std::string& t, double x, double y, double along)
{
    cairo_text_extents_t e;
    cairo_font_extents_t f;
    cairo_text_extents(cr, t.c_str(), &e);
    cairo_font_extents(cr, &f);
    cairo_move_to(cr, x - e.x_advance * along, y + f.ascent);
    cairo_show_text(cr, t.c_str());
}

void draw_marker(cairo_t* cr, swatch kind, chart_colour c, double x, double y, double scale)
{
    set_colour(cr, c);
    switch (kind) {
    case swatch::ring:
        cairo_new_sub_path(cr);
        cairo_arc(cr, x, y, 4.5 * scale, 0, 2 * M_PI);
        cairo_set_line_width(cr, 2.0 * scale);
        cairo_stroke(cr);
        break;
    case swatch::dot:
        cairo_new_sub_path(cr);
        cairo_arc(cr, x, y, 5.0 * scale, 0, 2 * M_PI);
        cairo_fill(cr);
        break;
    case swatch::square:
        cairo_rectangle(cr, x - 4.5 * scale, y - 4.5 * scale, 9 * scale, 9 * scale);
        cairo_fill(cr);
        break;
    case swatch::line:
    case swatch::dashed: break;
    }
}

void stroke_line_style(cairo_t* cr, chart_colour c, double width, bool dashed, double scale)
{
    set_colour(cr, c);
    cairo_set_line_width(cr, width * scale);
    if (dashed) {
        double dash[] = {7.0 * scale, 4.0 * scale};
        cairo_set_dash(cr, dash, 2, 0);
    }
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
}

void draw_message(cairo_t* cr, double width, double height, const std::string& text, double font)
{
    // Words flowed into lines across the chart, the block centred.
    std::vector<std::string> lines(1);
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(' ', at);
        std::string word = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        std::string tried = lines.back().empty() ? word : lines.back() + " " + word;
        cairo_text_extents_t e;
        cairo_text_extents(cr, tried.c_str(), &e);
        if (!lines.back().empty() && e.x_advance > width - 2 * font) lines.push_back(word);
        else lines.back() = tried;
    }
    double line_h = font * 1.4;
    double y = (height - line_h * static_cast<double>(lines.size())) / 2;
    cairo_set_source_rgb(cr, 0.6, 0.0, 0.0);
    for (const std::string& l : lines) {
        text_at(cr, l, width / 2, y, 0.5);
        y += line_h;
    }
}

}  // namespace

double drop_at(const solution& s, double range_yd)
{
    const std::vector<solution_row>& r = s.rows;
    if (r.empty()) return 0.0;
    if (range_yd <= r.front().range_yd) return r.front().drop_in;
    for (size_t i = 1; i < r.size(); ++i) {
        if (range_yd <= r[i].range_yd) {
            double span = r[i].range_yd - r[i - 1].range_yd;
            double t = span > 0 ? (range_yd - r[i - 1].range_yd) / span : 1.0;
            return r[i - 1].drop_in + t * (r[i].drop_in - r[i - 1].drop_in);
        }
    }
    return r.back().drop_in;
}

chart_frame chart_layout(double width, double height, const solution& s, int units, double font)
{
    chart_frame f;
    double scale = font / kChartFont;
    // Vertical: the legend rows (the unit of the y axis on the first, above
    // its tick labels), the plot, tick labels, axis title. Horizontal: the
    // y tick labels, the plot, half the last x tick label.
    f.bottom = height - font * 2.9 - 4 * scale;
    double end = to_shown_value(shown_quantity::range, units, max_range_yd(s));
    if (end <= 0) end = 1;
    double widest = text_width_estimate(tick_text(end), font);
    f.right = width - std::max(14 * scale, widest / 2 + 3 * scale);

    double lo = 0, hi = 0;
    for (const solution_row& r : s.rows) {
        for (double v : {r.drop_in, r.windage_in}) {
            double shown = to_shown_value(shown_quantity::length, units, v);
            lo = std::min(lo, shown);
            hi = std::max(hi, shown);
        }
    }
    if (hi - lo < 1e-6) {
        lo -= 1;
        hi += 1;
    }
    double pad = (hi - lo) * 0.05;
    lo -= pad;
    hi += pad;

    // The y axis's labels set the left margin, which sets the legend's rows,
    // which set the plot's height and so the y axis: twice round settles it.
    f.top = 6 * scale + 2 * font * 1.5 + font * 0.4;
    for (int pass = 0; pass < 2; ++pass) {
        double plot_h = std::max(f.bottom - f.top, 1.0);
        // The finest round step whose ticks stay two lines of text apart.
        f.y.step = nice_step(hi - lo, std::max(2.0, plot_h / (font * 2.6)));
        f.y.lo = lo;
        f.y.hi = hi;
        for (int tries = 0; tries < 8 && plot_h * f.y.step / (hi - lo) < font * 2; ++tries)
            f.y.step = nice_step(f.y.step * 1.01, 1.0);
        double label_w = text_width_estimate(y_unit(units), font);
        for (double v = first_tick(f.y); v <= f.y.hi; v += f.y.step)
            label_w = std::max(label_w, text_width_estimate(tick_text(v), font));
        f.left = 14 * scale + label_w;
        int legend_rows = 0;
        flow_legend(legend_items(s, false), f.left, f.right - f.left, font, &legend_rows);
        f.compact_legend = legend_rows > 2;
        if (f.compact_legend) flow_legend(legend_items(s, true), f.left, f.right - f.left, font, &legend_rows);
        double top = 6 * scale + legend_rows * font * 1.5 + font * 0.4;
        if (top == f.top) break;
        f.top = top;
    }

    double plot_w = std::max(f.right - f.left, 1.0);
    f.x.lo = 0;
    f.x.step = nice_step(end, std::max(1.0, plot_w / (widest + 28 * scale)));
    f.x.hi = end;  // ticks at the steps up to it
    return f;
}

void draw_trajectory_chart(cairo_t* cr, double width, double height, const solution& s, int units, double font)
{
    cairo_save(cr);
    cairo_rectangle(cr, 0, 0, width, height);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, font);
    if (!s.ok || s.rows.empty()) {
        cairo_set_font_size(cr, font * 1.3);
        draw_message(cr, width, height, s.ok ? std::string("No rows to draw.") : s.missing, font * 1.3);
        cairo_restore(cr);
        return;
    }
    double scale = font / kChartFont;
    chart_frame f = chart_layout(width, height, s, units, font);
    const double plot_w = f.right - f.left, plot_h = f.bottom - f.top;

    // Grid and tick labels.
    cairo_set_line_width(cr, 1.0 * scale);
    cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
    for (double v = f.x.lo; v <= f.x.hi + f.x.step * 1e-6; v += f.x.step) {
        cairo_move_to(cr, std::round(f.x_at(v)) + 0.5, f.top);
        cairo_line_to(cr, std::round(f.x_at(v)) + 0.5, f.bottom);
    }
    for (double v = first_tick(f.y); v <= f.y.hi + f.y.step * 1e-6; v += f.y.step) {
        cairo_move_to(cr, f.left, std::round(f.y_at(v)) + 0.5);
        cairo_line_to(cr, f.right, std::round(f.y_at(v)) + 0.5);
    }
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.55, 0.55, 0.55);
    cairo_rectangle(cr, f.left + 0.5, f.top + 0.5, plot_w - 1, plot_h - 1);
    cairo_stroke(cr);

    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    for (double v = f.x.lo; v <= f.x.hi + f.x.step * 1e-6; v += f.x.step)
        text_at(cr, tick_text(v), f.x_at(v), f.bottom + 3 * scale, 0.5);
    for (double v = first_tick(f.y); v <= f.y.hi + f.y.step * 1e-6; v += f.y.step)
        text_at(cr, tick_text(std::fabs(v) < f.y.step * 1e-6 ? 0.0 : v), f.left - 5 * scale, f.y_at(v) - fe.ascent / 2,
                1.0);
    std::string x_title = std::string("Range (") + shown_unit_text(shown_quantity::range, units) + ")";
    text_at(cr, x_title, (f.left + f.right) / 2, f.bottom + 3 * scale + font * 1.45, 0.5);
    text_at(cr, y_unit(units), f.left - 5 * scale, 6 * scale, 1.0);

    // Legend.
    std::vector<legend_item> items = legend_items(s, f.compact_legend);
    int rows = 0;
    std::vector<legend_place> at = flow_legend(items, f.left, f.right - f.left, font, &rows);
    for (size_t i = 0; i < items.size(); ++i) {
        double y = 6 * scale + at[i].row * font * 1.5;
        double mid = y + font * 0.6;
        const legend_item& it = items[i];
        if (it.kind == swatch::line || it.kind == swatch::dashed) {
            cairo_move_to(cr, at[i].x, mid);
            cairo_line_to(cr, at[i].x + kSwatch * scale, mid);
            stroke_line_style(cr, it.colour, it.colour.b > 0.5 ? 2.5 : 2.0, it.kind == swatch::dashed, scale);
        } else {
            draw_marker(cr, it.kind, it.colour, at[i].x + kSwatch * scale / 2, mid, scale);
        }
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        text_at(cr, it.text, at[i].x + (kSwatch + 4) * scale, y, 0.0);
    }

    // The lines, inside the plot area only.
    cairo_save(cr);
    cairo_rectangle(cr, f.left, f.top, plot_w, plot_h);
    cairo_clip(cr);
    // On whole pixels at screen scale: a crisp line two pixels high.
    const double y0 = scale == 1.0 ? std::round(f.y_at(0.0)) : f.y_at(0.0);
    cairo_move_to(cr, f.left, y0);
    cairo_line_to(cr, f.right, y0);
    stroke_line_style(cr, kChartSight, 2.0, false, scale);

    auto trace = [&](double solution_row::*field) {
        bool first = true;
        for (const solution_row& r : s.rows) {
            double x = f.x_at(to_shown_value(shown_quantity::range, units, r.range_yd));
            double y = f.y_at(to_shown_value(shown_quantity::length, units, r.*field));
            if (first) cairo_move_to(cr, x, y);
            else cairo_line_to(cr, x, y);
            first = false;
        }
    };
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    trace(&solution_row::windage_in);
    stroke_line_style(cr, kChartWindage, 2.0, true, scale);
    trace(&solution_row::drop_in);
    stroke_line_style(cr, kChartPath, 2.5, false, scale);

    double end = max_range_yd(s);
    double label_end = -1e9;  // right edge of the last zero label
    for (double r : s.zero_crossings_yd) {
        if (r > end) continue;
        double shown = to_shown_value(shown_quantity::range, units, r);
        double x = f.x_at(shown);
        draw_marker(cr, swatch::ring, kChartZero, x, y0, scale);
        // The range of the crossing under it, where it does not run into the last.
        std::string label = short_number(shown, 0);
        double w = text_width_estimate(label, font);
        if (x - w / 2 > label_end + 4 * scale && y0 + font * 1.6 < f.bottom) {
            text_at(cr, label, x, y0 + 6 * scale, 0.5);
            label_end = x + w / 2;
        }
    }
    auto mark_on_path = [&](const std::optional<double>& r, swatch kind, chart_colour c) {
        if (!r || *r > end) return;
        double x = f.x_at(to_shown_value(shown_quantity::range, units, *r));
        double y = f.y_at(to_shown_value(shown_quantity::length, units, drop_at(s, *r)));
        draw_marker(cr, kind, c, x, y, scale);
    };
    mark_on_path(s.transonic_yd, swatch::dot, kChartTransonic);
    mark_on_path(s.subsonic_yd, swatch::square, kChartSubsonic);
    cairo_restore(cr);
    cairo_restore(cr);
}
