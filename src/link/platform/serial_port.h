// Serial ports over POSIX termios: open a device path at 8N1 and a baud rate,
// raw, with reads that return at once and writes bounded in time; plus the
// mapping of "COMn" names onto this platform's device paths.
#pragma once

#include <cstddef>

#include "link/link_result.h"

// Opens `path` at `baud` (9600 or 115200; others are refused), 8N1, raw,
// non-blocking, and for this program alone: locked (flock) and in the
// terminal's exclusive mode until serial_close. On success *fd is the
// descriptor; otherwise -1 and the result says why (in_use: another program
// has the port; not_a_port: it opened but took no terminal settings).
link_result serial_open_port(const char* path, int baud, int* fd);
// The same for callers outside the link (benches, tests): the descriptor, or
// -1 with errno set.
int serial_open(const char* path, int baud);

// Reads what is pending, at most `n` bytes, without waiting. Returns the
// count (0 when nothing is pending), -1 when the port failed or vanished.
long serial_read(int fd, void* buffer, size_t n);

// Writes `n` bytes, giving up after 10 ms + 10 ms per byte. Returns the count
// written (possibly short), -1 when nothing could be written.
long serial_write(int fd, const void* buffer, size_t n);

void serial_close(int fd);

// True when the port is gone: hung up (a USB adapter pulled, the other end of
// a pseudo-terminal closed), failed, or not open at all.
bool serial_port_gone(int fd);

// "COMn" (and "\\.\comn") names a port as the device's own software does; on
// this platform COMn is /dev/ttyS(n-1). Returns false when `name` is not of
// that form. A name beginning with '/' is already a device path.
bool com_name_to_path(const char* name, char* path, size_t size);
