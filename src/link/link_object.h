// The link's one state object. Private to the link: only the sources of
// src/link/ and link_test_access.h include this header; everyone else uses
// the queries and commands of link_state.h, carriers.h and download.h.
#pragma once

#include <csignal>

#include "link/link_callbacks.h"

struct link_object {
    // COM carrier: the open port's descriptor, -1 when none.
    int com_handle = -1;
    // The Connect button's state.
    int com_connected = 0;
    // HID carrier: the HidUart device handle, null when none.
    void* hid_device = nullptr;
    int hid_connected = 0;
    unsigned poll_timer_id = 0;
    int clear_to_send = 1;
    float device_version = 1.11f;
    int upload_active = 0;
    // Set from a signal handler: an upload stops before its next command.
    volatile std::sig_atomic_t link_stop_requested = 0;

    // The download's counters.
    int profiles_expected = 0;  // announced by the last ":AG"
    int profiles_received = 0;  // finished (saved or skipped) since then
    int checksum_errors = 0;    // failed line checksums of the profile being received
    int gun_counter = 0;        // the number asked for last (indexed style)
    int gun_is_saved = 0;       // that number's profile has been written
    unsigned watchdog_timer_id = 0;

    // The M900's cable. bridge_chosen: that device kind was chosen. While
    // bridge_auto is set (by the choice and by Connect, cleared by
    // Disconnect) the bridge is opened whenever its cable appears.
    int bridge_chosen = 0;
    int bridge_auto = 0;

    // What the link calls (link_use).
    link_callbacks calls{};
    // The carriers' handler of a failed carrier (link_lost).
    void (*carrier_failed_handler)() = nullptr;
};

// The one object, built on first use (reporting nothing, without a driver).
link_object& the_link();
