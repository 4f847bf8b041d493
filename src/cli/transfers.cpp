// send and get: the window's Send Profiles and Get Profiles through the same
// transfer core, run by the plain driver, with a terminal's question,
// progress and exit statuses around them.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "base/console.h"
#include "cli/commands.h"
#include "collections/profile_folders.h"
#include "link/carriers.h"
#include "link/command_channel.h"
#include "link/download.h"
#include "link/link_state.h"
#include "link/plain_driver.h"
#include "link/platform/serial_port.h"
#include "link/upload.h"
#include "profile/gun_profile.h"
#include "settings/device_modes.h"

namespace fs = std::filesystem;

#define UDEV_HINT                                                                                                      \
    "install the udev rule (sudo cp udev/70-stowline.rules /etc/udev/rules.d/ && "                                     \
    "sudo udevadm control --reload, then replug the cable; the Debian package installs it)"
const char* const kPermissionHint = UDEV_HINT ", or for a serial adapter join the dialout group (sudo adduser "
                                              "$USER dialout, then log in again)";

namespace {

// How long the M900 may take to report its firmware version after the
// connect message; the version decides how the profile lines are built.
constexpr unsigned kVersionWaitMs = 1000;
// The indexed style asks again for a number the device left unanswered;
// once two requests in a row got nothing at all, the device is not there.
constexpr unsigned kIndexedSilenceMs = 2 * kDownloadWatchdogMs;
// No transfer of the device's 34 profiles takes this long.
constexpr unsigned kDownloadLimitMs = 30 * 60 * 1000;

// A profile's name as a terminal may show it: no control characters.
std::string printable(std::string name)
{
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return name;
}

void say(const CliStreams& io, const std::string& text) { std::fprintf(io.err, "stowline-cli: %s\n", text.c_str()); }

// What the link's hooks report, gathered for the terminal. The hooks are
// plain function pointers: one transfer runs at a time.
struct Run {
    const CliStreams* io = nullptr;
    bool bar = false;  // a progress bar on a terminal; plain lines otherwise
    bool upload = false;
    int total = 0;     // upload: profiles being sent
    int index = 0;     // upload: the profile being sent
    std::string name;  // the profile being moved
    int shown_percent = -1;
    double fraction = 0;  // of the profile being moved; the bar never goes back
    bool bar_drawn = false;
    std::string status;  // the last status text
    int lines = 0;       // lines received from the device
    std::chrono::steady_clock::time_point last_line;
} run;

volatile std::sig_atomic_t interrupted;

void on_interrupt(int)
{
    interrupted = 1;
    link_request_stop();
}

void clear_bar()
{
    if (run.bar_drawn) std::fputs("\r\033[K", run.io->err);
    run.bar_drawn = false;
}

void place(int* i, int* n)
{
    if (run.upload) {
        *i = run.index, *n = run.total;
    } else if (relay_mode) {
        *i = download_progress().counter, *n = kIndexedProfileCount;
    } else {
        const download_place at = download_progress();
        *n = at.expected;
        *i = std::min(at.received + 1, *n);
    }
}

void draw(double fraction)
{
    if (run.io->quiet || !run.bar || run.name.empty()) return;
    int i = 0, n = 0;
    place(&i, &n);
    if (n <= 0 || i <= 0) return;
    run.fraction = std::max(run.fraction, std::min(fraction, 1.0));
    const int percent = static_cast<int>(100.0 * (i - 1 + run.fraction) / n);
    if (percent == run.shown_percent) return;
    run.shown_percent = percent;
    const int filled = percent / 5;
    std::fprintf(run.io->err, "\r\033[K[%.*s%.*s] %3d%%  %s %d of %d: %s", filled, "####################", 20 - filled,
                 "....................", percent, relay_mode && !run.upload ? "number" : "profile", i, n,
                 run.name.c_str());
    std::fflush(run.io->err);
    run.bar_drawn = true;
}

void on_show(const char* text)
{
    int n = 0;
    if (std::sscanf(text, "Sending %d profiles", &n) == 1) run.total = n;
    const char* name = nullptr;
    if (std::strncmp(text, "Sending profile: ", 17) == 0) {
        ++run.index;
        name = text + 17;
    } else if (std::strncmp(text, "Receiving profile: ", 19) == 0) {
        name = text + 19;
    }
    if (!name) return;
    run.name = printable(name);
    if (run.upload && run.name.size() >= 3) run.name.resize(run.name.size() - 3);  // its "..."
    run.shown_percent = -1;
    run.fraction = 0;
    if (run.io->quiet) return;
    if (run.bar) {
        draw(0.0);
        return;
    }
    int i = 0, total = 0;
    place(&i, &total);
    std::fprintf(run.io->err, "%s %d of %d: %s\n", relay_mode && !run.upload ? "number" : "profile", i, total,
                 run.name.c_str());
}

void on_line(const char* line)
{
    ++run.lines;
    run.last_line = std::chrono::steady_clock::now();
    handle_download_line(line);
}

void trace_to_stderr(const char* text, bool flush)
{
    std::fputs(text, stderr);
    if (flush) std::fflush(stderr);
}

// The link for one command: the plain driver, these hooks, the device kind;
// on the way out the link is closed and the hooks and Ctrl-C put back.
struct Session {
    struct sigaction old_int {};
    explicit Session(const CliStreams& io, bool trace, bool upload)
    {
        link_reset();
        run = Run{};
        run.io = &io;
        run.upload = upload;
        run.bar = !trace && isatty(fileno(io.err)) != 0;  // trace lines would break into the bar
        run.last_line = std::chrono::steady_clock::now();
        interrupted = 0;
        link_callbacks link = link_callbacks_default();
        plain_driver_fill(link);
        link.status = [](const char* text) { run.status = text; };
        link.progress_show = on_show;
        link.progress_fraction = draw;
        link.progress_hide = clear_bar;
        link.line_handler = on_line;
        link_use(link);
        use_plain_driver();
        set_console_sink(trace ? trace_to_stderr : +[](const char*, bool) {});
        struct sigaction sa {};
        sa.sa_handler = on_interrupt;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, &old_int);
    }
    ~Session()
    {
        clear_bar();
        link_reset();
        link_use(link_callbacks_default());
        set_console_sink(nullptr);
        sigaction(SIGINT, &old_int, nullptr);
    }
};

