// The trajectory chart, drawn with cairo alone on any surface (window, image,
// PDF, printer): the bullet's path against range with the line of sight, the
// zero crossings, the transonic and subsonic points and the windage, on axes
// with ticks in the user's units. Also where it puts things, for its tests.
#pragma once

#include <cairo.h>

#include "ballistics/solver.h"

struct chart_colour {
    double r, g, b;
};
inline constexpr chart_colour kChartPath{0.05, 0.35, 0.85};
inline constexpr chart_colour kChartWindage{0.0, 0.6, 0.25};
inline constexpr chart_colour kChartSight{0.0, 0.0, 0.0};
inline constexpr chart_colour kChartZero{0.6, 0.0, 0.7};
inline constexpr chart_colour kChartTransonic{0.95, 0.55, 0.0};
inline constexpr chart_colour kChartSubsonic{0.85, 0.0, 0.0};

// Text size on the screen, in surface units (pixels there).
constexpr double kChartFont = 11.0;

// One axis in shown units: ticks at the multiples of `step` from lo to hi.
struct chart_axis {
    double lo = 0, hi = 1, step = 1;
};

struct chart_frame {
    double left = 0, top = 0, right = 0, bottom = 0;  // the plot area
    chart_axis x, y;                                  // range; drop and windage
    bool compact_legend = false;                      // short legend texts, for a narrow chart
    double x_at(double shown_range) const { return left + (shown_range - x.lo) / (x.hi - x.lo) * (right - left); }
    double y_at(double shown_length) const { return bottom - (shown_length - y.lo) / (y.hi - y.lo) * (bottom - top); }
};

// The plot area and axes for a `width` x `height` chart of `s` under the
// unit system `units`, with text of `font` units; nothing is drawn.
chart_frame chart_layout(double width, double height, const solution& s, int units, double font = kChartFont);

// Draws the whole chart into the rectangle (0, 0, width, height) of `cr`. A
// solution that is not ok shows its `missing` sentence instead.
void draw_trajectory_chart(cairo_t* cr, double width, double height, const solution& s, int units,
                           double font = kChartFont);

// The drop (inches) at `range_yd`, linear between the rows around it.
double drop_at(const solution& s, double range_yd);
