// stowline-cli: profiles from a terminal. Each subcommand is one add_*
// function (its options, and what runs it) and one row of kSubcommands; the
// work itself is in commands.cpp.
#include <CLI/CLI.hpp>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "cli/commands.h"

namespace {

struct Globals {
    bool quiet = false;
    bool trace = false;  // the link's trace lines on standard error (transfers)
};

using Runner = std::function<int()>;

CliStreams streams(const Globals& g)
{
    CliStreams io;
    io.quiet = g.quiet;
    return io;
}

Runner add_show(CLI::App& sub, const Globals& g)
{
    auto files = std::make_shared<std::vector<std::string>>();
    auto units = std::make_shared<std::string>();
    sub.add_option("FILE", *files, "profile files (.pro); - reads standard input")->required();
    sub.add_option("--units", *units, "also show what the editor's form shows under this unit system")
        ->check(CLI::IsMember({"mixed", "english", "metric"}));
    return [=, &g] { return run_show(*files, units_from_name(*units), streams(g)); };
}

Runner add_export(CLI::App& sub, const Globals& g)
{
    auto file = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    sub.add_option("FILE", *file, "profile file (.pro), or - for standard input")->required();
    sub.add_option("-o,--output", *out, "write the JSON here (replacing it); - or none: standard output");
    return [=, &g] { return run_export(*file, *out, streams(g)); };
}

Runner add_import(CLI::App& sub, const Globals& g)
{
    auto in = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    auto base = std::make_shared<std::string>();
    sub.add_option("IN", *in, "JSON file, or - for standard input")->required();
    sub.add_option("-o,--output", *out, "the profile file to write (replaced if it exists), or - for standard output")
        ->required();
    sub.add_option("--base", *base,
                   "take the fields the JSON leaves out from this profile file (- for standard input)");
    return [=, &g] { return run_import(*in, *out, *base, streams(g)); };
}

Runner add_diff(CLI::App& sub, const Globals& g)
{
    auto a = std::make_shared<std::string>();
    auto b = std::make_shared<std::string>();
    sub.add_option("A", *a, "profile file (.pro), or - for standard input")->required();
    sub.add_option("B", *b, "profile file (.pro), or - for standard input")->required();
    return [=, &g] { return run_diff(*a, *b, streams(g)); };
}

Runner add_table(CLI::App& sub, const Globals& g)
{
    static const struct {
        const char* flag;
        const char* unit;
        const char* help;
        std::optional<double> TableRequest::*field;
    } kValues[] = {
        {"--to", "YD", "the last range (default the profile's maxr, at least 1000 yd)", &TableRequest::to_yd},
        {"--step", "YD", "the distance between rows (default 100 yd)", &TableRequest::step_yd},
        {"--temperature", "F", "the air temperature (default the profile's temp)", &TableRequest::temperature_f},
        {"--pressure", "INHG", "the station pressure (default the profile's pres)", &TableRequest::pressure_inhg},
        {"--humidity", "PCT", "the relative humidity (default the profile's hum)", &TableRequest::humidity_pct},
        {"--wind", "MPH", "the wind speed (default 0)", &TableRequest::wind_mph},
        {"--wind-from", "DEG", "where the wind comes from, clockwise: 0 the target, 90 the right (default 0)",
         &TableRequest::wind_from_deg},
        {"--latitude", "DEG", "the latitude, north positive; with --azimuth for Coriolis", &TableRequest::latitude_deg},
        {"--azimuth", "DEG", "the direction of fire, clockwise from north; with --latitude",
         &TableRequest::azimuth_deg},
    };
    constexpr size_t n = sizeof kValues / sizeof kValues[0];
    auto file = std::make_shared<std::string>();
    auto values = std::make_shared<std::array<double, n>>();
    auto format = std::make_shared<TableRequest::Format>(TableRequest::Format::text);
    std::array<CLI::Option*, n> given{};
    sub.add_option("FILE", *file, "profile file (.pro), or - for standard input")->required();
    for (size_t i = 0; i < n; ++i)
        given[i] = sub.add_option(kValues[i].flag, (*values)[i], kValues[i].help)->type_name(kValues[i].unit);
    CLI::Option *latitude = given[n - 2], *azimuth = given[n - 1];
    latitude->needs(azimuth);
    azimuth->needs(latitude);
    CLI::Option* json = sub.add_flag_callback(
        "--json", [=] { *format = TableRequest::Format::json; }, "print JSON");
    CLI::Option* csv = sub.add_flag_callback(
        "--csv", [=] { *format = TableRequest::Format::csv; }, "print CSV");
    json->excludes(csv);
    return [=, &g] {
        TableRequest request;
        request.format = *format;
        for (size_t i = 0; i < n; ++i)
            if (given[i]->count() > 0) request.*kValues[i].field = (*values)[i];
        return run_table(*file, request, streams(g));
    };
}

Runner add_true(CLI::App& sub, const Globals& g)
{
    static const struct {
        const char* flag;
        const char* unit;
        const char* help;
        std::optional<double> TrueRequest::*field;
    } kValues[] = {
        {"--temperature", "F", "the air temperature of the shots (default the profile's temp)",
         &TrueRequest::temperature_f},
        {"--pressure", "INHG", "the station pressure (default the profile's pres)", &TrueRequest::pressure_inhg},
        {"--humidity", "PCT", "the relative humidity (default the profile's hum)", &TrueRequest::humidity_pct},
        {"--wind", "MPH", "the wind speed (default 0)", &TrueRequest::wind_mph},
        {"--wind-from", "DEG", "where the wind came from, clockwise: 0 the target, 90 the right (default 0)",
         &TrueRequest::wind_from_deg},
        {"--latitude", "DEG", "the latitude, north positive; with --azimuth for Coriolis", &TrueRequest::latitude_deg},
        {"--azimuth", "DEG", "the direction of fire, clockwise from north; with --latitude", &TrueRequest::azimuth_deg},
    };
    constexpr size_t n = sizeof kValues / sizeof kValues[0];
    auto file = std::make_shared<std::string>();
    auto r = std::make_shared<TrueRequest>();
    auto values = std::make_shared<std::array<double, n>>();
    std::array<CLI::Option*, n> given{};
    sub.add_option("FILE", *file, "profile file (.pro)")->required();
    sub.add_option("--observed", r->observed,
                   "a range and the elevation hold it needed: RANGE (yards, or with m) : HOLD with mil, moa, smoa "
                   "or in; positive raises the sight (800:5.2mil, 730m:17.9moa); repeat for more")
        ->type_name("RANGE:HOLD")
        ->allow_extra_args(false);
    for (size_t i = 0; i < n; ++i)
        given[i] = sub.add_option(kValues[i].flag, (*values)[i], kValues[i].help)->type_name(kValues[i].unit);
    given[n - 2]->needs(given[n - 1]);
    given[n - 1]->needs(given[n - 2]);
    sub.add_option("-o,--output", r->out_path, "write the trued profile here (replaced if it exists)");
    sub.add_flag("--json", r->json, "print JSON");
    return [=, &g] {
        TrueRequest request = *r;
        for (size_t i = 0; i < n; ++i)
            if (given[i]->count() > 0) request.*kValues[i].field = (*values)[i];
        return run_true(*file, request, streams(g));
    };
}

// --device and --port, shared by send and get; `kind` gets the device name.
std::shared_ptr<TransferRequest> add_link_options(CLI::App& sub, const std::shared_ptr<std::string>& kind)
{
    auto r = std::make_shared<TransferRequest>();
    sub.add_option("--device", *kind, "the device kind")
        ->required()
        ->check(CLI::IsMember({"m600", "m900", "cv-relay"}))
        ->type_name("m600|m900|cv-relay");
    sub.add_option("--port", r->port,
                   "the serial port of an m600 or cv-relay (see ports); the M900 is found by "
                   "its USB identity");
    return r;
}

// The request as parsed, with the device kind and the global --trace.
TransferRequest parsed(TransferRequest r, const std::string& kind, const Globals& g)
{
    r.device = kind == "m900"       ? TransferRequest::Device::m900
               : kind == "cv-relay" ? TransferRequest::Device::cv_relay
                                    : TransferRequest::Device::m600;
    r.trace = g.trace;
    return r;
}

Runner add_send(CLI::App& sub, const Globals& g)
{
    auto kind = std::make_shared<std::string>();
    auto r = add_link_options(sub, kind);
    sub.add_option("DIR|FILE", r->paths, "a folder of profiles, or profile files (.pro)")->required();
    sub.add_flag("-y,--yes", r->yes, "send without asking: every profile on the device is replaced");
    return [=, &g] { return run_send(parsed(*r, *kind, g), streams(g)); };
}

Runner add_get(CLI::App& sub, const Globals& g)
{
    auto kind = std::make_shared<std::string>();
    auto r = add_link_options(sub, kind);
    sub.add_option("--to", r->to, "the folder the profiles are saved in (made when missing)")->required();
    sub.add_flag("--clean", r->clean, "delete the folder's profiles first, once the device answers");
    return [=, &g] { return run_get(parsed(*r, *kind, g), streams(g)); };
}

Runner add_ports(CLI::App&, const Globals& g)
{
    return [&g] { return run_ports(streams(g)); };
}

const struct {
    const char* name;
    const char* help;
    Runner (*add)(CLI::App&, const Globals&);
} kSubcommands[] = {
    {"show", "print every field of profiles with its value and unit, in record order", add_show},
    {"export", "write a profile as JSON", add_export},
    {"import", "write a profile from JSON", add_import},
    {"diff", "print the fields where two profiles differ (exit 1 when some do)", add_diff},
    {"table", "print the trajectory a profile gives: drop, windage, holds, velocity, energy, time", add_table},
    {"true", "fit a profile's muzzle velocity and drop scale factors to the holds it needed at the range", add_true},
    {"ports", "list the serial ports as the program's port list shows them", add_ports},
    {"send", "replace every profile on the device with those of a folder or files", add_send},
    {"get", "save the device's profiles into a folder", add_get},
};

}  // namespace