bool connect(const TransferRequest& r, const CliStreams& io)
{
    set_device_kind(r.device == TransferRequest::Device::cv_relay, false);
    if (r.device == TransferRequest::Device::m900) {
        const link_result opened = link_connect_bridge();
        if (!opened) {
            say(io, opened.status == link_status::cable_failed
                        ? "the M900 cable is plugged in but cannot be opened: " UDEV_HINT
                    : opened.status == link_status::no_cable
                        ? "no M900 cable found: plug in its USB cable; if it is plugged in, " UDEV_HINT
                        : opened.why);
            return false;
        }
        // The version comes at once; the 200 ms poll would take it late.
        const unsigned quick = link_callbacks_in_use().start_timer(10, receive_poll);
        plain_driver_run_until([] { return link_device_version() != 1.11f; }, kVersionWaitMs);
        link_callbacks_in_use().stop_timer(quick);
        return true;
    }
    const link_result opened = link_connect_port(r.port.c_str());
    if (opened) return true;
    say(io, opened.status == link_status::permission ? opened.why + "; " + kPermissionHint : opened.why);
    return false;
}

bool check_request(const TransferRequest& r, const CliStreams& io)
{
    const bool m900 = r.device == TransferRequest::Device::m900;
    if (m900 && !r.port.empty()) {
        say(io, "--port is for m600 and cv-relay; the M900 is found by its USB identity");
        return false;
    }
    if (!m900 && r.port.empty()) {
        say(io, "--port PATH is needed for m600 and cv-relay (stowline-cli ports lists them)");
        return false;
    }
    return true;
}

