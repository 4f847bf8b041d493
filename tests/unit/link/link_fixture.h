// Shared set-up of the link tests: link state back to its start values, the
// hooks replaced by recorders, the simulated bridge back to power-on.
#pragma once

#include "link/carriers.h"
#include "link/link_state.h"

#include <string>
#include <vector>

struct link_record {
    std::vector<std::string> lines;
    std::vector<std::string> status;
    int pumps = 0;
    int progress_hides = 0;
    int sleeps = 0;
    bool poll_on_pump = true;
};

extern link_record rec;

void reset_link();
