// Numeric conversions with the run time's rounding and overflow rules.
#include "log/Numeric.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "log/RuntimeError.h"

double nearest(double x) {
    // nearbyint rounds in the current mode; the program never leaves round-to-nearest-even.
    return std::nearbyint(x);
}

namespace {

template <class Int>
Int checkedRound(double x, double lowest, double highest) {
    if (std::isnan(x)) Raise(Err::Overflow);
    const double r = nearest(x);
    if (r < lowest || r > highest) Raise(Err::Overflow);
    return static_cast<Int>(r);
}

}  // namespace

std::int16_t CInt(double x) { return checkedRound<std::int16_t>(x, -32768.0, 32767.0); }

std::int32_t CLng(double x) {
    return checkedRound<std::int32_t>(x, -2147483648.0, 2147483647.0);
}

std::int64_t CLngLng(double x) {
    // The largest double below 2^63 is exactly representable; 2^63 itself is not an int64.
    return checkedRound<std::int64_t>(x, -9223372036854775808.0, 9223372036854774784.0);
}

double Divide(double a, double b) {
    if (b == 0.0) Raise(Err::DivisionByZero);
    return a / b;
}

double Val(std::string_view text) {
    std::string s;
    s.reserve(text.size());
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\n') s.push_back(c);
    }
    // Take the longest prefix of the form [+-]digits[.digits][(E|e|D|d)[+-]digits].
    std::size_t i = 0;
    std::string number;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) number.push_back(s[i++]);
    bool digits = false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        number.push_back(s[i++]);
        digits = true;
    }
    if (i < s.size() && s[i] == '.') {
        number.push_back(s[i++]);
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            number.push_back(s[i++]);
            digits = true;
        }
    }
    if (!digits) return 0.0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) exponent.push_back(s[j++]);
        bool expDigits = false;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
            exponent.push_back(s[j++]);
            expDigits = true;
        }
        if (expDigits) number += exponent;
    }
    return std::strtod(number.c_str(), nullptr);
}

std::string Str(std::int64_t value) {
    return value < 0 ? std::to_string(value) : " " + std::to_string(value);
}