// "sent 3, skipped 1: GUN4 (why)"; a get --clean that emptied its folder
// begins with "removed 2, ".
std::string summary(const transfer_outcome& out, profile_result done)
{
    std::string text = out.removed >= 0 ? "removed " + std::to_string(out.removed) + ", " : std::string();
    text += std::string(profile_result_text(done)) + " " + std::to_string(out.count(done)) + ", skipped " +
            std::to_string(out.count(profile_result::skipped));
    const char* sep = ": ";
    for (const profile_outcome& p : out.profiles) {
        if (p.result != profile_result::skipped) continue;
        text +=
            sep + (p.name.empty() ? "number " + std::to_string(p.number) : printable(p.name)) + " (" + p.reason + ")";
        sep = "; ";
    }
    return text;
}

int report(const transfer_outcome& out, profile_result done, int status, const CliStreams& io)
{
    clear_bar();
    std::string text = out.status.empty() ? run.status : out.status;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    if (interrupted) status = kExitInterrupted;
    std::FILE* f = io.quiet ? (status == kExitOk ? nullptr : io.err) : io.out;
    if (f) std::fprintf(f, "%s\n%s\n", printable(text).c_str(), summary(out, done).c_str());
    return status;
}

// A private folder holding copies of the files to send; removed with it.
struct Staging {
    fs::path dir;
    ~Staging()
    {
        std::error_code ec;
        if (!dir.empty()) fs::remove_all(dir, ec);
    }
};

// False, with the file and its size said, when `path` is no profile: the
// port is not opened for it.
bool is_profile(const std::string& path, const CliStreams& io)
{
    GunProfile p{};
    const ProfileFileRead r = read_profile_file(path, p);
    if (r.not_a_profile) say(io, "cannot send " + path + ": " + r.reason);
    return !r.not_a_profile;
}

// The folder to send: DIR as it is, or the FILEs copied into `stage`.
bool folder_to_send(const std::vector<std::string>& paths, Staging& stage, std::string& folder, const CliStreams& io)
{
    std::error_code ec;
    if (paths.size() == 1 && fs::is_directory(paths[0], ec)) {
        folder = paths[0];
        bool all = true;
        for (const std::string& name : scan_profile_folder(folder, true, 1 << 16).names)
            all = is_profile(folder + "/" + name, io) && all;
        return all;
    }
    std::set<std::string> names;
    for (const std::string& p : paths) {
        const std::string name = fs::path(p).filename().string();
        const std::string ext = fs::path(p).extension().string();
        if (fs::is_directory(p, ec)) {
            say(io, p + ": a folder is sent alone (one DIR, or profile files)");
            return false;
        }
        if (!fs::is_regular_file(p, ec)) {
            say(io, "cannot read " + p + ": " + (ec ? ec.message() : "no such file"));
            return false;
        }
        if (ext != ".pro" && ext != ".PRO") {
            say(io, p + ": not a profile file (.pro)");
            return false;
        }
        if (!names.insert(name).second) {
            say(io, p + ": two files named " + name + " would be sent to one slot name");
            return false;
        }
        if (!is_profile(p, io)) return false;
    }
    const std::string tmpl = (fs::temp_directory_path(ec) / "stowline-send-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) {
        say(io, "cannot make a folder to send from: " + std::string(std::strerror(errno)));
        return false;
    }
    stage.dir = buf.data();
    for (const std::string& p : paths) {
        if (!fs::copy_file(p, stage.dir / fs::path(p).filename(), ec)) {
            say(io, "cannot read " + p + ": " + ec.message());
            return false;
        }
    }
    folder = stage.dir.string();
    return true;
}

