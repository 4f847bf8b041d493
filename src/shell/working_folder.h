// The folder the program runs in: one that already holds its pictures is used
// as it is; otherwise a per-user folder under $XDG_DATA_HOME/stowline/ is laid
// out (bin/ with the installed pictures, Profiles/ and Device/ beside it).
#pragma once

#include <filesystem>
#include <string>

// What the start-up step is told about the user.
struct working_folder_env {
    std::string xdg_data_home;  // "" when unset
    std::string home;           // "" when unset
};

enum class working_folder_action {
    stay,         // the current folder is prepared: change nothing
    user_folder,  // lay out and enter plan.bin
    stay_warn,    // no pictures to work with: say plan.problem, carry on here
};

struct working_folder_plan {
    working_folder_action action = working_folder_action::stay;
    std::filesystem::path bin;       // <data home>/stowline/bin, the working folder
    std::filesystem::path pictures;  // installed pictures to link into bin, or empty
    std::string problem;             // for stay_warn
};

// Whether `folder` holds the pictures the program cannot start without (the
// window icon and the four device pictures).
bool holds_pictures(const std::filesystem::path& folder);

// The installed pictures of the executable at `exe` (<prefix>/bin/stowline
// finds <prefix>/share/stowline), or an empty path when they are not there.
std::filesystem::path installed_pictures(const std::filesystem::path& exe);

// Decides where to run; looks at the file system but changes nothing.
// `pictures` is what installed_pictures found (possibly empty).
working_folder_plan plan_working_folder(const working_folder_env& env, const std::filesystem::path& cwd,
                                        const std::filesystem::path& pictures);

// Creates what the plan's folder lacks: bin/, ../Profiles, ../Device and a
// link (or, where links fail, a copy) for each installed picture. Never
// removes or replaces a file; only a picture link whose target is gone is
// made again. Returns false when a folder cannot be made; `error` says why,
// or (with true) which picture could not be placed.
bool lay_out_working_folder(const working_folder_plan& plan, std::string* error);

// The start-up step: reads the environment, the current folder and
// /proc/self/exe, lays out and enters the per-user folder when needed and
// says once on standard output where it is; problems go to standard error
// and the program carries on in the current folder.
void enter_working_folder();

// One program per working folder: an exclusive lock (flock) on `lock_file`
// in it, held for the whole run. The kernel drops it when the program ends in
// any way, a crash included, so nothing stale blocks the next start.
enum class folder_lock { taken, held_by_another, unavailable };
// `fd` receives the descriptor to keep open while the lock is held (-1 when
// not taken); `error` the errno when the lock file cannot be used.
folder_lock lock_working_folder(const char* lock_file, int* fd, int* error = nullptr);
constexpr const char* kWorkingFolderLock = "stowline.lock";
