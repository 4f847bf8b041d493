// The preview's chart on an image surface (its marks found by their colours
// where the layout puts them), its table texts in each unit system, and the
// range card written as PDF, PNG and CSV. No display.
#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <unistd.h>

#include "ballistics/solver.h"
#include "ballistics/window/range_card.h"
#include "ballistics/window/shown_units.h"
#include "ballistics/window/solution_table.h"
#include "ballistics/window/trajectory_chart.h"
#include "profile/gun_profile.h"
#include "profile/units.h"

namespace {

GunProfile new_profile_record()
{
    GunProfile p;
    std::memset(&p, 0, sizeof p);
    apply_new_profile_values(p);
    set_profile_name(p, "TEST");
    return p;
}

// The new profile with a 10 mph wind from the right, far enough for the
// bullet to go transonic and subsonic.
solution windy_solution(double to_yd, double step_yd)
{
    GunProfile p = new_profile_record();
    shot_conditions c = conditions_from_profile(p);
    c.wind_mph = 10;
    c.wind_from_deg = 90;
    return solve_profile(p, c, to_yd, step_yd);
}

struct image {
    cairo_surface_t* surface;
    int w, h;
    image(int width, int height) : w(width), h(height)
    {
        surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    }
    ~image() { cairo_surface_destroy(surface); }
    void draw(const solution& s, int units)
    {
        cairo_t* cr = cairo_create(surface);
        draw_trajectory_chart(cr, w, h, s, units);
        cairo_destroy(cr);
        cairo_surface_flush(surface);
    }
    chart_colour at(int x, int y) const
    {
        const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
        uint32_t px;
        std::memcpy(&px, row + 4 * x, 4);
        return {((px >> 16) & 255) / 255.0, ((px >> 8) & 255) / 255.0, (px & 255) / 255.0};
    }
    // How close the nearest pixel of the box around (x, y) comes to `c`.
    double nearest(double x, double y, int half, chart_colour c) const
    {
        double best = 9;
        for (int j = int(std::lround(y)) - half; j <= int(std::lround(y)) + half; ++j)
            for (int i = int(std::lround(x)) - half; i <= int(std::lround(x)) + half; ++i) {
                if (i < 0 || j < 0 || i >= w || j >= h) continue;
                chart_colour p = at(i, j);
                best = std::min(
                    best, std::sqrt((p.r - c.r) * (p.r - c.r) + (p.g - c.g) * (p.g - c.g) + (p.b - c.b) * (p.b - c.b)));
            }
        return best;
    }
    int count(chart_colour c, double within) const
    {
        int n = 0;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) n += nearest(i, j, 0, c) < within;
        return n;
    }
};

double windage_at(const solution& s, double r)
{
    for (size_t i = 1; i < s.rows.size(); ++i)
        if (r <= s.rows[i].range_yd) {
            double t = (r - s.rows[i - 1].range_yd) / (s.rows[i].range_yd - s.rows[i - 1].range_yd);
            return s.rows[i - 1].windage_in + t * (s.rows[i].windage_in - s.rows[i - 1].windage_in);
        }
    return s.rows.back().windage_in;
}

std::string read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::string temp_path(const char* name) { return "/tmp/stowline-chart-" + std::to_string(getpid()) + "-" + name; }

}  // namespace

TEST(TrajectoryChart, MarksWhereTheLayoutPutsThemAtEverySize)
{
    const solution s = windy_solution(1200, 10);
    ASSERT_TRUE(s.ok) << s.missing;
    ASSERT_TRUE(s.transonic_yd && s.subsonic_yd);
    ASSERT_FALSE(s.zero_crossings_yd.empty());
    const double end = s.rows.back().range_yd;
    struct {
        int w, h, units;
    } cases[] = {{360, 170, kUnitsMixed},
                 {740, 170, kUnitsEnglish},
                 {800, 300, kUnitsEnglish},
                 {1600, 900, kUnitsMetric},
                 {360, 170, kUnitsMetric}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " units " << c.units);
        image img(c.w, c.h);
        img.draw(s, c.units);
        chart_frame f = chart_layout(c.w, c.h, s, c.units);
        auto x_of = [&](double yd) { return f.x_at(to_shown_value(shown_quantity::range, c.units, yd)); };
        auto y_of = [&](double in) { return f.y_at(to_shown_value(shown_quantity::length, c.units, in)); };
        EXPECT_LT(img.nearest(x_of(0.97 * end), y_of(0), 1, kChartSight), 0.15) << "line of sight";
        EXPECT_LT(img.nearest(x_of(0.8 * end), y_of(drop_at(s, 0.8 * end)), 2, kChartPath), 0.15) << "path";
        EXPECT_LT(img.nearest(x_of(0.5 * end), y_of(windage_at(s, 0.5 * end)), 5, kChartWindage), 0.2) << "windage";
        EXPECT_LT(img.nearest(x_of(*s.transonic_yd), y_of(drop_at(s, *s.transonic_yd)), 1, kChartTransonic), 0.1);
        EXPECT_LT(img.nearest(x_of(*s.subsonic_yd), y_of(drop_at(s, *s.subsonic_yd)), 1, kChartSubsonic), 0.1);
        for (double z : s.zero_crossings_yd) EXPECT_LT(img.nearest(x_of(z), y_of(0), 6, kChartZero), 0.15) << z;

        // Readable axes: ticks at round steps, far enough apart for their
        // labels, the data inside them, the plot a fair share of the chart.
        EXPECT_GE((f.x.hi - f.x.lo) / f.x.step, 2);
        EXPECT_GE(f.x_at(f.x.step) - f.x_at(0), 40);
        EXPECT_GE(f.y_at(0) - f.y_at(f.y.step), 2 * kChartFont);
        EXPECT_GE((f.y.hi - f.y.lo) / f.y.step, 1.5);
        EXPECT_GE(f.x.hi, to_shown_value(shown_quantity::range, c.units, end) - 1e-9);
        EXPECT_LE(f.y.lo, to_shown_value(shown_quantity::length, c.units, s.rows.back().drop_in));
        EXPECT_GT((f.right - f.left) * (f.bottom - f.top), 0.4 * c.w * c.h);
    }
}

