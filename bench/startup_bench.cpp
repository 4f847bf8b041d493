// Start-up benchmark: time from starting a program to its window (found by
// title) being mapped on the X display, and the program's peak memory, over
// several runs; prints the medians.
//   bench_startup RUNS TITLE WORKDIR PROGRAM [ARGS...]
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

static bool has_title(Display* dpy, Window w, const char* title)
{
    char* name = nullptr;
    bool match = XFetchName(dpy, w, &name) && name && std::strcmp(name, title) == 0;
    if (name) XFree(name);
    return match;
}

static double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s RUNS TITLE WORKDIR PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    int runs = std::atoi(argv[1]);
    const char* title = argv[2];
    const char* workdir = argv[3];
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "no display\n");
        return 2;
    }
    Window root = DefaultRootWindow(dpy);
    XSelectInput(dpy, root, SubstructureNotifyMask);
    XSync(dpy, False);

    std::vector<double> times_ms, rss_kb;
    for (int r = 0; r < runs; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        pid_t pid = fork();
        if (pid == 0) {
            if (chdir(workdir) != 0) _exit(127);
            int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, 1);
            dup2(devnull, 2);
            execv(argv[4], argv + 4);
            _exit(127);
        }
        double elapsed = -1;
        while (elapsed < 0) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            if (ev.type == MapNotify && has_title(dpy, ev.xmap.window, title))
                elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        }
        // Let the program settle so its peak includes the first drawing.
        usleep(300 * 1000);
        kill(pid, SIGTERM);
        int status = 0;
        struct rusage ru {};
        wait4(pid, &status, 0, &ru);
        times_ms.push_back(elapsed);
        rss_kb.push_back(static_cast<double>(ru.ru_maxrss));
        std::printf("run %d: %.1f ms to map, peak %ld KiB\n", r + 1, elapsed, ru.ru_maxrss);
    }
    std::printf("median: %.1f ms to map, peak %.0f KiB\n", median(times_ms), median(rss_kb));
    XCloseDisplay(dpy);
    return 0;
}
