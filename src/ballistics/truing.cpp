#include "ballistics/truing.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ballistics/solver_internal.h"
#include "base/numbers.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMoaRad = kPi / 10800.0;
constexpr double kTransonicMach = 1.2;
constexpr double kMergeMach = 0.05;
constexpr double kMinFactor = 0.5, kMaxFactor = 1.5;
constexpr int kTableRows = 6;
// The velocity fit looks no further than this share of the profile's velocity.
constexpr double kMaxVelocityShare = 0.5;
constexpr double kSameRangeYd = 0.5;
// Holds the profile already gives within this need no new factor.
constexpr double kMatchedMoa = 0.1;

double unit_rad(hold_unit u)
{
    switch (u) {
    case hold_unit::moa: return kMoaRad;
    case hold_unit::smoa: return 1.0 / 3600.0;  // 1 in at 100 yd
    default: return 0.001;
    }
}

std::string num(const char* f, double v) { return format_number(f, v); }
std::string yards(double yd) { return num("%.0f", yd) + " yd"; }
std::string hold_text(const truing_observation& o) { return num("%g", o.hold) + " " + hold_unit_text(o.unit); }

// The predicted hold at one range, and the bullet's air speed there.
struct prediction {
    bool ok = false;
    std::string why;  // when !ok
    double moa = 0, windage_moa = 0, mach = 0;
};

prediction predict(const GunProfile& p, const shot_conditions& c, const truing_observation& o)
{
    prediction out;
    solution s = solve_profile(p, c, o.range_yd, o.range_yd);
    if (!s.ok) {
        out.why = s.missing;
        return out;
    }
    if (s.rows.empty() || std::fabs(s.rows.back().range_yd - o.range_yd) > 1e-6) {
        out.why = "The bullet does not reach the observation at " + yards(o.range_yd) + ": " +
                  (s.end_note.empty() ? "the calculation stops short of it." : s.end_note);
        return out;
    }
    const solution_row& r = s.rows.back();
    double range_in = r.range_yd * 36.0;
    if (o.unit == hold_unit::inch) {
        out.moa = -r.drop_in / range_in / kMoaRad;
        out.windage_moa = -r.windage_in / range_in / kMoaRad;
    } else {
        // The holds as the scope is turned: the solver's, in MOA.
        out.moa = r.elevation_hold * hold_unit_rad(p.eu, p.ce, p.cve) / kMoaRad;
        out.windage_moa = r.windage_hold * hold_unit_rad(p.wu, p.cw, p.cvw) / kMoaRad;
    }
    out.mach = r.mach;  // through the air, as the drag
    out.ok = std::isfinite(out.moa) && std::isfinite(out.windage_moa) && std::isfinite(out.mach);
    if (!out.ok) out.why = "The calculation fails at " + yards(o.range_yd) + ".";
    return out;
}

struct fit_failed {
    std::string text;
};

struct observed {
    truing_observation o;
    double moa = 0;
    size_t index = 0;  // in the caller's list
};

// The profile with every velocity moved by `delta` from `base`'s.
GunProfile with_velocity(const GunProfile& base, double delta)
{
    GunProfile p = base;
    double d = std::round(delta * 10.0) / 10.0;
    if (velocity_table_rows(base) < 2) p.mv = static_cast<float>(base.mv + d);
    for (int i = 0; i < kTableRows; ++i)
        if (base.mvt_mv[i] > 0.0f) p.mvt_mv[i] = static_cast<float>(base.mvt_mv[i] + d);
    return p;
}

double residual(const GunProfile& p, const shot_conditions& c, const observed& ob)
{
    prediction pr = predict(p, c, ob.o);
    if (!pr.ok) throw fit_failed{pr.why};
    return pr.moa - ob.moa;
}

