#include "base/utf8.h"

#include <cstring>

bool valid_utf8(const char* s, size_t n)
{
    const auto* b = reinterpret_cast<const unsigned char*>(s);
    size_t i = 0;
    while (i < n) {
        const unsigned c = b[i];
        size_t more;
        unsigned lo = 0x80, hi = 0xBF;
        if (c < 0x80) more = 0;
        else if (c >= 0xC2 && c <= 0xDF) more = 1;
        else if (c == 0xE0) more = 2, lo = 0xA0;
        else if (c == 0xED) more = 2, hi = 0x9F;
        else if (c >= 0xE1 && c <= 0xEF) more = 2;
        else if (c == 0xF0) more = 3, lo = 0x90;
        else if (c >= 0xF1 && c <= 0xF3) more = 3;
        else if (c == 0xF4) more = 3, hi = 0x8F;
        else return false;
        if (i + more >= n) return false;
        for (size_t k = 1; k <= more; ++k) {
            const unsigned t = b[i + k];
            if (t < (k == 1 ? lo : 0x80) || t > (k == 1 ? hi : 0xBF)) return false;
        }
        i += more + 1;
    }
    return true;
}

bool valid_utf8(const char* s) { return valid_utf8(s, std::strlen(s)); }
