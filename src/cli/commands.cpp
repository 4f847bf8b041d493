#include "cli/commands.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "ballistics/solver.h"
#include "base/file_replace.h"
#include "base/numbers.h"
#include "cli/profile_json.h"
#include "cli/profile_report.h"
#include "profile/units.h"

namespace {

// A profile's JSON is a few kilobytes; anything this large is not one.
constexpr size_t kMaxJsonBytes = 1 << 20;

void say(const CliStreams& io, const char* fmt, const std::string& a, const std::string& b = std::string())
{
    std::fputs("stowline-cli: ", io.err);
    std::fprintf(io.err, fmt, a.c_str(), b.c_str());
    std::fputc('\n', io.err);
}

// "-" in messages: standard input.
std::string shown(const std::string& path) { return path == "-" ? "standard input" : path; }

void note(const CliStreams& io, const std::string& path, const std::string& source)
{
    if (!io.quiet && !source.empty()) say(io, "%s: %s", shown(path), source);
}

void put(const std::string& text, std::FILE* f) { std::fwrite(text.data(), 1, text.size(), f); }

// The whole of `path`, or of standard input for "-", up to kMaxJsonBytes.
// Every "-" of a command comes here: standard input is read once, and a
// profile's bytes are not taken from a terminal.
bool read_input(const std::string& path, std::string& bytes, bool binary, const CliStreams& io)
{
    static bool stdin_read = false;
    if (path == "-") {
        if (stdin_read) {
            say(io, "standard input can be read only once: give - for one file only", "");
            return false;
        }
        if (binary && isatty(STDIN_FILENO)) {
            say(io, "standard input is a terminal: pipe a profile into it (stowline-cli show - < GUN1.pro)", "");
            return false;
        }
        stdin_read = true;
    }
    std::FILE* f = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (!f) {
        say(io, "cannot read %s: %s", path, std::strerror(errno));
        return false;
    }
    char buf[65536];
    size_t n;
    bytes.clear();
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && bytes.size() <= kMaxJsonBytes) bytes.append(buf, n);
    const int failed = std::ferror(f) ? errno : 0;
    if (f != stdin) std::fclose(f);
    if (failed) {
        say(io, "cannot read %s: %s", shown(path), failed == EISDIR ? "it is a folder" : std::strerror(failed));
        return false;
    }
    if (bytes.size() > kMaxJsonBytes) {
        say(io, "%s: too large to be a profile (more than %s bytes)", shown(path), std::to_string(kMaxJsonBytes));
        return false;
    }
    return true;
}

bool load(const std::string& path, LoadedProfile& p, const CliStreams& io)
{
    std::string bytes, why;
    if (path == "-" && !read_input(path, bytes, true, io)) return false;
    if (path == "-" ? profile_from_bytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), p, why)
                    : load_profile(path, p, why))
        return true;
    say(io, "cannot read %s: %s", shown(path), why);
    return false;
}

// Writes `bytes` to `path`, replacing it, or to standard output for "-".
bool write_output(const std::string& path, const std::string& bytes, const CliStreams& io)
{
    if (path == "-") {
        put(bytes, io.out);
        return true;
    }
    std::string why;
    if (write_file_replacing(path, bytes.data(), bytes.size(), Placement::replace, &why)) return true;
    say(io, "cannot write %s: %s", path, why);
    return false;
}

int list_port(void* user, const serial_port_info* info)
{
    auto* io = static_cast<const CliStreams*>(user);
    put(port_line(*info) + '\n', io->out);
    return 1;
}

}  // namespace

void buffer_output(std::FILE* f)
{
    static char buffer[1 << 16];
    std::setvbuf(f, buffer, _IOFBF, sizeof buffer);
}

int units_from_name(const std::string& name)
{
    if (name == "mixed") return kUnitsMixed;
    if (name == "english") return kUnitsEnglish;
    if (name == "metric") return kUnitsMetric;
    return 0;
}

int run_show(const std::vector<std::string>& files, int units, const CliStreams& io)
{
    int status = kExitOk;
    bool first = true;
    for (const std::string& path : files) {
        LoadedProfile p;
        if (!load(path, p, io)) {
            status = kExitFailure;
            continue;
        }
        put((first ? "" : "\n") + shown(path) + ": " + (p.source.empty() ? "556-byte profile" : p.source) + "\n",
            io.out);
        first = false;
        put(show_text(p.record, units), io.out);
    }
    return status;
}

int run_export(const std::string& file, const std::string& out_path, const CliStreams& io)
{
    LoadedProfile p;
    if (!load(file, p, io)) return kExitFailure;
    const std::string json = profile_to_json(p.record, p.source);
    if (!write_output(out_path.empty() ? "-" : out_path, json, io)) return kExitFailure;
    note(io, file, p.source);
    return kExitOk;
}