// The folders a get makes for --to; they go again (when still empty) unless
// the device answered.
struct FoldersMade {
    std::vector<fs::path> made;  // the deepest first
    bool keep = false;
    explicit FoldersMade(const fs::path& to)
    {
        std::error_code ec;
        for (fs::path p = to; !p.empty() && !fs::exists(fs::symlink_status(p, ec)); p = p.parent_path()) {
            made.push_back(p);
            if (p == p.parent_path()) break;
        }
    }
    ~FoldersMade()
    {
        std::error_code ec;
        if (!keep)
            for (const fs::path& p : made) fs::remove(p, ec);  // an empty folder only
    }
};

bool ask(const upload_question& q, const CliStreams& io)
{
    std::fprintf(io.err, "%s %s [y/N] ", q.text.c_str(), q.detail.c_str());
    std::fflush(io.err);
    char answer[64] = {};
    if (!std::fgets(answer, sizeof answer, stdin)) return false;
    return answer[0] == 'y' || answer[0] == 'Y';
}

}  // namespace

int run_send(const TransferRequest& r, const CliStreams& io)
{
    if (!check_request(r, io)) return kExitFailure;
    Staging stage;
    std::string folder;
    if (!folder_to_send(r.paths, stage, folder, io)) return kExitFailure;
    Session session(io, r.trace, true);
    const upload_question q = upload_question_for(folder);
    if (!r.yes) {
        const bool terminal = r.terminal >= 0 ? r.terminal != 0 : isatty(STDIN_FILENO) != 0;
        if (!terminal) {
            say(io, "not sending without --yes: sending replaces every profile on the device (" + q.text + ")");
            return kExitFailure;
        }
        if (!ask(q, io)) {
            say(io, "nothing sent");
            return interrupted ? kExitInterrupted : kExitDeclined;
        }
    }
    if (!connect(r, io)) return kExitFailure;
    transfer_outcome out;
    const link_result sent = interrupted
                                 ? link_failure(link_status::stopped, 0, "The upload was stopped before it began...")
                                 : upload_profiles(folder, &out);
    if (interrupted && out.status.empty()) out.status = sent.why;
    return report(out, profile_result::sent,
                  !sent                                ? kExitFailure
                  : out.count(profile_result::skipped) ? kExitDifferent
                                                       : kExitOk,
                  io);
}

int run_get(const TransferRequest& r, const CliStreams& io)
{
    if (!check_request(r, io)) return kExitFailure;
    std::error_code ec;
    FoldersMade made(r.to);
    fs::create_directories(r.to, ec);
    if (!fs::is_directory(r.to, ec)) {
        say(io, "cannot make the folder " + r.to + (ec ? ": " + ec.message() : ": something else has its name"));
        return kExitFailure;
    }
    if (access(r.to.c_str(), W_OK | X_OK) != 0) {
        say(io, "cannot write into " + r.to + ": " + std::strerror(errno));
        return kExitFailure;
    }
    Session session(io, r.trace, false);
    if (!connect(r, io)) return kExitFailure;
    if (!interrupted) start_download(r.to, r.clean);
    plain_driver_run_until(
        [] {
            if (!download_running()) return true;
            if (interrupted) download_stop("The download was stopped.");
            else if (relay_mode &&
                     std::chrono::steady_clock::now() - run.last_line > std::chrono::milliseconds(kIndexedSilenceMs))
                download_stop(run.lines ? "The device stopped answering..."
                                        : "The device did not answer the download request...");
            return !download_running();
        },
        kDownloadLimitMs);
    if (download_running()) download_stop("The download took too long and was stopped.");
    const transfer_outcome& out = download_outcome();
    const bool answered = run.lines > 0 && out.started;
    made.keep = answered;
    return report(out, profile_result::saved,
                  !answered || !download_result() || !out.finished ? kExitFailure
                  : out.count(profile_result::skipped)             ? kExitDifferent
                                                                   : kExitOk,
                  io);
}
