// Sending the device folder's profiles to the device: every ".pro" file in
// the order the device list shows them, each as its slot, name and data
// lines, every command followed by a pause, a pump of events and a drain.
#pragma once

// At most this many files are sent; the rest are named in the status bar.
constexpr int kUploadFileLimit = 50;
// The pause after every command.
constexpr unsigned kSettleMs = 250;

// Runs the whole sequence; 1 when it ran to its end, 0 when a command was not
// sent (the device keeps what it had received). upload_active is set while it
// runs and cleared on every way out.
int upload_profiles();
