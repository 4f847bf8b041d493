// Observations of any numbers trued against a sane profile: always a trued
// profile with finite numbers, sorted factors and nothing but the trued
// fields changed, or a refusal that says why and leaves the profile as it
// was; never a hang (libFuzzer's timeout catches one).
//
// Input: a flag byte (bit 0: G7 instead of G1; bit 1: the observations are
// raw doubles, else 16-bit values scaled over plausible spans; bit 2: the
// next 48 bytes are the drop scale factor table, six Mach numbers then six
// factors, as floats; bit 3: a velocity table of three rows), then up to six
// observations: range, hold, and a byte for the unit.
#include <cmath>
#include <cstring>
#include <vector>

#include "ballistics/truing.h"
#include "fuzz_support.h"
#include "profile/gun_profile.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_quiet_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    GunProfile p{};
    apply_new_profile_values(p);
    p.temp = 59;
    p.pres = 29.92f;
    p.hum = 50;
    p.ssfV = p.ssfH = 1;
    p.eu = p.wu = 1;
    p.ce = p.cw = p.cve = p.cvw = 1;
    const uint8_t flags = data[0];
    size_t at = 1;
    if (flags & 1) {
        p.dc = 1;
        p.bc = 0.243f;
    }
    if ((flags & 4) && size >= at + 48) {
        std::memcpy(p.vl, data + at, 24);
        std::memcpy(p.dsf, data + at + 24, 24);
        at += 48;
    }
    if (flags & 8) {
        const float temps[] = {20, 59, 100}, mvs[] = {2550, 2600, 2660};
        for (int i = 0; i < 3; ++i) p.mvt_temp[i] = temps[i], p.mvt_mv[i] = mvs[i];
    }
    const bool raw = flags & 2;
    const size_t width = raw ? 17 : 5;
    std::vector<truing_observation> obs;
    while (size - at >= width && obs.size() < 6) {
        truing_observation o;
        if (raw) {
            std::memcpy(&o.range_yd, data + at, 8);
            std::memcpy(&o.hold, data + at + 8, 8);
        } else {
            o.range_yd = fuzz_scaled(data + at, 0, 3000);
            o.hold = fuzz_scaled(data + at + 2, -20, 120);
        }
        o.unit = static_cast<hold_unit>(data[at + width - 1] % 4);
        obs.push_back(o);
        at += width;
    }

    const truing_result r = true_profile(p, conditions_from_profile(p), obs);
    if (!r.ok) {
        FUZZ_CHECK(!r.refusal.empty() && r.rows.empty(), "a refusal without its reason, or with rows");
        FUZZ_CHECK(std::memcmp(&r.trued, &p, sizeof p) == 0, "a refusal that changed the profile");
    } else {
        FUZZ_CHECK(r.rows.size() == obs.size(), "%zu rows for %zu observations", r.rows.size(), obs.size());
        FUZZ_CHECK(std::isfinite(r.mv_after_fps) && r.mv_after_fps > 0, "a velocity of %g", r.mv_after_fps);
        for (const truing_row& row : r.rows)
            FUZZ_CHECK(std::isfinite(row.before_moa) && std::isfinite(row.after_moa) && std::isfinite(row.mach_before),
                       "a non-finite hold at %g yd", row.range_yd);
        FUZZ_CHECK(r.factors.size() <= 6, "%zu factors", r.factors.size());
        for (size_t i = 0; i < r.factors.size(); ++i) {
            FUZZ_CHECK(std::isfinite(r.factors[i].mach) && std::isfinite(r.factors[i].factor), "a non-finite factor");
            FUZZ_CHECK(i == 0 || r.factors[i].mach >= r.factors[i - 1].mach, "factors out of order");
        }
        GunProfile only = p;
        copy_trued_fields(only, r.trued);
        FUZZ_CHECK(std::memcmp(&only, &r.trued, sizeof p) == 0, "a field truing does not write changed");
        FUZZ_CHECK(std::memcmp(p.mvt_temp, r.trued.mvt_temp, sizeof p.mvt_temp) == 0, "the table's temperatures");
    }
    truing_text(r);
    truing_json(r);
    return 0;
}
