// Numbers as text, always with "." as the decimal point whatever the process
// locale says: reading the decimal number at the start of a text, and
// printf-style formatting of one value into a bounded buffer.
#pragma once

#include <string>

// The longest decimal number at the start of `text` after blanks: optional
// sign, digits, point, digits, exponent. Hex, "inf" and "nan" are not
// numbers here. False (and `value` untouched) when there is none; `end`, when
// given, receives the first character after the number.
bool read_decimal(const char* text, double* value, const char** end = nullptr);

// read_decimal's value, 0 when the text does not begin with a number.
double parse_number(const char* text);

// printf-style text of one value; any double (NaN, inf, 1e308) is safe.
std::string format_number(const char* fmt, double v);
