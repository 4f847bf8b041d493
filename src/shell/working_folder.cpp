#include "shell/working_folder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

// Where the pictures lie relative to the executable's folder; the build sets
// it from the install directories.
#ifndef STOWLINE_DATA_FROM_BIN
#define STOWLINE_DATA_FROM_BIN "../share/stowline"
#endif

namespace {

bool is_file(const fs::path& p)
{
    std::error_code ec;
    return fs::is_regular_file(p, ec);  // follows links: a dangling one is no picture
}

// <data home> after the XDG rules: $XDG_DATA_HOME when absolute, else
// $HOME/.local/share; empty when neither is usable.
fs::path data_home(const working_folder_env& env)
{
    if (!env.xdg_data_home.empty() && fs::path(env.xdg_data_home).is_absolute()) return env.xdg_data_home;
    if (!env.home.empty() && fs::path(env.home).is_absolute()) return fs::path(env.home) / ".local" / "share";
    return {};
}

bool make_folder(const fs::path& p, std::string* error)
{
    std::error_code ec;
    fs::create_directories(p, ec);
    if (fs::is_directory(p)) return true;
    if (error) *error = "cannot make the folder " + p.string() + (ec ? ": " + ec.message() : "");
    return false;
}

// A new link at `to`, or one in place of a link whose target is gone: made
// beside it and renamed over, so `to` is never missing for a moment.
bool link_picture(const fs::path& from, const fs::path& to, bool replace)
{
    std::error_code ec;
    if (!replace) {
        fs::create_symlink(from, to, ec);
        if (!ec) return true;
        return fs::copy_file(from, to, fs::copy_options::none, ec);
    }
    const fs::path temp = to.parent_path() / ("." + to.filename().string() + ".new");
    fs::remove(temp, ec);
    fs::create_symlink(from, temp, ec);
    if (ec) fs::copy_file(from, temp, fs::copy_options::none, ec);
    if (!ec) fs::rename(temp, to, ec);
    if (ec) fs::remove(temp, ec);
    return !ec;
}

}  // namespace

bool holds_pictures(const fs::path& folder)
{
    for (const char* name : {"cvm_icon_16x16.png", "d_velmora.png", "d_m900.png", "d_m600.png", "d_cv_relay.png"})
        if (!is_file(folder / name)) return false;
    return true;
}

fs::path installed_pictures(const fs::path& exe)
{
    if (exe.empty()) return {};
    const fs::path data = (exe.parent_path() / STOWLINE_DATA_FROM_BIN).lexically_normal();
    return holds_pictures(data) ? data : fs::path();
}

working_folder_plan plan_working_folder(const working_folder_env& env, const fs::path& cwd,
                                        const fs::path& pictures)
{
    working_folder_plan plan;
    if (!cwd.empty() && holds_pictures(cwd)) return plan;

    const fs::path home = data_home(env);
    if (home.empty()) {
        plan.action = working_folder_action::stay_warn;
        plan.problem = "no home folder (neither XDG_DATA_HOME nor HOME is an absolute path) for the working folder";
        return plan;
    }
    plan.bin = home / "stowline" / "bin";
    // Copies left in the per-user folder still serve when the installed
    // pictures are gone.
    if (pictures.empty() && !holds_pictures(plan.bin)) {
        plan.action = working_folder_action::stay_warn;
        plan.problem = "the pictures were found neither in the current folder, nor in the installed data "
                       "folder, nor in " + plan.bin.string();
        return plan;
    }
    plan.action = working_folder_action::user_folder;
    plan.pictures = pictures;
    return plan;
}

bool lay_out_working_folder(const working_folder_plan& plan, std::string* error)
{
    const fs::path root = plan.bin.parent_path();
    for (const fs::path& folder : {plan.bin, root / "Profiles", root / "Device"})
        if (!make_folder(folder, error)) return false;
    if (plan.pictures.empty()) return true;

    std::error_code ec;
    for (fs::directory_iterator it(plan.pictures, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path from = it->path();
        if (from.extension() != ".png" || !is_file(from)) continue;
        const fs::path to = plan.bin / from.filename();
        std::error_code st;
        const fs::file_status link = fs::symlink_status(to, st);
        bool placed = true;
        if (!fs::exists(link)) placed = link_picture(from, to, false);
        else if (fs::is_symlink(link) && !is_file(to)) placed = link_picture(from, to, true);
        if (!placed && error && error->empty()) *error = "cannot place the picture " + to.string();
    }
    if (ec && error) *error = "cannot read " + plan.pictures.string() + ": " + ec.message();
    return true;
}

void enter_working_folder()
{
    working_folder_env env;
    if (const char* v = std::getenv("XDG_DATA_HOME")) env.xdg_data_home = v;
    if (const char* v = std::getenv("HOME")) env.home = v;
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);

    const working_folder_plan plan = plan_working_folder(env, cwd, installed_pictures(exe));
    std::string problem = plan.problem;
    if (plan.action == working_folder_action::user_folder) {
        const bool laid_out = lay_out_working_folder(plan, &problem);
        if (laid_out && ::chdir(plan.bin.c_str()) == 0) {
            // A picture that could not be placed shows as a broken image, no more.
            if (!problem.empty()) std::fprintf(stderr, "stowline: %s\n", problem.c_str());
            std::printf("Working folder: %s\n", plan.bin.c_str());
            std::fflush(stdout);
            return;
        }
        if (laid_out) problem = "cannot enter " + plan.bin.string();
    }
    if (!problem.empty())
        std::fprintf(stderr, "stowline: %s; carrying on in the current folder\n", problem.c_str());
}

folder_lock lock_working_folder(const char* lock_file, int* fd, int* error)
{
    *fd = -1;
    int lock = ::open(lock_file, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (lock < 0) {
        if (error) *error = errno;
        return folder_lock::unavailable;
    }
    int result;
    while ((result = ::flock(lock, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (result != 0) {
        int e = errno;
        ::close(lock);
        if (error) *error = e;
        return e == EWOULDBLOCK ? folder_lock::held_by_another : folder_lock::unavailable;
    }
    // Who holds it, for a person who looks.
    char pid[32];
    int n = std::snprintf(pid, sizeof pid, "%ld\n", static_cast<long>(::getpid()));
    if (::ftruncate(lock, 0) == 0 && ::write(lock, pid, static_cast<size_t>(n)) < 0) {
        // The lock holds without the number.
    }
    *fd = lock;
    return folder_lock::taken;
}
