// What a transfer did, for a caller that reports it itself: each profile
// with its slot or position and whether it was sent, saved or skipped (and
// why), and the status text the window shows at its end.
#pragma once

#include <string>
#include <vector>

enum class profile_result { sent, saved, skipped };

struct profile_outcome {
    std::string name;  // the profile's name; a file's name when it was not read
    int number = 0;    // upload: its slot; download: its number or place; 0 when it has none
    profile_result result = profile_result::skipped;
    std::string reason;  // why it was skipped
};

struct transfer_outcome {
    bool started = false;   // the transfer ran (a driver, a link)
    bool finished = false;  // it ran to its end (it may still have skipped some)
    std::vector<profile_outcome> profiles;
    std::string status;  // the last status text it gave
    int removed = -1;    // a download that empties its folder first: the files it deleted; -1 until it has
    int count(profile_result r) const
    {
        int n = 0;
        for (const profile_outcome& p : profiles) n += p.result == r;
        return n;
    }
};

// "sent", "saved", "skipped".
const char* profile_result_text(profile_result r);
