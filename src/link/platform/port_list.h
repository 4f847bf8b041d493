// Serial-port discovery: the system's ports (libserialport's list) followed
// by the simulator's published pseudo-terminals, handed one by one to a
// callback. Strings are valid only during the callback.
#pragma once

#include <cstddef>

struct serial_port_info {
    const char* port_name;
    const char* friendly_name;
    const char* enumerator;
};

using serial_port_callback = int (*)(void* user_data, const serial_port_info* info);

// Calls `callback` once per port until it returns 0 or the ports run out.
// Fails (false, errno EINVAL) at once when the callback is null.
bool enumerate_serial_ports(serial_port_callback callback, void* user_data);

// The folder where the simulator publishes its ports: $XDG_RUNTIME_DIR/
// stowline-ports, or /tmp/stowline-ports-<uid> when that is unset.
void simulator_ports_folder(char* path, size_t size);
