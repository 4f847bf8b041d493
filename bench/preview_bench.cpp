// Solution preview benchmark: the chart drawn alone (cairo on an image of the
// chart's size), the chart redrawn in the window until the display has it,
// the solve behind one update (table and chart rows), and an edit in the
// form (Enter in the muzzle-velocity entry) until the preview shows it,
// table and chart drawn, against the same edit with the preview closed. They
// take turns round by round; medians.
//   bench_preview [ROUNDS]
#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "shell/shell.h"
#include "app/startup.h"
#include "ballistics/solver.h"
#include "ballistics/window/preview_window.h"
#include "ballistics/window/trajectory_chart.h"
#include "profile/units.h"

namespace fs = std::filesystem;

namespace {

using clock_type = std::chrono::steady_clock;

double ms_since(clock_type::time_point t0)
{
    return std::chrono::duration<double, std::milli>(clock_type::now() - t0).count();
}

// This process's own processor time: the display server's share and other
// programs on the machine stay out of it.
double cpu_ms()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Everything pending handled, drawing included, and the display caught up.
void settle()
{
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    gdk_window_process_all_updates();
    gdk_display_sync(gdk_display_get_default());
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = argc > 1 ? std::atoi(argv[1]) : 41;
    char tmpl[] = "/tmp/stowline-bench-XXXXXX";
    if (!mkdtemp(tmpl)) return 2;
    fs::path root = tmpl;
    for (const char* d : {"bin", "Device", "Profiles"}) fs::create_directories(root / d);
    if (chdir((root / "bin").c_str()) != 0) return 2;
    int fake_argc = 1;
    char* fake_argv[] = {argv[0], nullptr};
    char** pargv = fake_argv;
    if (!start_application(&fake_argc, &pargv)) return 2;
    gtk_widget_show(get_widget("id_mw"));
    settle();
    open_solution_preview(nullptr);
    settle();

    GtkWidget* chart = get_widget("id_pv_chart");
    GtkAllocation a;
    gtk_widget_get_allocation(chart, &a);
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, a.width, a.height);
    GtkEntry* mv = GTK_ENTRY(get_widget("id_mv_entry"));

    std::vector<double> draw, redraw, solve, edit, edit_cpu, hidden;
    GtkWidget* preview = get_widget("id_preview_win");
    for (int i = 0; i < rounds; ++i) {
        auto t0 = clock_type::now();
        cairo_t* cr = cairo_create(image);
        draw_trajectory_chart(cr, a.width, a.height, preview_solution(), input_units);
        cairo_destroy(cr);
        cairo_surface_flush(image);
        draw.push_back(ms_since(t0));

        t0 = clock_type::now();
        gtk_widget_queue_draw(chart);
        settle();
        redraw.push_back(ms_since(t0));

        // What one update solves: the table's rows and the chart's.
        GunProfile p = cvIn;
        shot_conditions c = conditions_from_profile(p);
        double to = default_range_yd(p, input_units);
        t0 = clock_type::now();
        solution table = solve_profile(p, c, to, default_step_yd(input_units));
        solution path = solve_profile(p, c, to, to / 240.0);
        solve.push_back(ms_since(t0));

        gtk_entry_set_text(mv, i % 2 ? "2600" : "2650");
        settle();
        t0 = clock_type::now();
        double c0 = cpu_ms();
        gtk_widget_activate(GTK_WIDGET(mv));
        settle();
        edit.push_back(ms_since(t0));
        edit_cpu.push_back(cpu_ms() - c0);
        if (preview_solution().rows.empty() || (preview_solution().mv_fps > 2625) != (i % 2 == 0)) {
            std::fprintf(stderr, "the preview did not follow the edit\n");
            return 1;
        }

        // The floor: the same edit with the preview closed (the form's own
        // read-back and redraw).
        gtk_widget_hide(preview);
        gtk_entry_set_text(mv, i % 2 ? "2650" : "2600");
        settle();
        t0 = clock_type::now();
        gtk_widget_activate(GTK_WIDGET(mv));
        settle();
        hidden.push_back(ms_since(t0));
        gtk_entry_set_text(mv, i % 2 ? "2600" : "2650");
        gtk_widget_activate(GTK_WIDGET(mv));
        gtk_widget_show(preview);
        settle();
    }
    cairo_surface_destroy(image);
    std::printf("chart %dx%d, %d interleaved rounds, medians in ms (one frame: 16 ms)\n", a.width, a.height, rounds);
    std::printf("  chart_draw      %7.2f   (cairo alone, image surface)\n", median(draw));
    std::printf("  chart_redraw    %7.2f   (in the window, until the display has it)\n", median(redraw));
    std::printf("  solve           %7.2f   (table and chart rows of one update)\n", median(solve));
    std::printf("  edit_to_preview %7.2f   (Enter in the form until table and chart are drawn)\n", median(edit));
    std::printf("  edit_cpu        %7.2f   (the program's own processor time in it)\n", median(edit_cpu));
    std::printf("  edit_no_preview %7.2f   (the same edit with the preview closed: the floor)\n", median(hidden));
    std::error_code ec;
    fs::remove_all(root, ec);
    return 0;
}
