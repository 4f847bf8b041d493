// Shared set-up of the link tests: link state back to its start values, the
// hooks replaced by recorders, the simulated bridge back to power-on.
#pragma once

#include "link/carriers.h"
#include "link/link_state.h"

#include <string>
#include <vector>

// A timer started through link_hooks.start_timer; tests fire it by hand.
struct fake_timer {
    unsigned id;
    unsigned ms;
    bool (*fire)();
    bool live;
};

struct link_record {
    std::vector<std::string> lines;
    std::vector<std::string> status;
    int pumps = 0;
    int progress_hides = 0;
    int sleeps = 0;
    bool poll_on_pump = true;
    std::vector<fake_timer> timers;
    std::vector<std::string> progress;  // every text progress_show was given
    bool progress_open = false;
};

extern link_record rec;

void reset_link();

// Fires the live timers of `ms` (all live ones when 0); returns how many.
int fire_timers(unsigned ms = 0);
