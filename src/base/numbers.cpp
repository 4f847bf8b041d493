#include "base/numbers.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <locale.h>

namespace {

// Room for any double under the fixed formats ("%4.0f" of DBL_MAX is 309
// digits), so damaged records give long texts, never a cut number.
constexpr size_t kNumberBuffer = 512;

bool is_digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

bool read_decimal(const char* text, double* value, const char** end)
{
    if (!text) return false;
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    const char* start = p;
    if (*p == '+' || *p == '-') ++p;
    const char* digits = p;
    while (is_digit(*p)) ++p;
    bool whole = p > digits;
    if (*p == '.') {
        const char* fraction = ++p;
        while (is_digit(*p)) ++p;
        if (!whole && p == fraction) return false;  // "." or "-." alone
    } else if (!whole) {
        return false;
    }
    if (*p == 'e' || *p == 'E') {
        const char* e = p + 1;
        if (*e == '+' || *e == '-') ++e;
        if (is_digit(*e)) {
            while (is_digit(*e)) ++e;
            p = e;
        }
    }
    std::string number(start, p);
    // The process locale may use a decimal comma; these texts always use ".".
    static locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    *value = c_locale ? strtod_l(number.c_str(), nullptr, c_locale) : std::strtod(number.c_str(), nullptr);
    if (end) *end = p;
    return true;
}

double parse_number(const char* text)
{
    double v = 0.0;
    return read_decimal(text, &v) ? v : 0.0;
}

std::string format_number(const char* fmt, double v)
{
    char buf[kNumberBuffer];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}
