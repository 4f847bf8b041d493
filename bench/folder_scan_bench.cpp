// Folder-scan benchmark: a PC folder of 8,192 profiles, timing the PC list
// scan against a bare directory read and sort of the same folder, and the
// transfer pump (both scans plus five main-loop iterations); prints medians.
//   bench_folder_scan [RUNS]   (needs a display; run_folder_scan.sh uses Xvfb)
#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "shell/shell.h"
#include "app/startup.h"
#include "collections/profile_folders.h"
#include "collections/window/profile_lists.h"

namespace fs = std::filesystem;

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

double time_ms(const std::function<void()>& before, const std::function<void()>& work)
{
    before();
    auto t0 = std::chrono::steady_clock::now();
    work();
    auto t1 = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

void settle()
{
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

// The floor: read the folder, keep the ".pro" names, sort them.
size_t bare_read_and_sort(const char* folder)
{
    std::vector<std::string> names;
    DIR* dir = opendir(folder);
    if (!dir) return 0;
    while (const dirent* e = readdir(dir)) {
        size_t n = std::strlen(e->d_name);
        if (n >= 4 && std::strcmp(e->d_name + n - 4, ".pro") == 0) names.emplace_back(e->d_name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names.size();
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = argc > 1 ? std::atoi(argv[1]) : 21;
    char tmpl[] = "/tmp/stowline-bench-XXXXXX";
    if (!mkdtemp(tmpl)) return 2;
    fs::path root = tmpl;
    fs::create_directories(root / "bin");
    fs::create_directories(root / "Device");
    fs::create_directories(root / "Profiles");
    std::string record(556, '\0');
    for (int i = 0; i < kPcScanCapacity; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "GUN%05d.pro", (i * 7919) % 100000);
        std::ofstream(root / "Profiles" / name, std::ios::binary) << record;
    }
    if (chdir((root / "bin").c_str()) != 0) return 2;
    int fake_argc = 1;
    char* fake_argv[] = {argv[0], nullptr};
    char** pargv = fake_argv;
    if (!start_application(&fake_argc, &pargv)) return 2;
    gtk_widget_show(get_widget("id_mw"));
    settle();

    fs::path toggled = root / "Profiles" / "AAA-toggled.pro";
    bool present = false;
    auto change_folder = [&] {
        if (present) fs::remove(toggled);
        else std::ofstream(toggled) << record;
        present = !present;
    };
    auto nothing = [] {};

    std::vector<double> bare, core, same, changed, shown, pump_same, pump_changed;
    size_t count = 0;
    for (int r = 0; r < runs; ++r) {
        bare.push_back(time_ms(nothing, [&] { count = bare_read_and_sort("../Profiles"); }));
        core.push_back(time_ms(nothing, [] { scan_pc_folder(); }));
        same.push_back(time_ms(nothing, [] { scan_pc_profiles(); }));
        settle();
        changed.push_back(time_ms(change_folder, [] { scan_pc_profiles(); }));
        shown.push_back(time_ms(change_folder, [] {
            scan_pc_profiles();
            settle();
        }));
        pump_same.push_back(time_ms(nothing, [] { refresh_profile_lists(); }));
        settle();
        pump_changed.push_back(time_ms(change_folder, [] { refresh_profile_lists(); }));
        settle();
    }
    double floor = median(bare);
    std::printf("PC folder: %zu profiles, %d runs, medians in ms\n", count, runs);
    std::printf("  bare directory read + sort            %8.2f\n", floor);
    std::printf("  core scan (scan_pc_folder)            %8.2f  (%.2fx)\n", median(core), median(core) / floor);
    std::printf("  scan_pc_profiles, folder unchanged    %8.2f  (%.2fx)\n", median(same), median(same) / floor);
    std::printf("  scan_pc_profiles, folder changed      %8.2f  (%.2fx)\n", median(changed), median(changed) / floor);
    std::printf("  changed, until the view is laid out   %8.2f\n", median(shown));
    std::printf("  refresh_profile_lists, unchanged      %8.2f\n", median(pump_same));
    std::printf("  refresh_profile_lists, changed        %8.2f\n", median(pump_changed));
    std::printf("  list rows shown: %d\n", gtk_tree_model_iter_n_children(GTK_TREE_MODEL(get_object("cls")), nullptr));
    std::error_code ec;
    fs::remove_all(root, ec);
    return 0;
}
