// Reading the device's profiles into the device folder: the opening commands
// of both styles (all profiles after one request, or one number at a time
// for the relay device), the line-driven state machine the receive poll
// feeds, the watchdogs, and telling the user how the download ended.
#pragma once

#include <string>

#include "link/link_result.h"
#include "link/transfer_outcome.h"

// The device's profile numbers the indexed style asks for.
constexpr int kIndexedProfileCount = 34;
// How long a request (indexed) or the device's stream (bulk) may stay silent.
constexpr unsigned kDownloadWatchdogMs = 6000;
// New requests of one profile (bad lines, no answer) before it is skipped.
constexpr int kProfileRetries = 3;

// Where a download stands.
struct download_place {
    int expected = 0;  // profiles announced by the last ":AG" (bulk style)
    int received = 0;  // finished (saved or skipped) since then
    int counter = 0;   // the number asked for last (indexed style)
};
download_place download_progress();

// Sends the opening commands and starts a download into `folder`; the lines
// that follow arrive through handle_download_line. With `empty_first` the
// folder's profiles are deleted when the device's first answer arrives, not
// before: a device that does not answer leaves them as they were. Refuses
// (no_driver; the status callback says so) when no driver runs the link's
// timers; not_connected when the bulk style has no carrier. ok: it started.
link_result start_download(const std::string& folder, bool empty_first);
// Into the program's device folder, kDeviceMirrorFolder, emptying nothing.
link_result start_download();
// Every received line while no upload runs.
void handle_download_line(const char* line);
// The one-shot watchdog of a request: asks for the number asked last again when it
// has not been stored (at most kProfileRetries times, then that number is
// skipped). Returns false: it does not repeat.
bool download_watchdog();

// True from start_download until the download has ended.
bool download_running();
// The link was lost: the download ends now, saying how many profiles it saved.
void download_lost();
// Ends a running download now, with `why` as its status text (a terminal
// program's Ctrl-C); what was saved stays, nothing more is asked for.
void download_stop(const char* why);
// What the last download did; whole once download_running() is false.
const transfer_outcome& download_outcome();
// How the last download ended, the same shape as an upload's result: ok
// (it may still have skipped some; the outcome says), or no_driver,
// not_connected, refused, no_answer, lost, stopped.
const link_result& download_result();

// True when `folder` holds what a whole download brought from the device
// connected now (and may have been edited since). Connecting, disconnecting
// and link_reset forget it; emptying the folder for a new download too.
bool device_side_filled_by_download(const std::string& folder);
void forget_device_side_download();
// Back to no download, every counter at its start.
void download_reset();
