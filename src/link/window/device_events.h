// The system's device events in the main loop: serial ports (the tty
// subsystem) and the M900's cable (hidraw) through GUdev, and the
// simulator's port folder through a file monitor. The link window acts on
// them: the port list follows the ports, the cable opens or closes.
#pragma once

// What the events lead to: the ports changed (a burst of events is one
// call, from the main loop), the M900's cable came or went.
struct device_event_handlers {
    void (*ports_changed)();
    void (*bridge_event)(bool added);
};

// Starts watching with the link window's handlers; once per run.
void start_device_events(const device_event_handlers& handlers);
// Watches the simulator's port folder where it is now (created when missing);
// tests that move the folder call it again.
void watch_port_folder();