TEST(TrajectoryChart, AProfileThatCannotBeSolvedShowsTheSentenceAndNoPath)
{
    GunProfile p = new_profile_record();
    p.bc = 0;
    solution s = solve_profile(p, conditions_from_profile(p), 1000, 100);
    ASSERT_FALSE(s.ok);
    ASSERT_FALSE(s.missing.empty());
    image img(360, 170);
    img.draw(s, kUnitsMixed);
    EXPECT_EQ(img.count(kChartPath, 0.1), 0);
    EXPECT_GT(img.count({0.6, 0.0, 0.0}, 0.15), 20) << "the sentence in dark red";
}

TEST(SolutionTable, TextsInEachUnitSystem)
{
    solution s = windy_solution(1000, 100);
    ASSERT_TRUE(s.ok);
    const solution_row& r = *std::find_if(s.rows.begin(), s.rows.end(), [](auto& x) { return x.range_yd == 500; });
    struct {
        int units;
        const char *range_title, *drop_title, *velocity_title, *energy_title, *range;
        double drop_factor, velocity_factor;
    } cases[] = {
        {kUnitsEnglish, "Range (yd)", "Drop (in)", "Velocity (ft/s)", "Energy (ft-lbf)", "500", 1, 1},
        {kUnitsMixed, "Range (m)", "Drop (in)", "Velocity (ft/s)", "Energy (ft-lbf)", "457.2", 1, 1},
        {kUnitsMetric, "Range (m)", "Drop (cm)", "Velocity (m/s)", "Energy (J)", "457.2", 2.54, 1 / 3.28084},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.units);
        std::vector<std::string> t = table_titles(s, c.units);
        ASSERT_EQ(t.size(), size_t(kTableColumns));
        EXPECT_EQ(t[0], c.range_title);
        EXPECT_EQ(t[1], c.drop_title);
        EXPECT_EQ(t[2], std::string("Elevation (") + s.elevation_unit + ")");
        EXPECT_EQ(t[5], c.velocity_title);
        EXPECT_EQ(t[7], c.energy_title);
        std::vector<std::string> cells = table_cells(s, r, c.units);
        EXPECT_EQ(cells[0], c.range);
        EXPECT_NEAR(std::stod(cells[1]), r.drop_in * c.drop_factor, 0.051);
        EXPECT_NEAR(std::stod(cells[5]), r.velocity_fps * c.velocity_factor, 0.51);
        EXPECT_NEAR(std::stod(cells[8]), r.time_s, 0.0005);
    }
    EXPECT_EQ(table_titles(s, kUnitsMixed, true)[1], "Drop\n(in)");
}

