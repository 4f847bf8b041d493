// Sending a device folder's profiles to the device: every ".pro" file in
// the order the device list shows them, each as its slot, name and data
// lines, every command followed by a pause, a pump of events and a drain.
#pragma once

#include <string>

#include "link/link_result.h"
#include "link/transfer_outcome.h"

// At most this many files are sent; the rest are named in the status bar.
constexpr int kUploadFileLimit = 50;
// The pause after every command.
constexpr unsigned kSettleMs = 250;

// Runs the whole sequence with the profiles of `folder`; ok when it ran to
// its end; refused when a command was not sent (the device keeps what it had
// received), lost when the carrier failed, stopped on request, no_driver
// when nothing runs the link. upload_active is set while it runs and cleared
// on every way out. `outcome` (may be null) gets what happened.
link_result upload_profiles(const std::string& folder, transfer_outcome* outcome);
// The same with the program's device folder, kDeviceMirrorFolder.
link_result upload_profiles();

// An upload replaces every profile on the device. Before one, the caller
// asks the user when the folder was not filled by a download from the
// device connected now, or holds no profile.
struct upload_question {
    bool needed = false;
    int count = 0;       // profiles that would be sent
    std::string text;    // "Send 3 profiles to the device?"
    std::string detail;  // that the device's other profiles will be erased
};
upload_question upload_question_for(const std::string& folder);