// The velocity difference that fits the supersonic holds, least squares.
double fit_velocity(const GunProfile& base, const shot_conditions& c, const std::vector<observed>& obs, double delta)
{
    const double mv = muzzle_velocity_at(base, c.temperature_f);
    const double limit = kMaxVelocityShare * mv;
    for (int it = 0; it < 12; ++it) {
        GunProfile p = with_velocity(base, delta), q = with_velocity(base, delta + 1.0);
        double jr = 0, jj = 0;
        for (const observed& ob : obs) {
            double r = residual(p, c, ob), j = residual(q, c, ob) - r;
            jr += j * r;
            jj += j * j;
        }
        if (!(jj > 0)) break;
        double step = -jr / jj;
        step = std::max(-0.2 * mv, std::min(0.2 * mv, step));
        delta += step;
        if (!std::isfinite(delta) || std::fabs(delta) > limit)
            throw fit_failed{"The holds beyond Mach 1.2 would need a muzzle velocity far from the profile's " +
                             num("%.0f", mv) +
                             " ft/s (more than half again or below half): a hold is more likely mistaken, or "
                             "the zero was different."};
        if (std::fabs(step) < 0.02) break;
    }
    return delta;
}

// The drop scale factor of a table at a Mach number, as the solver reads it.
double factor_at(const std::vector<dsf_row>& t, double mach)
{
    if (t.empty()) return 1.0;
    std::vector<drag_point> points;
    for (const dsf_row& r : t) points.push_back({r.mach, r.factor});
    return drag_at(points.data(), static_cast<int>(points.size()), mach);
}

std::vector<dsf_row> table_of(const GunProfile& p)
{
    std::vector<dsf_row> t;
    for (const drag_point& d : scale_factor_points(p)) t.push_back({d.mach, d.cd});
    return t;
}

void write_table(GunProfile& p, const std::vector<dsf_row>& t)
{
    for (int i = 0; i < kTableRows; ++i) {
        bool used = i < static_cast<int>(t.size());
        p.vl[i] = used ? static_cast<float>(t[i].mach) : 0.0f;
        p.dsf[i] = used ? static_cast<float>(t[i].factor) : 1.0f;
    }
}

double round_to(double v, double step) { return std::round(v / step) * step; }

// Observations close in Mach share one factor.
struct factor_group {
    double mach = 0;
    std::vector<const observed*> obs;
};

