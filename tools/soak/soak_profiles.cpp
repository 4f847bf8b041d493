#include "soak_profiles.h"

#include "link/profile_lines.h"

#include <cstring>

namespace {

float uniform(std::mt19937& rng, double low, double high, double step)
{
    const long steps = static_cast<long>((high - low) / step + 0.5);
    std::uniform_int_distribution<long> d(0, steps);
    return static_cast<float>(low + static_cast<double>(d(rng)) * step);
}

int whole(std::mt19937& rng, int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }

// Characters a name may hold: no comma (it ends the name on the line), no
// path separator, no control character; never a marker ('*', '|') first.
const char kFirst[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
const char kRest[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 -_+#()=";

}  // namespace

GunProfile random_profile(std::mt19937& rng, int tag, size_t max_name)
{
    GunProfile p{};
    apply_new_profile_values(p);
    std::string name;
    const size_t extra = static_cast<size_t>(whole(rng, 0, static_cast<int>(max_name) - 3));
    for (size_t i = 0; i < extra; ++i)
        name.push_back(i == 0 ? kFirst[whole(rng, 0, sizeof kFirst - 2)] : kRest[whole(rng, 0, sizeof kRest - 2)]);
    const char* digits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (int i = 0, t = tag; i < 3; ++i, t /= 36) name.push_back(digits[t % 36]);
    set_profile_name(p, name.c_str());

    static const int codes[] = {0, 1, 10, 0, 1, 10, 5, 12};
    p.dc = codes[whole(rng, 0, 7)];
    p.bc = uniform(rng, 0.1, 1.2, 0.001);
    p.bd = uniform(rng, 0.1, 0.6, 0.001);
    p.bl = uniform(rng, 0.3, 2.8, 0.001);
    p.bw = static_cast<float>(whole(rng, 20, 750));
    p.bt = uniform(rng, 5.0, 20.0, 0.01) * (whole(rng, 0, 1) ? 1.0f : -1.0f);
    p.sd = p.bt < 0 ? -1 : 1;
    p.mv = static_cast<float>(whole(rng, 800, 4000));
    p.zr = static_cast<float>(whole(rng, 25, 1000));
    p.shi = uniform(rng, 0.5, 4.0, 0.001);
    p.zh = uniform(rng, -9.9, 9.9, 0.1);
    p.zo = uniform(rng, -9.9, 9.9, 0.1);
    p.ssfV = uniform(rng, 0.1, 9.999, 0.001);
    p.ssfH = uniform(rng, 0.1, 9.999, 0.001);
    for (int i = 0; i < 6; ++i) {
        p.vl[i] = uniform(rng, 0.0, 5.0, 0.001);
        p.dsf[i] = uniform(rng, 0.5, 1.5, 0.001);
        p.mvt_temp[i] = static_cast<float>(whole(rng, -40, 140));
        p.mvt_mv[i] = whole(rng, 0, 5) == 0 ? 0.0f : static_cast<float>(whole(rng, 800, 4000));
    }
    for (CurvePoint& c : p.cc) c = {uniform(rng, 0.0, 5.0, 0.001), uniform(rng, 0.0, 1.0, 0.001)};
    p.eu = whole(rng, 1, 4);
    p.wu = whole(rng, 1, 4);
    p.ce = whole(rng, 1, 3);
    p.cw = whole(rng, 1, 3);
    p.cve = whole(rng, 1, 20);
    p.cvw = whole(rng, 1, 20);
    return p;
}

GunProfile carried_profile(GunProfile p, bool relay, float version)
{
    profile_line_set l;  // as sent: the 182-character rule looks at the received line
    build_profile_lines(p, relay, version, &l, nullptr);
    if (!relay && static_cast<double>(version) <= 1.12001) p.zh = p.zo = 0.0f;
    if (choose_main_form(relay, version, p.bt) == 3 || (!relay && l.main.size() <= 182)) p.ssfV = p.ssfH = 1.0f;
    return p;
}

std::string carried_lines(const GunProfile& p, bool relay, float version)
{
    profile_line_set l;
    if (!build_profile_lines(p, relay, version, &l, nullptr)) return "(cannot be sent)";
    return l.name + l.main + l.mv_table + l.drag + l.mach;
}