int run_import(const std::string& in, const std::string& out_path, const std::string& base, const CliStreams& io)
{
    // The JSON first: a base given as "-" as well is then refused as a
    // second read of standard input, whatever its size.
    std::string text;
    if (!read_input(in, text, false, io)) return kExitFailure;
    LoadedProfile base_profile;
    if (!base.empty() && !load(base, base_profile, io)) return kExitFailure;
    GunProfile p;
    std::string why;
    if (!profile_from_json(text, base.empty() ? nullptr : &base_profile.record, p, why)) {
        say(io, "%s: %s", shown(in), why);
        return kExitFailure;
    }
    // What the JSON changes: the base, else the profile file it replaces.
    LoadedProfile before = base_profile;
    struct stat st;
    const bool replacing = base.empty() && out_path != "-" && ::stat(out_path.c_str(), &st) == 0 &&
                           S_ISREG(st.st_mode) && load_profile(out_path, before, why);
    if (out_path == "-") {
        if (isatty(fileno(io.out))) {
            say(io, "standard output is a terminal: redirect the profile's bytes (-o - > GUN1.pro)", "");
            return kExitFailure;
        }
        put(std::string(reinterpret_cast<const char*>(&p), sizeof p), io.out);
    } else if (!write_profile_bytes(out_path, p, &why)) {
        say(io, "cannot write %s: %s", out_path, why);
        return kExitFailure;
    }
    if ((replacing || !base.empty()) && before.record.mv != p.mv && velocity_table_in_use(p))
        note(io, in,
             "mv is now " + format_number("%.1f", p.mv) +
                 " ft/s, but the profile's velocity table (mvt_temp, mvt_mv) gives its muzzle velocity: the "
                 "trajectory does not use mv while the table has two or more rows");
    return kExitOk;
}

int run_diff(const std::string& a, const std::string& b, const CliStreams& io)
{
    LoadedProfile pa, pb;
    const bool read_a = load(a, pa, io);
    if (!load(b, pb, io) || !read_a) return kExitFailure;
    note(io, a, pa.source);
    note(io, b, pb.source);
    const std::string text = diff_text(pa.record, pb.record);
    put(text, io.out);
    return text.empty() ? kExitOk : kExitDifferent;
}

int run_ports(const CliStreams& io)
{
    enumerate_serial_ports(list_port, const_cast<CliStreams*>(&io));
    return kExitOk;
}

shot_conditions conditions_for(const GunProfile& p, const ConditionsRequest& request)
{
    shot_conditions c = conditions_from_profile(p);
    c.temperature_f = request.temperature_f.value_or(c.temperature_f);
    c.pressure_inhg = request.pressure_inhg.value_or(c.pressure_inhg);
    c.humidity_pct = request.humidity_pct.value_or(c.humidity_pct);
    c.wind_mph = request.wind_mph.value_or(c.wind_mph);
    c.wind_from_deg = request.wind_from_deg.value_or(c.wind_from_deg);
    if (request.latitude_deg && request.azimuth_deg) {
        c.coriolis = true;
        c.latitude_deg = *request.latitude_deg;
        c.azimuth_deg = *request.azimuth_deg;
    }
    return c;
}

int run_table(const std::string& file, const TableRequest& request, const CliStreams& io)
{
    LoadedProfile p;
    if (!load(file, p, io)) return kExitFailure;
    note(io, file, p.source);
    shot_conditions c = conditions_for(p.record, request);
    // The command line's ranges are yards: the English defaults.
    const solution s = solve_profile(p.record, c, request.to_yd.value_or(default_range_yd(p.record, kUnitsEnglish)),
                                     request.step_yd.value_or(default_step_yd(kUnitsEnglish)));
    if (!s.ok) {
        say(io, "%s: %s", file, s.missing);
        return kExitFailure;
    }
    switch (request.format) {
    case TableRequest::Format::text: {
        // The muzzle velocity's source under the first line, as the preview's assumptions give it.
        std::string text = table_text(s);
        text.insert(text.find('\n') + 1, muzzle_velocity_assumption(p.record, c, kUnitsEnglish) + "\n");
        put(text, io.out);
        break;
    }
    case TableRequest::Format::json: put(table_json(s), io.out); break;
    case TableRequest::Format::csv: put(table_csv(s), io.out); break;
    }
    // The plain table ends with it; JSON and CSV readers get it as a note.
    if (request.format != TableRequest::Format::text) {
        if (velocity_table_in_use(p.record)) note(io, file, muzzle_velocity_assumption(p.record, c, kUnitsEnglish));
        note(io, file, s.end_note);
    }
    return kExitOk;
}