std::vector<factor_group> group_by_mach(const std::vector<std::pair<double, const observed*>>& at)
{
    // By falling Mach: each factor touches only the holds farther out.
    std::vector<std::pair<double, const observed*>> v = at;
    std::sort(v.begin(), v.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<factor_group> groups;
    std::vector<double> machs;
    for (const auto& [m, ob] : v) {
        double mean = 0;
        for (double x : machs) mean += x;
        if (!machs.empty()) mean /= machs.size();
        if (!groups.empty() && mean - m < kMergeMach) {
            groups.back().obs.push_back(ob);
            machs.push_back(m);
        } else {
            groups.push_back({0, {ob}});
            machs = {m};
        }
        double sum = 0;
        for (double x : machs) sum += x;
        groups.back().mach = round_to(sum / machs.size(), 0.01);
    }
    return groups;
}

// The table: the profile's own rows, those within 0.05 Mach of a new factor
// merged into it, and the new factors. The solver holds the outermost factor
// beyond the table's ends, so a new factor reaches up to the next row above
// it, or all the way up. With holds beyond Mach 1.2 (`slowest_fast`, the
// slowest of them; 0 for none), a row at that Mach keeps the drag they saw
// as it was, so that the velocity fitted to them stays right; the factor
// then reaches up to it, as far as it can without touching them.
std::vector<dsf_row> place_factors(const std::vector<dsf_row>& own, const std::vector<factor_group>& groups,
                                   double slowest_fast, std::vector<size_t>& new_rows)
{
    std::vector<dsf_row> t;
    for (const dsf_row& r : own) {
        bool merged = false;
        for (const factor_group& g : groups) merged = merged || std::fabs(r.mach - g.mach) < kMergeMach;
        if (!merged) t.push_back(r);
    }
    double top = 0;
    for (const factor_group& g : groups) {
        t.push_back({g.mach, factor_at(own, g.mach)});
        top = std::max(top, g.mach);
    }
    double anchor = std::max(std::floor(slowest_fast * 100.0) / 100.0, round_to(top + kMergeMach, 0.01));
    bool pinned = false;  // a row of the profile's own does it
    for (const dsf_row& r : t) pinned = pinned || (r.mach > top && r.mach <= anchor + kMergeMach);
    if (slowest_fast > 0 && !groups.empty() && !pinned) t.push_back({anchor, factor_at(own, anchor)});
    std::sort(t.begin(), t.end(), [](const dsf_row& a, const dsf_row& b) { return a.mach < b.mach; });
    new_rows.clear();
    for (const factor_group& g : groups)
        for (size_t i = 0; i < t.size(); ++i)
            if (t[i].mach == g.mach) new_rows.push_back(i);
    return t;
}

// The factor of row `row` that matches the group's holds (their mean).
// False, with the table as it was, when the holds need no factor of their
// own (and `may_skip`).
bool fit_factor(GunProfile& p, std::vector<dsf_row>& t, size_t row, const factor_group& g, const shot_conditions& c,
                bool may_skip)
{
    auto mean_residual = [&](double f) {
        t[row].factor = f;
        write_table(p, t);
        double sum = 0;
        for (const observed* ob : g.obs) sum += residual(p, c, *ob);
        return sum / g.obs.size();
    };
    // A hold the table already gives, to what a scope reads, needs no factor.
    if (may_skip && std::fabs(mean_residual(t[row].factor)) <= kMatchedMoa) return false;
    auto refuse = [&](double bound, double r) {
        const truing_observation& o = g.obs.front()->o;
        std::string ranges;
        for (const observed* ob : g.obs) ranges += (ranges.empty() ? "" : " and ") + yards(ob->o.range_yd);
        throw fit_failed{"The hold at " + ranges + " would need a drop scale factor " +
                         (bound < 1 ? "below " : "above ") + num("%.1f", bound) + " at Mach " + num("%.2f", g.mach) +
                         " (with " + num("%.1f", bound) + " the profile gives " +
                         num("%.2f", moa_to_hold(g.obs.front()->moa + r, o.unit, o.range_yd)) + " " +
                         hold_unit_text(o.unit) + "): the hold is more likely mistaken, or the zero was different."};
    };
    double lo = kMinFactor, hi = kMaxFactor;
    double rlo = mean_residual(lo);
    if (rlo > 0) refuse(lo, rlo);
    double rhi = mean_residual(hi);
    if (rhi < 0) refuse(hi, rhi);
    // Regula falsi with the Illinois step: the hold grows with the drag.
    double f = lo;
    int side = 0;
    for (int it = 0; it < 40 && hi - lo > 1e-5; ++it) {
        f = (rhi - rlo) != 0 ? (lo * rhi - hi * rlo) / (rhi - rlo) : 0.5 * (lo + hi);
        if (!(f > lo && f < hi)) f = 0.5 * (lo + hi);
        double r = mean_residual(f);
        if (std::fabs(r) < 1e-3) break;
        if (r < 0) {
            lo = f;
            rlo = r;
            if (side == -1) rhi /= 2;
            side = -1;
        } else {
            hi = f;
            rhi = r;
            if (side == 1) rlo /= 2;
            side = 1;
        }
    }
    t[row].factor = std::min(kMaxFactor, std::max(kMinFactor, round_to(f, 0.001)));
    write_table(p, t);
    return true;
}

std::string refusal_for(const std::vector<observed>& obs, const std::vector<prediction>& before)
{
    for (size_t i = 0; i < obs.size(); ++i) {
        const observed& ob = obs[i];
        double pred = before[i].moa;
        // Well beyond the zero the bullet is below the line of sight, and
        // well short of it above: a hold of the other sign is no drag or
        // velocity the profile could have.
        if (ob.moa * pred < 0 && std::fabs(pred) >= 0.25)
            return "The hold at " + yards(ob.o.range_yd) + " (" + hold_text(ob.o) + ") " +
                   (pred > 0 ? "lowers the sight, but the bullet is below the line of sight there: it needs a "
                               "positive hold."
                             : "raises the sight, but the bullet is above the line of sight there: it needs a "
                               "hold of 0 or below.");
    }
    return {};
}

}  // namespace

