#include "link/line_checksum.h"

#include <cstdio>
#include <cstring>

bool append_line_checksum(char* line, size_t size)
{
    if (line == nullptr) return false;
    const size_t n = strnlen(line, size);
    if (n == 0 || n >= size || line[n - 1] != '\r' || n + 3 >= size) return false;
    unsigned x = 0;
    for (size_t i = 0; i < n; ++i) x ^= static_cast<unsigned char>(line[i]);
    line[n - 1] = ' ';
    std::snprintf(line + n, size - n, "%02X\r", (x ^ 0xAB) & 0xFF);
    return true;
}

int line_checksum_bad(const char* line)
{
    if (line == nullptr) return 1;
    const size_t n = std::strlen(line);
    if (n < 5) return 1;
    unsigned x = 0;
    for (size_t i = 0; i + 4 < n; ++i) x ^= static_cast<unsigned char>(line[i]);
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", (x ^ 0xA6) & 0xFF);
    return (digits[0] == line[n - 3] && digits[1] == line[n - 2]) ? 0 : 1;
}
