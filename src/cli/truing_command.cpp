// stowline-cli true: a profile trued from the holds the user needed.
#include <string>
#include <vector>

#include "ballistics/truing.h"
#include "cli/commands.h"
#include "cli/profile_fields.h"

namespace {

void say(const CliStreams& io, const std::string& text) { std::fprintf(io.err, "stowline-cli: %s\n", text.c_str()); }

void put(const std::string& text, std::FILE* f) { std::fwrite(text.data(), 1, text.size(), f); }

// "RANGE:HOLD": 800:5.2mil, 730m:17.9moa.
bool read_observed(const std::string& text, truing_observation& o)
{
    size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    return parse_truing_range(text.substr(0, colon), &o.range_yd) &&
           parse_truing_hold(text.substr(colon + 1), &o.hold, &o.unit);
}

}  // namespace

int run_true(const std::string& file, const TrueRequest& request, const CliStreams& io)
{
    std::vector<truing_observation> obs;
    for (const std::string& text : request.observed) {
        truing_observation o;
        if (!read_observed(text, o)) {
            say(io, "--observed " + text +
                        ": expected RANGE:HOLD, the range in yards or with m, the hold with mil, moa, smoa or in "
                        "(800:5.2mil, 730m:17.9moa)");
            return kExitFailure;
        }
        obs.push_back(o);
    }
    LoadedProfile p;
    std::string why;
    if (!load_profile(file, p, why)) {
        say(io, "cannot read " + file + ": " + why);
        return kExitFailure;
    }
    if (!io.quiet && !p.source.empty()) say(io, file + ": " + p.source);
    shot_conditions c = conditions_for(p.record, request);
    const truing_result r = true_profile(p.record, c, obs);
    if (!r.ok) {
        say(io, file + ": " + r.refusal);
        return kExitFailure;
    }
    if (!request.out_path.empty() && !write_profile_bytes(request.out_path, r.trued, &why)) {
        say(io, "cannot write " + request.out_path + ": " + why);
        return kExitFailure;
    }
    put(request.json ? truing_json(r) : truing_text(r), io.out);
    return kExitOk;
}