const char* hold_unit_text(hold_unit u)
{
    switch (u) {
    case hold_unit::moa: return "MOA";
    case hold_unit::smoa: return "SMOA";
    case hold_unit::inch: return "in";
    default: return "MIL";
    }
}

double hold_to_moa(double hold, hold_unit u, double range_yd)
{
    if (u == hold_unit::inch) return range_yd > 0 ? hold / (range_yd * 36.0) / kMoaRad : 0;
    return hold * unit_rad(u) / kMoaRad;
}

double moa_to_hold(double moa, hold_unit u, double range_yd)
{
    if (u == hold_unit::inch) return moa * kMoaRad * range_yd * 36.0;
    return moa * kMoaRad / unit_rad(u);
}

namespace {

// A number followed by one of `suffixes` (case ignored) or by nothing when
// `bare` is given; the index of the suffix, -1 for none.
bool number_with_suffix(const std::string& text, const std::vector<const char*>& suffixes, double* value, int* which,
                        bool bare)
{
    const char* end = nullptr;
    double v = 0;
    if (text.empty() || text[0] == ' ' || !read_decimal(text.c_str(), &v, &end) || !std::isfinite(v)) return false;
    std::string rest(end);
    *which = -1;
    for (size_t i = 0; i < suffixes.size(); ++i)
        if (strcasecmp(rest.c_str(), suffixes[i]) == 0) *which = static_cast<int>(i);
    if (*which < 0 && !(bare && rest.empty())) return false;
    *value = v;
    return true;
}

}  // namespace

bool parse_truing_range(const std::string& text, double* yd)
{
    double v = 0;
    int which = -1;
    if (!number_with_suffix(text, {"yd", "m"}, &v, &which, true)) return false;
    *yd = which == 1 ? v * 1.0936132983 : v;
    return true;
}

bool parse_truing_hold(const std::string& text, double* hold, hold_unit* unit)
{
    static const hold_unit units[] = {hold_unit::mil, hold_unit::moa, hold_unit::smoa, hold_unit::inch};
    double v = 0;
    int which = -1;
    if (!number_with_suffix(text, {"mil", "moa", "smoa", "in"}, &v, &which, false)) return false;
    *hold = v;
    *unit = units[which];
    return true;
}

void copy_trued_fields(GunProfile& p, const GunProfile& trued)
{
    p.mv = trued.mv;
    std::memcpy(p.mvt_mv, trued.mvt_mv, sizeof p.mvt_mv);
    std::memcpy(p.vl, trued.vl, sizeof p.vl);
    std::memcpy(p.dsf, trued.dsf, sizeof p.dsf);
}

