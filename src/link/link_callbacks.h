// The one table of calls a caller hands to the link (link_use, link_state.h).
#pragma once

// Everything the link asks of whatever runs it (the window, the command-line
// tool, a test), handed over once with link_use. The driver's part: a timer's
// `fire` runs after `ms` and again every `ms` for as long as it returns true
// (the id is 0 when no timer could be started); `sleep_ms` pauses while
// timers keep running; `pump` runs what is due now (the window also redraws
// and re-reads lists). Without a driver a transfer or connection refuses to
// start. The reports do nothing until filled in.
struct link_callbacks {
    unsigned (*start_timer)(unsigned ms, bool (*fire)());
    void (*stop_timer)(unsigned id);
    void (*sleep_ms)(unsigned ms);
    void (*pump)();
    void (*status)(const char* text);  // one status-bar message
    void (*progress_show)(const char* text);
    void (*progress_fraction)(double fraction);
    void (*progress_hide)();
    void (*line_handler)(const char* line);  // every received line, while no upload runs (the download's)
    // A download emptied the device folder it fills.
    void (*device_folder_changed)();
    // A carrier failed under the link and was closed: lamp, button, poll.
    // `port` is the lost COM port's list entry, "" for the bridge.
    void (*lost)(const char* port);
};
