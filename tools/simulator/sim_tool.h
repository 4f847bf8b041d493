// stowline-sim's command line and its profile folder: the .pro files it
// serves, and the files it writes for what an upload stores.
#pragma once

#include "sim_meter.h"

#include <functional>
#include <string>
#include <vector>

extern const char* const sim_usage;

struct sim_options {
    sim_kind kind = sim_kind::m600;
    std::string profiles;  // the folder; empty: profiles kept in memory only
    bool paced = true;     // real time unless --unpaced
    std::vector<sim_line_fault> faults;
    int silent_after = -1;
};

// False, with `error` saying why, for a command line that is not
// "--m600|--cv-relay [--profiles DIR] [--real-time|--unpaced]
//  [--bad-checksum LINE[@N]] [--lose LINE[@N]] [--garbage LINE[@N]]
//  [--silent-after N]".
bool sim_parse_options(int argc, const char* const* argv, sim_options* o, std::string* error);

// Stores the .pro files of `folder` in the meter, slots 1, 2, ... in the byte
// order of their names, at most the device's limit. Each file left out is
// named in `skipped` with the reason. False when the folder cannot be read.
bool sim_load_folder(sim_meter& m, const std::string& folder, std::vector<std::string>* skipped);

// Writes `record` as "<name>.pro" into `folder` through the whole-file
// writer, replacing a file of that name. Refused (false, `why`) for an empty
// name or one that could leave the folder; `path` receives the file written.
bool sim_save_profile(const std::string& folder, const GunProfile& record, std::string* path, std::string* why);

// From now on each profile an upload stores in `m` is also written into
// `folder` (sim_save_profile); `report` gets one line of text for each.
void sim_keep_in_folder(sim_meter& m, const std::string& folder, std::function<void(const std::string&)> report);
