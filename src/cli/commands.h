// The subcommands of stowline-cli that work on files alone, each a function
// that writes its output and messages to two streams and returns the exit
// status. main.cpp only parses the command line and calls them.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "ballistics/solver.h"

constexpr int kExitOk = 0;
constexpr int kExitDifferent = 1;  // diff: some fields differ; transfers: profiles skipped
constexpr int kExitFailure = 2;    // usage, a missing or unreadable file, refused input, a failed write; a link failure
constexpr int kExitDeclined = 3;   // send: the question was answered no (or not at all)
constexpr int kExitInterrupted = 130;  // a transfer stopped by Ctrl-C

struct CliStreams {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool quiet = false;  // no notes on `err`; errors are always written
};

// Gives `f` a 64 KiB buffer (before anything is written to it): show and
// export write kilobytes per profile.
void buffer_output(std::FILE* f);

// Each file field by field; `units` 1..3 adds the editor's form texts.
int run_show(const std::vector<std::string>& files, int units, const CliStreams& io);
// One file as JSON, to `out_path` (through the whole-file writer) or, when
// it is empty, to io.out.
int run_export(const std::string& file, const std::string& out_path, const CliStreams& io);
// JSON (a path, or "-" for standard input) to a .pro file; missing fields
// from `base` when given.
int run_import(const std::string& in, const std::string& out_path, const std::string& base, const CliStreams& io);
int run_diff(const std::string& a, const std::string& b, const CliStreams& io);
int run_ports(const CliStreams& io);

// What `table` was asked for: each value left out is the profile's (its
// atmosphere, its range) or the default (100 yd steps, no wind, no
// Coriolis). Yards, deg F, inHg, percent, mph, degrees.
// The shot's conditions given on the command line; the profile's own air
// for what is not given.
struct ConditionsRequest {
    std::optional<double> temperature_f, pressure_inhg, humidity_pct, wind_mph, wind_from_deg;
    std::optional<double> latitude_deg, azimuth_deg;  // both or neither: Coriolis
};
shot_conditions conditions_for(const GunProfile& p, const ConditionsRequest& request);

struct TableRequest : ConditionsRequest {
    std::optional<double> to_yd, step_yd;
    enum class Format { text, json, csv } format = Format::text;
};
// The trajectory of one file's profile as a table, JSON or CSV; a profile
// the solver refuses is a message naming the value and kExitFailure.
int run_table(const std::string& file, const TableRequest& request, const CliStreams& io);

// true (truing_command.cpp): the profile trued from holds "RANGE:HOLD"
// (800:5.2mil, 730m:17.9moa) in the conditions given (the profile's air
// otherwise); writes it to `out_path` when given. A refusal is its sentence
// and kExitFailure.
struct TrueRequest : ConditionsRequest {
    std::vector<std::string> observed;
    std::string out_path;
    bool json = false;
};
int run_true(const std::string& file, const TrueRequest& request, const CliStreams& io);

// send and get (transfers.cpp): the window's Send Profiles and Get Profiles
// through the same core, with the plain driver.
struct TransferRequest {
    enum class Device { m600, m900, cv_relay } device = Device::m600;
    std::string port;                // m600, cv-relay: the serial port; the M900 is found by its USB identity
    std::vector<std::string> paths;  // send: one folder, or profile files
    std::string to;                  // get: the folder the profiles are saved in
    bool yes = false;                // send: no question
    bool clean = false;              // get: the folder's profiles go once the device answers
    bool trace = false;              // the link's trace lines on standard error
    int terminal = -1;               // send: whether a question can be asked; -1: standard input is a terminal
};
// Replaces every profile on the device with those of the folder or files;
// asks first on a terminal unless `yes`, refuses without a terminal.
int run_send(const TransferRequest& request, const CliStreams& io);
// Saves the device's profiles into `to`, made when missing.
int run_get(const TransferRequest& request, const CliStreams& io);
// What to do about a port or cable the user may not open.
extern const char* const kPermissionHint;

// Unit-system names for --units: "mixed", "english", "metric" -> 1..3.
int units_from_name(const std::string& name);
