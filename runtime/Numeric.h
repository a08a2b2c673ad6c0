// The run time's numeric conversions: rounding half to even, checked narrowing, division,
// text to number and number to text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Nearest integer of x, a half going to the even neighbour, as a double.
double nearest(double x);

// Rounds half to even into 16 or 32 bits; raises 6 "Overflow" when the result does not fit.
std::int16_t CInt(double x);
std::int32_t CLng(double x);
// Rounds half to even into 64 bits (the free-space counts); raises 6 beyond its range.
std::int64_t CLngLng(double x);

// a / b in double precision; raises 11 "Division by zero" when b is 0.
double Divide(double a, double b);

// The run time's text-to-number conversion: blanks, tabs and line feeds are ignored anywhere;
// the longest leading part that forms a number (sign, digits, decimal point, exponent) is read;
// text with no leading number gives 0.
double Val(std::string_view text);

// The signed-number text form: a blank before a number that is not negative (" 2", "-3").
std::string Str(std::int64_t value);
