#include "base/console.h"

#include <cstdarg>
#include <cstdio>

void console_message(const char* fmt, ...)
{
    static char buffer[256];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, ap);
    va_end(ap);
    std::fputs(buffer, stdout);
}

char* format_bounded(char* buf, size_t n, const char* fmt, ...)
{
    if (n == 0) return buf;
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, n, fmt, ap);
    va_end(ap);
    return buf;
}