int main(int argc, char** argv)
{
    Globals g;
    CLI::App app{"Gun profiles for handheld ballistics meters, from a terminal.", "stowline-cli"};
    app.footer("Exit status: 0 done, 1 differences found or profiles skipped, 2 a usage, input or link failure,\n"
               "3 a send answered no, 130 a transfer stopped by Ctrl-C.\n"
               "The JSON form and every subcommand: man stowline-cli.");
    app.require_subcommand(1);
    app.failure_message([](const CLI::App*, const CLI::Error& e) {
        return "stowline-cli: " + std::string(e.what()) + "\nRun with --help for more information.\n";
    });
    app.fallthrough();
    app.set_version_flag("--version", STOWLINE_VERSION);
    app.add_flag("-q,--quiet", g.quiet, "no notes; errors only");
    app.add_flag("--trace", g.trace, "the link's trace lines on standard error");

    std::vector<std::pair<CLI::App*, Runner>> runners;
    for (const auto& s : kSubcommands) {
        CLI::App* sub = app.add_subcommand(s.name, s.help);
        runners.emplace_back(sub, s.add(*sub, g));
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? kExitOk : kExitFailure;
    }

    if (!isatty(STDOUT_FILENO)) buffer_output(stdout);
    int status = kExitFailure;
    for (auto& [sub, run] : runners)
        if (sub->parsed()) status = run();
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "stowline-cli: cannot write the output: %s\n", std::strerror(errno));
        return kExitFailure;
    }
    return status;
}