truing_result true_profile(const GunProfile& p, const shot_conditions& c,
                           const std::vector<truing_observation>& observations)
{
    truing_result out;
    out.trued = p;
    auto refuse = [&](const std::string& why) {
        out.refusal = why;
        out.trued = p;
        out.rows.clear();
        return out;
    };
    if (observations.empty()) return refuse("No observation: give at least one range and the hold it needed.");

    std::vector<observed> obs;
    for (size_t i = 0; i < observations.size(); ++i) {
        const truing_observation& o = observations[i];
        if (!std::isfinite(o.range_yd) || !std::isfinite(o.hold) || (o.windage && !std::isfinite(*o.windage)))
            return refuse("Observation " + std::to_string(i + 1) + " is not a number.");
        if (o.range_yd < kMinTruingRangeYd)
            return refuse("The observation at " + num("%g", o.range_yd) +
                          " yd is closer than 100 yd: too close to tell the velocity or the drag.");
        if (o.range_yd > kMaxSolveRangeYd)
            return refuse("The observation at " + yards(o.range_yd) + " is beyond " + yards(kMaxSolveRangeYd) + ".");
        observed ob{o, hold_to_moa(o.hold, o.unit, o.range_yd), i};
        if (!std::isfinite(ob.moa)) return refuse("Observation " + std::to_string(i + 1) + " is not a number.");
        obs.push_back(ob);
    }
    std::stable_sort(obs.begin(), obs.end(),
                     [](const observed& a, const observed& b) { return a.o.range_yd < b.o.range_yd; });
    for (size_t i = 1; i < obs.size(); ++i)
        if (obs[i].o.range_yd - obs[i - 1].o.range_yd < kSameRangeYd &&
            std::fabs(obs[i].moa - obs[i - 1].moa) > kTruingAgreeMoa)
            return refuse("The observations at " + yards(obs[i].o.range_yd) + " disagree (" + hold_text(obs[i - 1].o) +
                          " and " + hold_text(obs[i].o) + "): keep the one you trust.");

    std::vector<prediction> before;
    for (const observed& ob : obs) {
        before.push_back(predict(p, c, ob.o));
        if (!before.back().ok) return refuse(before.back().why);
    }
    std::string wrong = refusal_for(obs, before);
    if (!wrong.empty()) return refuse(wrong);

    std::vector<observed> fast, slow;
    for (size_t i = 0; i < obs.size(); ++i) (before[i].mach > kTransonicMach ? fast : slow).push_back(obs[i]);

    const std::vector<dsf_row> own = table_of(p);
    GunProfile cur = p;
    std::vector<dsf_row> table = own;
    try {
        double delta = 0;  // from the profile's own velocity
        std::vector<double> placed;
        std::vector<bool> needs_row(slow.size(), false);
        for (int pass = 0; pass < 6; ++pass) {
            const double last_delta = delta;
            if (!fast.empty()) {
                GunProfile own_velocity = cur;
                own_velocity.mv = p.mv;
                std::memcpy(own_velocity.mvt_mv, p.mvt_mv, sizeof p.mvt_mv);
                delta = fit_velocity(own_velocity, c, fast, delta);
                GunProfile moved = with_velocity(p, delta);
                cur.mv = moved.mv;
                std::memcpy(cur.mvt_mv, moved.mvt_mv, sizeof cur.mvt_mv);
            }
            if (slow.empty()) break;
            std::vector<std::pair<double, const observed*>> at;
            for (const observed& ob : slow) {
                prediction pr = predict(cur, c, ob.o);
                if (!pr.ok) throw fit_failed{pr.why};
                at.push_back({pr.mach, &ob});
            }
            std::vector<factor_group> all_groups = group_by_mach(at);
            // Groups whose holds the table already gives take no row (nor a
            // place in the six), unless a pass before found they need one.
            std::vector<factor_group> groups, matched;
            GunProfile bare = cur;  // the profile's own factors only
            write_table(bare, own);
            for (const factor_group& g : all_groups) {
                bool forced = false;
                double sum = 0;
                for (const observed* ob : g.obs) {
                    forced = forced || needs_row[ob - slow.data()];
                    sum += residual(bare, c, *ob);
                }
                (!forced && std::fabs(sum / g.obs.size()) <= kMatchedMoa ? matched : groups).push_back(g);
            }
            std::vector<double> machs;
            for (const factor_group& g : groups) machs.push_back(g.mach);
            std::vector<size_t> rows;
            double slowest_fast = 0;
            for (const observed& ob : fast) {
                prediction pr = predict(cur, c, ob.o);
                if (!pr.ok) throw fit_failed{pr.why};
                slowest_fast = slowest_fast > 0 ? std::min(slowest_fast, pr.mach) : pr.mach;
            }
            std::vector<dsf_row> t = place_factors(own, groups, slowest_fast, rows);
            if (static_cast<int>(t.size()) > kTableRows)
                throw fit_failed{
                    "The holds need " + std::to_string(t.size()) +
                    " drop scale factors (the profile's own, one at the Mach number of each observation at "
                    "Mach 1.2 and below, and one that keeps the drag of the faster ones), more than the "
                    "table's 6 rows."};
            write_table(cur, t);
            // A group its holds already match gets no row, so that the
            // factors below it reach up further; should those move its
            // holds, it gets one on the next pass.
            std::vector<bool> skipped(groups.size(), false);
            for (size_t gi = 0; gi < groups.size(); ++gi) {
                bool forced = std::any_of(groups[gi].obs.begin(), groups[gi].obs.end(),
                                          [&](const observed* ob) { return needs_row[ob - slow.data()]; });
                if (fit_factor(cur, t, rows[gi], groups[gi], c, !forced)) continue;
                // The profile's own rows it took in come back.
                skipped[gi] = true;
                t.erase(t.begin() + static_cast<long>(rows[gi]));
                for (const dsf_row& r : own)
                    if (std::fabs(r.mach - groups[gi].mach) < kMergeMach &&
                        std::none_of(t.begin(), t.end(),
                                     [&](const dsf_row& x) { return std::fabs(x.mach - r.mach) < kMergeMach; }))
                        t.push_back(r);
                std::sort(t.begin(), t.end(), [](const dsf_row& a, const dsf_row& b) { return a.mach < b.mach; });
                for (size_t gj = 0; gj < groups.size(); ++gj)
                    for (size_t i = 0; i < t.size(); ++i)
                        if (!skipped[gj] && t[i].mach == groups[gj].mach) rows[gj] = i;
                write_table(cur, t);
            }
            bool moved = false;
            for (size_t gi = 0; gi < groups.size(); ++gi)
                if (skipped[gi]) matched.push_back(groups[gi]);
            for (const factor_group& g : matched)
                for (const observed* ob : g.obs)
                    if (std::fabs(residual(cur, c, *ob)) > kMatchedMoa) moved = needs_row[ob - slow.data()] = true;
            table = t;
            const bool settled = !moved && machs == placed && std::fabs(delta - last_delta) < 0.05;
            placed = machs;
            if (settled) break;
        }
        // Rows that change nothing (the drag they give is what the rows
        // around them give) are left out.
        for (bool removed = !slow.empty(); removed;) {
            removed = false;
            for (size_t i = 0; i < table.size() && !removed; ++i) {
                bool own_row = std::any_of(own.begin(), own.end(), [&](const dsf_row& r) {
                    return r.mach == table[i].mach && r.factor == table[i].factor;
                });
                std::vector<dsf_row> others = table;
                others.erase(others.begin() + static_cast<long>(i));
                if (!own_row && std::fabs(factor_at(others, table[i].mach) - table[i].factor) < 5e-4) {
                    table = others;
                    removed = true;
                }
            }
            write_table(cur, table);
        }
        out.velocity_fitted = !fast.empty();
        auto same = [](const dsf_row& a, const dsf_row& b) { return a.mach == b.mach && a.factor == b.factor; };
        out.factors_fitted = table.size() != own.size() || !std::equal(table.begin(), table.end(), own.begin(), same);
        // No new factor: the table's bytes stay as they were.
        if (!out.factors_fitted) {
            std::memcpy(cur.vl, p.vl, sizeof p.vl);
            std::memcpy(cur.dsf, p.dsf, sizeof p.dsf);
        }
        for (size_t i = 0; i < obs.size(); ++i) {
            prediction after = predict(cur, c, obs[i].o);
            if (!after.ok) throw fit_failed{after.why};
            truing_row row;
            row.range_yd = obs[i].o.range_yd;
            row.unit = obs[i].o.unit;
            row.observed_moa = obs[i].moa;
            row.before_moa = before[i].moa;
            row.after_moa = after.moa;
            row.mach_before = before[i].mach;
            row.supersonic = before[i].mach > kTransonicMach;
            if (obs[i].o.windage)
                row.observed_windage_moa = hold_to_moa(*obs[i].o.windage, obs[i].o.unit, row.range_yd);
            row.windage_before_moa = before[i].windage_moa;
            row.windage_after_moa = after.windage_moa;
            out.rows.push_back(row);
        }
    } catch (const fit_failed& f) {
        return refuse(f.text);
    }
    // In the order the observations came.
    std::vector<truing_row> ordered(out.rows.size());
    for (size_t i = 0; i < obs.size(); ++i) ordered[obs[i].index] = out.rows[i];
    // Duplicates that agreed: the order of the given list, each its own row.
    out.rows = ordered;
    out.trued = cur;
    out.factors = out.factors_fitted ? table : own;
    out.mv_before_fps = muzzle_velocity_at(p, c.temperature_f);
    out.mv_after_fps = muzzle_velocity_at(cur, c.temperature_f);
    out.ok = true;
    return out;
}

