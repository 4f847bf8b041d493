// Shared set-up of the link tests: link state back to its start values, the
// hooks replaced by recorders, the simulated bridge back to power-on; and the
// fixture of the transfer tests, a folder of their own.
#pragma once

#include "link/carriers.h"
#include "link/link_state.h"
#include "link/link_test_access.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

// A timer started through the_link().calls.start_timer; tests fire it by hand.
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

// A transfer test in a folder of its own: the link reset, a fresh `root`
// holding bin/ (the working folder, as beside the program) and Device/,
// removed again at the end.
template <class Base = testing::Test>
class link_folder_test : public Base {
protected:
    void SetUp() override
    {
        reset_link();
        root = std::filesystem::temp_directory_path() / ("stowline-link-" + std::to_string(getpid()));
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root / "bin");
        std::filesystem::create_directories(root / "Device");
        old_cwd = std::filesystem::current_path();
        std::filesystem::current_path(root / "bin");
    }
    void TearDown() override
    {
        reset_link();
        std::filesystem::current_path(old_cwd);
        std::filesystem::remove_all(root);
    }

public:  // table rows act on a test through it
    std::filesystem::path root, old_cwd;
};
