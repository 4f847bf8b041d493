// The two-digit checksum suffix of profile data lines (" XX\r"): adding it to
// an outgoing line and checking it on a received one.
// Pure string work.
#pragma once

#include <cstddef>

// Rewrites "text\r" into "text XX\r" in place. `size` is the buffer size; the
// line is left alone (result false) when it does not end in '\r' or the
// suffix does not fit.
bool append_line_checksum(char* line, size_t size);

// 0 when the suffix matches the text, 1 otherwise (also for lines shorter
// than the five characters a suffix and one text byte need).
int line_checksum_bad(const char* line);