std::string truing_text(const truing_result& r)
{
    if (!r.ok) return r.refusal + "\n";
    std::string t = "Muzzle velocity: " + num("%.1f", r.mv_before_fps) + " ft/s before, " +
                    num("%.1f", r.mv_after_fps) + " ft/s after" +
                    (r.velocity_fitted ? "" : " (no observation beyond Mach 1.2: unchanged)") + ".\n";
    if (r.factors.empty()) t += "Drop scale factors: none.\n";
    else {
        t += std::string("Drop scale factors") + (r.factors_fitted ? "" : " (unchanged)") + ":";
        for (const dsf_row& f : r.factors) t += " Mach " + num("%.2f", f.mach) + " " + num("%.3f", f.factor) + ";";
        t.back() = '\n';
    }
    t += "    Range   Mach   Observed     Before      After\n";
    for (const truing_row& row : r.rows) {
        auto hold = [&](double moa) { return num("%11.2f", moa_to_hold(moa, row.unit, row.range_yd)); };
        t += num("%6.0f", row.range_yd) + " yd " + num("%6.2f", row.mach_before) + hold(row.observed_moa) +
             hold(row.before_moa) + hold(row.after_moa) + " " + hold_unit_text(row.unit) + "\n";
    }
    return t;
}

std::string truing_json(const truing_result& r)
{
    if (!r.ok) return "{\"error\": " + json_text(r.refusal) + "}\n";
    std::string j = "{\"mv_fps_before\": " + num("%.1f", r.mv_before_fps) +
                    ", \"mv_fps_after\": " + num("%.1f", r.mv_after_fps) + ", \"dsf\": [";
    for (size_t i = 0; i < r.factors.size(); ++i)
        j += std::string(i ? ", " : "") + "{\"mach\": " + num("%.2f", r.factors[i].mach) +
             ", \"factor\": " + num("%.3f", r.factors[i].factor) + "}";
    j += "], \"observations\": [";
    for (size_t i = 0; i < r.rows.size(); ++i) {
        const truing_row& row = r.rows[i];
        j += std::string(i ? ", " : "") + "{\"range_yd\": " + num("%.1f", row.range_yd) +
             ", \"observed_moa\": " + num("%.2f", row.observed_moa) +
             ", \"before_moa\": " + num("%.2f", row.before_moa) + ", \"after_moa\": " + num("%.2f", row.after_moa) +
             "}";
    }
    return j + "]}\n";
}
