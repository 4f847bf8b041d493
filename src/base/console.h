// Trace output on standard output (console_message), bounded to 255 characters
// a call. No toolkit: the link, profile and settings code use it too.
#pragma once

#include <cstddef>

void console_message(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Formats into `buf` (size `n`), always NUL-terminated, cut when too long.
// Returns `buf`.
char* format_bounded(char* buf, size_t n, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
