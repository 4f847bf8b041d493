// Trace output (console_message), bounded to 255 characters a call, through
// one sink: standard output unless a program chooses another (a terminal
// tool sends it to standard error, or nowhere). No toolkit.
#pragma once

#include <cstddef>

void console_message(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Where trace text goes. `flush` asks for it to be out now (the command
// trace). The default writes to standard output.
using console_sink = void (*)(const char* text, bool flush);
// nullptr puts the default back.
void set_console_sink(console_sink sink);
// Text of any length through the sink, as it is.
void console_write(const char* text, bool flush = false);

// Formats into `buf` (size `n`), always NUL-terminated, cut when too long.
// Returns `buf`.
char* format_bounded(char* buf, size_t n, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
