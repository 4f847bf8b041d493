// Start-up benchmark: time from starting a program to its window (found by
// title) being mapped on the X display, and the program's peak memory. The
// programs take turns, one run each per round, so that a busy moment of the
// machine falls on all of them alike; prints each run and then the medians,
// with each median's ratio to the first program's (the floor).
//   bench_startup RUNS WORKDIR LABEL TITLE PROGRAM [ARGS...] [-- LABEL TITLE PROGRAM [ARGS...]]...
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct subject {
    const char* label;
    const char* title;
    std::vector<char*> argv;  // program and arguments, null-terminated
    std::vector<double> times_ms, rss_kb;
};

bool has_title(Display* dpy, Window w, const char* title)
{
    char* name = nullptr;
    bool match = XFetchName(dpy, w, &name) && name && std::strcmp(name, title) == 0;
    if (name) XFree(name);
    return match;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

// One start of `s`: the time to its window's MapNotify, then its peak memory
// once it has had time to draw and settle.
void run_once(Display* dpy, const char* workdir, subject& s)
{
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(workdir) != 0) _exit(127);
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execv(s.argv[0], s.argv.data());
        _exit(127);
    }
    double elapsed = -1;
    while (elapsed < 0) {
        if (!XPending(dpy)) {
            // A program that ends (or never starts) before its window maps
            // would leave us waiting for ever.
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                std::fprintf(stderr, "%s ended before its window \"%s\" mapped\n", s.argv[0], s.title);
                std::exit(1);
            }
            pollfd display{ConnectionNumber(dpy), POLLIN, 0};
            poll(&display, 1, 10);
            continue;
        }
        XEvent ev;
        XNextEvent(dpy, &ev);
        if (ev.type == MapNotify && has_title(dpy, ev.xmap.window, s.title))
            elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    }
    usleep(300 * 1000);
    kill(pid, SIGTERM);
    int status = 0;
    struct rusage ru {};
    wait4(pid, &status, 0, &ru);
    s.times_ms.push_back(elapsed);
    s.rss_kb.push_back(static_cast<double>(ru.ru_maxrss));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s RUNS WORKDIR LABEL TITLE PROGRAM [ARGS...] [-- LABEL TITLE PROGRAM...]...\n",
                     argv[0]);
        return 2;
    }
    int runs = std::atoi(argv[1]);
    const char* workdir = argv[2];
    std::vector<subject> subjects;
    for (int i = 3; i < argc;) {
        if (argc - i < 3) {
            std::fprintf(stderr, "each program needs LABEL TITLE PROGRAM\n");
            return 2;
        }
        subject s{argv[i], argv[i + 1], {}, {}, {}};
        for (i += 2; i < argc && std::strcmp(argv[i], "--") != 0; ++i) s.argv.push_back(argv[i]);
        s.argv.push_back(nullptr);
        subjects.push_back(s);
        if (i < argc) ++i;  // past "--"
    }

    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "no display\n");
        return 2;
    }
    XSelectInput(dpy, DefaultRootWindow(dpy), SubstructureNotifyMask);
    XSync(dpy, False);

    for (int r = 0; r < runs; ++r) {
        std::printf("run %2d:", r + 1);
        for (subject& s : subjects) {
            run_once(dpy, workdir, s);
            std::printf("  %s %.1f ms", s.label, s.times_ms.back());
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    double floor_ms = median(subjects[0].times_ms);
    std::printf("medians of %d interleaved runs (time to map, peak memory, ratio to %s):\n", runs, subjects[0].label);
    for (const subject& s : subjects) {
        double ms = median(s.times_ms);
        std::printf("  %-18s %7.1f ms  %7.0f KiB  %5.2fx\n", s.label, ms, median(s.rss_kb), ms / floor_ms);
    }
    XCloseDisplay(dpy);
    return 0;
}
