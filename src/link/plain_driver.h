// The link's driver for programs without a window: its timers kept in a
// list and run from a plain loop that sleeps until the next one is due.
// use_plain_driver() gives it to the link; run_until drives a transfer.
#pragma once

#include <functional>

#include "link/link_state.h"

// Puts the plain driver's four calls (timers, sleep, pump) into `callbacks`.
void plain_driver_fill(link_callbacks& callbacks);
// Gives the plain driver to the link, in the table in use, and drops its
// timers.
void use_plain_driver();

// Runs every timer that is due now (the driver's pump). A timer that is
// running already is not run again inside itself.
void plain_driver_run_due();
// Runs the timers, sleeping between them, until `done` is true (true) or
// `timeout_ms` have passed (false). `done` is asked after every run.
bool plain_driver_run_until(const std::function<bool()>& done, unsigned timeout_ms);
// How many timers are live.
int plain_driver_timer_count();
