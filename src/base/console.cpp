#include "base/console.h"

#include <cstdarg>
#include <cstdio>

namespace {

void standard_output(const char* text, bool flush)
{
    std::fputs(text, stdout);
    if (flush) std::fflush(stdout);
}

console_sink sink = standard_output;

}  // namespace

void set_console_sink(console_sink s) { sink = s ? s : standard_output; }

void console_write(const char* text, bool flush) { sink(text, flush); }

void console_message(const char* fmt, ...)
{
    static char buffer[256];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, ap);
    va_end(ap);
    sink(buffer, false);
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
