// Test main for the GUI suites: a working folder of its own, then the
// program's start-up (without its main loop), then the tests. Any toolkit
// warning or critical ends the run at once.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "app/startup.h"
#include "gui_support.h"

namespace fs = std::filesystem;

static std::string g_root;

const std::string& test_root() { return g_root; }

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

    char tmpl[] = "/tmp/stowline-gui-XXXXXX";
    if (!mkdtemp(tmpl)) return 2;
    g_root = tmpl;
    fs::create_directories(g_root + "/bin");
    fs::create_directories(g_root + "/Profiles");
    fs::create_directories(g_root + "/Device");
    for (const auto& e : fs::directory_iterator(STOWLINE_IMAGES_DIR))
        fs::copy_file(e.path(), g_root + "/bin/" + e.path().filename().string(), fs::copy_options::overwrite_existing);
    if (chdir((g_root + "/bin").c_str()) != 0) return 2;

    // A toolkit warning or critical stops the test where it is raised (as
    // G_DEBUG=fatal-warnings would), with the message and the test's name in
    // the output, whether the test runs under ctest or by hand.
    g_log_set_always_fatal(GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_ERROR));

    if (!start_application(&argc, &argv)) return 2;
    pump_events();
    int status = RUN_ALL_TESTS();
    std::error_code ec;
    fs::remove_all(g_root, ec);
    return status;
}
