// Solver benchmark: the time to solve a 2,000-yd table for three profiles
// (G7, G1 with spin drift and the velocity table, a custom drag curve), the
// same G7 table at the 1-yd resolution of a chart, and the texts of one
// table, against a floor: one bare trajectory to 2,000 yd, integrated in
// 1-ms RK4 steps with the same G7 lookup and nothing else (no zero, no rows).
// The cases take turns, in a rotating order, once each per round; medians.
//   bench_solver [RUNS]   (default 201)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "ballistics/drag_tables.h"
#include "ballistics/solver.h"
#include "profile/units.h"

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

GunProfile profile(int dc, float bc, float bw, float mv, float zr)
{
    GunProfile p{};
    p.dc = dc, p.bc = bc, p.bw = bw, p.mv = mv, p.zr = zr, p.shi = 1.5f;
    p.temp = 59, p.pres = 29.92f, p.hum = 50, p.ssfV = p.ssfH = 1, p.eu = p.wu = 1, p.maxr = 2000;
    return p;
}

// The floor: one flight to 2,000 yd (6,000 ft), bore level, standard air.
double bare_flight()
{
    double x = 0, y = 0, vx = 3200, vy = 0;
    const double dt = 0.001, k = 2.08551e-4 / 0.465, g = 32.174, sound = 1116.45;
    auto ax = [&](double u, double w) {
        double v = std::sqrt(u * u + w * w);
        return -k * drag_at(g7_drag_points, g7_drag_count, v / sound) * v;
    };
    while (x < 6000 && vx > 100) {
        double c1 = ax(vx, vy);
        double u2 = vx + 0.5 * dt * c1 * vx, w2 = vy + 0.5 * dt * (c1 * vy - g);
        double c2 = ax(u2, w2);
        double u3 = vx + 0.5 * dt * c2 * u2, w3 = vy + 0.5 * dt * (c2 * w2 - g);
        double c3 = ax(u3, w3);
        double u4 = vx + dt * c3 * u3, w4 = vy + dt * (c3 * w3 - g);
        double c4 = ax(u4, w4);
        x += dt / 6 * (vx + 2 * u2 + 2 * u3 + u4);
        y += dt / 6 * (vy + 2 * w2 + 2 * w3 + w4);
        vx += dt / 6 * (c1 * vx + 2 * c2 * u2 + 2 * c3 * u3 + c4 * u4);
        vy += dt / 6 * (c1 * vy + 2 * c2 * w2 + 2 * c3 * w3 + c4 * w4 - 6 * g);
    }
    return y;
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = argc > 1 ? std::atoi(argv[1]) : 201;
    GunProfile g7 = profile(1, 0.465f, 65, 3200, 300);
    GunProfile g1 = profile(0, 0.5f, 220, 3006.6f, 100);
    g1.bd = 0.308f, g1.bl = 1.5f, g1.bt = 12;
    g1.mvt_temp[0] = 20, g1.mvt_mv[0] = 2950, g1.mvt_temp[1] = 100, g1.mvt_mv[1] = 3050;
    GunProfile own = g7;
    own.dc = 10, own.bd = 0.224f, own.bw = 163.3f;
    const float mach[] = {0, 0.5f, 0.9f, 1.0f, 1.2f, 1.5f, 2.0f, 2.5f, 3.0f, 4.0f};
    const float cd[] = {0.12f, 0.12f, 0.146f, 0.38f, 0.388f, 0.344f, 0.298f, 0.27f, 0.242f, 0.194f};
    for (int i = 0; i < 10; ++i) own.cc[i] = {mach[i], cd[i]};

    volatile double sink = 0;
    auto solve = [&](const GunProfile& p, double step) {
        shot_conditions c = conditions_from_profile(p);
        c.wind_mph = 10, c.wind_from_deg = 90;
        solution s = solve_profile(p, c, 2000, step);
        if (!s.ok) {
            std::fprintf(stderr, "bench profile refused: %s\n", s.missing.c_str());
            std::exit(2);
        }
        sink = sink + s.rows.back().drop_in;
    };
    solution texts_of = solve_profile(g1, conditions_from_profile(g1), 2000, 100);
    struct kase {
        const char* name;
        std::function<void()> work;
        std::vector<double> ms;
    };
    std::vector<kase> cases = {
        {"floor: one bare 2,000-yd flight", [&] { sink = sink + bare_flight(); }, {}},
        {"G7, 2,000 yd in 100-yd rows", [&] { solve(g7, 100); }, {}},
        {"G1, spin drift, velocity table", [&] { solve(g1, 100); }, {}},
        {"custom curve (10 points)", [&] { solve(own, 100); }, {}},
        {"G7, 2,000 yd in 1-yd rows (chart)", [&] { solve(g7, 1); }, {}},
        {"JSON, CSV, text, assumptions",
         [&] {
             sink = sink + table_json(texts_of).size() + table_csv(texts_of).size() + table_text(texts_of).size() +
                    solver_assumptions(g1, conditions_from_profile(g1), kUnitsEnglish).size();
         },
         {}},
    };
    for (int r = 0; r < runs; ++r) {
        for (size_t i = 0; i < cases.size(); ++i) {
            kase& k = cases[(i + r) % cases.size()];
            auto t0 = std::chrono::steady_clock::now();
            k.work();
            auto t1 = std::chrono::steady_clock::now();
            k.ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        }
    }
    double floor = median(cases[0].ms);
    std::printf("Solver: %d interleaved runs, medians in ms (one frame is 16 ms)\n", runs);
    for (const kase& k : cases) std::printf("  %-36s %8.3f  (%.2fx)\n", k.name, median(k.ms), median(k.ms) / floor);
    return 0;
}
