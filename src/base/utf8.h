// Well-formed UTF-8 as RFC 3629 has it: no stray continuation byte, no
// overlong form, no surrogate, nothing past U+10FFFF. Names and paths that
// reach the toolkit, a settings file or JSON are checked with it.
#pragma once

#include <cstddef>

bool valid_utf8(const char* s, size_t n);
// The same for a NUL-terminated text.
bool valid_utf8(const char* s);
