#include "link/plain_driver.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

struct plain_timer {
    unsigned id;
    unsigned interval_ms;
    clock_type::time_point due;
    bool (*fire)();
    bool running;  // inside its own fire()
    bool live;
};

std::vector<plain_timer> timers;
unsigned next_id = 1;

plain_timer* find(unsigned id)
{
    for (plain_timer& t : timers)
        if (t.id == id) return &t;
    return nullptr;
}

unsigned start(unsigned ms, bool (*fire)())
{
    if (fire == nullptr) return 0;
    const unsigned id = next_id++;
    if (next_id == 0) next_id = 1;
    timers.push_back({id, ms, clock_type::now() + std::chrono::milliseconds(ms), fire, false, true});
    return id;
}

void stop(unsigned id)
{
    if (plain_timer* t = find(id)) t->live = false;
}

void forget_dead()
{
    timers.erase(
        std::remove_if(timers.begin(), timers.end(), [](const plain_timer& t) { return !t.live && !t.running; }),
        timers.end());
}

// The time until the next live timer is due, at most `limit`.
clock_type::duration until_next(clock_type::duration limit)
{
    const auto now = clock_type::now();
    auto wait = limit;
    for (const plain_timer& t : timers)
        if (t.live && !t.running) wait = std::min(wait, std::max(clock_type::duration::zero(), t.due - now));
    return wait;
}

void pause_for(clock_type::duration d)
{
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(d).count();
    if (us > 0) usleep(static_cast<useconds_t>(us));
}

void sleep_running_timers(unsigned ms)
{
    const auto end = clock_type::now() + std::chrono::milliseconds(ms);
    for (auto now = clock_type::now(); now < end; now = clock_type::now()) {
        plain_driver_run_due();
        pause_for(until_next(end - clock_type::now()));
    }
}

}  // namespace

void plain_driver_run_due()
{
    const auto now = clock_type::now();
    // Timers started by a fire() wait for the next run; ids, not references,
    // since a fire() may add timers and move the list.
    std::vector<unsigned> due;
    for (const plain_timer& t : timers)
        if (t.live && !t.running && t.due <= now) due.push_back(t.id);
    for (unsigned id : due) {
        plain_timer* t = find(id);
        if (t == nullptr || !t->live || t->running) continue;
        bool (*fire)() = t->fire;
        t->running = true;
        const bool again = fire();
        t = find(id);
        if (t == nullptr) continue;
        t->running = false;
        if (again && t->live) t->due = clock_type::now() + std::chrono::milliseconds(t->interval_ms);
        else t->live = false;
    }
    forget_dead();
}

bool plain_driver_run_until(const std::function<bool()>& done, unsigned timeout_ms)
{
    const auto end = clock_type::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        plain_driver_run_due();
        if (done()) return true;
        const auto now = clock_type::now();
        if (now >= end) return false;
        // Short naps: `done` may turn true without a timer (a signal handler).
        pause_for(until_next(std::min<clock_type::duration>(end - now, std::chrono::milliseconds(20))));
    }
}

int plain_driver_timer_count()
{
    return static_cast<int>(std::count_if(timers.begin(), timers.end(), [](const plain_timer& t) { return t.live; }));
}

void plain_driver_fill(link_callbacks& callbacks)
{
    callbacks.start_timer = start;
    callbacks.stop_timer = stop;
    callbacks.sleep_ms = sleep_running_timers;
    callbacks.pump = plain_driver_run_due;
}

void use_plain_driver()
{
    timers.clear();
    link_callbacks c = link_callbacks_in_use();
    plain_driver_fill(c);
    link_use(c);
}
