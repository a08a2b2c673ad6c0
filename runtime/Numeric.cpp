// Numeric conversions with the run time's rounding and overflow rules.
#include "runtime/Numeric.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "runtime/RuntimeError.h"

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

std::int16_t CInt(double x) {
    return checkedRound<std::int16_t>(x, -32768.0, 32767.0);
}

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

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A number that does not fit a double: infinity when it is too large (a later narrowing then
// raises Overflow), 0 when it is too small.
// lead is the position of the first non-zero digit among the mantissa's digits, of which
// integerDigits stand before the decimal point.
double outOfRange(bool negative, std::size_t integerDigits, std::size_t lead, long exponent) {
    const long decimalExponent =
        static_cast<long>(integerDigits) - static_cast<long>(lead) + exponent;
    if (decimalExponent <= 0) return 0.0;
    return negative ? -std::numeric_limits<double>::infinity()
                    : std::numeric_limits<double>::infinity();
}

}  // namespace

double Val(std::string_view text) {
    std::string s;
    s.reserve(text.size());
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\n') s.push_back(c);
    }
    // The longest prefix of the form [+-]digits[.digits][(E|e|D|d)[+-]digits].
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    std::string digits;  // the mantissa's digits, without the decimal point
    std::size_t integerDigits = 0;
    while (i < s.size() && isDigit(s[i])) {
        digits.push_back(s[i++]);
    }
    integerDigits = digits.size();
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) {
            digits.push_back(s[i++]);
        }
    }
    if (digits.empty()) return 0.0;
    long exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        std::size_t j = i + 1;
        bool negativeExponent = false;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) negativeExponent = s[j++] == '-';
        long e = 0;
        bool expDigits = false;
        while (j < s.size() && isDigit(s[j])) {
            // Saturates: any exponent this large already over- or underflows a double.
            e = std::min(e * 10 + (s[j++] - '0'), 100000L);
            expDigits = true;
        }
        if (expDigits) exponent = negativeExponent ? -e : e;
    }
    // from_chars, unlike strtod, ignores the C locale's decimal separator, which the Qt
    // application sets from the user's settings (a German locale would read "2.5" as 2).
    const std::string integerPart = digits.substr(0, integerDigits);
    const std::string fractionPart = digits.substr(integerDigits);
    const std::string number = (integerPart.empty() ? "0" : integerPart) + "." +
                               (fractionPart.empty() ? "0" : fractionPart) + "e" +
                               std::to_string(exponent);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        const std::size_t lead = digits.find_first_not_of('0');
        return outOfRange(negative, integerDigits, lead, exponent);
    }
    return negative ? -value : value;
}

std::string Str(std::int64_t value) {
    if (value < 0) return std::to_string(value);
    // Appended rather than prefixed: GCC 12 warns (-Wrestrict) about its own insert at 0.
    std::string text(" ");
    text += std::to_string(value);
    return text;
}