TEST(SolutionTable, MarksCloseRowsAndCsv)
{
    solution s;
    s.ok = true;
    s.rows.resize(4);
    double ranges[] = {0, 109.361, 109.36100006, 218.722};
    for (int i = 0; i < 4; ++i) s.rows[i].range_yd = ranges[i];
    s.rows[2].zero = true;
    s.rows[3].transonic = s.rows[3].subsonic = true;
    merge_close_rows(s);
    ASSERT_EQ(s.rows.size(), 3u);
    EXPECT_EQ(row_mark(s.rows[1]), "Zero");
    EXPECT_EQ(row_mark(s.rows[2]), "Transonic, Subsonic");
    EXPECT_EQ(table_cells(s, s.rows[1], kUnitsMixed)[0], "100");
    // A marked row's Mach never reads as the threshold it crossed.
    for (auto [mach, transonic, subsonic, shown] : {std::tuple{0.996, false, true, "0.996"},
                                                    {1.196, true, false, "1.196"},
                                                    {0.994, false, true, "0.99"},
                                                    {0.996, false, false, "1.00"}}) {
        solution_row r;
        r.mach = mach;
        r.transonic = transonic;
        r.subsonic = subsonic;
        EXPECT_EQ(table_cells(s, r, kUnitsMixed)[6], shown) << mach;
    }

    std::string csv = table_as_csv(s, kUnitsMixed);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);
    EXPECT_NE(csv.find("\"Transonic, Subsonic\""), std::string::npos) << csv;
    s.ok = false;
    s.missing = "The ballistic coefficient is 0.";
    EXPECT_EQ(table_as_csv(s, kUnitsMixed), "The ballistic coefficient is 0.\n");
}

TEST(ShownUnits, ConversionsBothWays)
{
    using q = shown_quantity;
    struct {
        q quantity;
        int units;
        double stored, shown;
        const char* unit;
    } cases[] = {
        {q::range, kUnitsMixed, 109.361, 100, "m"},
        {q::range, kUnitsEnglish, 100, 100, "yd"},
        {q::length, kUnitsMetric, 1, 2.54, "cm"},
        {q::length, kUnitsMixed, 1, 1, "in"},
        {q::velocity, kUnitsMetric, 3280.84, 1000, "m/s"},
        {q::temperature, kUnitsMetric, 59, 15,
         "\xC2\xB0"
         "C"},
        {q::pressure, kUnitsMetric, 29.92, 1013.21, "hPa"},
        {q::wind, kUnitsMetric, 10, 4.4704, "m/s"},
        {q::energy, kUnitsMetric, 1000, 1355.82, "J"},
        {q::wind, kUnitsMixed, 10, 10, "mph"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(shown_unit_text(c.quantity, c.units));
        EXPECT_NEAR(to_shown_value(c.quantity, c.units, c.stored), c.shown, 0.01);
        EXPECT_NEAR(to_stored_value(c.quantity, c.units, c.shown), c.stored, 0.01);
        EXPECT_STREQ(shown_unit_text(c.quantity, c.units), c.unit);
    }
    EXPECT_EQ(short_number(-0.001, 1), "0");
    EXPECT_EQ(short_number(29.920, 2), "29.92");
    EXPECT_EQ(short_number(100.0, 1), "100");
}

TEST(RangeCard, WritesPdfPngAndCsv)
{
    solution table = windy_solution(2000, 10);  // 201 rows: more than a page
    solution path = windy_solution(2000, 50);
    ASSERT_TRUE(table.ok);
    range_card c;
    c.title = "Range card: TEST";
    c.notes = {"Shot conditions: 59 \xC2\xB0"
               "F.",
               std::string(300, 'x') + " a long note wraps"};
    c.table = &table;
    c.path = &path;
    EXPECT_GT(range_card_pages(c, 612, 792), 1);

    std::string pdf = temp_path("card.pdf"), png = temp_path("card.PNG"), csv = temp_path("card.csv");
    std::string error;
    for (const std::string& file : {pdf, png, csv}) {
        ASSERT_TRUE(write_range_card(file, c, range_card_format_for(file), &error)) << file << ": " << error;
    }
    EXPECT_EQ(read_file(pdf).rfind("%PDF", 0), 0u);
    cairo_surface_t* back = cairo_image_surface_create_from_png(png.c_str());
    EXPECT_EQ(cairo_image_surface_get_width(back), int(kRangeCardImageWidth));
    EXPECT_EQ(cairo_image_surface_get_height(back), int(std::ceil(range_card_height(c, kRangeCardImageWidth))));
    cairo_surface_destroy(back);
    std::string text = read_file(csv);
    EXPECT_EQ(size_t(std::count(text.begin(), text.end(), '\n')), table.rows.size() + 1);
    for (const std::string& file : {pdf, png, csv}) std::remove(file.c_str());

    // Failures are reported, not passed off as written.
    EXPECT_FALSE(write_range_card("/nonexistent-folder/card.pdf", c, range_card_format::pdf, &error));
    EXPECT_FALSE(error.empty());
    solution huge = windy_solution(20000, 1);
    c.table = &huge;
    error.clear();
    EXPECT_FALSE(write_range_card(png, c, range_card_format::png, &error));
    EXPECT_NE(error.find("too long"), std::string::npos) << error;
    EXPECT_NE(access(png.c_str(), F_OK), 0);

    bool known = true;
    range_card_format_for("card.txt", &known);
    EXPECT_FALSE(known);
}
