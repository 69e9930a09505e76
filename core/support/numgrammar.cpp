// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/support/numgrammar.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace duolink {

locale_t cLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", nullptr);
    return locale;
}

NumberScan scanNumber(std::string_view text)
{
    NumberScan scan;
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        scan.sign = true;
        scan.negative = text[i] == '-';
        ++i;
    }
    while (i < text.size() && isDigit(text[i]))
        ++i, ++scan.digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i]))
            ++i, ++scan.digits, ++scan.fractionDigits;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        bool negative = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            negative = text[j++] == '-';
        const size_t first = j;
        long value = 0;
        while (j < text.size() && isDigit(text[j]))
            value = std::min(value * 10 + (text[j++] - '0'), kExponentCap);
        if (j > first) {
            scan.exponent = true;
            scan.exponentValue = negative ? -value : value;
            i = j;
        }
    }
    scan.length = i;
    return scan;
}

size_t decimalPrefix(std::string_view text)
{
    const NumberScan scan = scanNumber(text);
    return scan.digits == 0 ? 0 : scan.length;
}

namespace {
// A number of up to 15 digits with no exponent: the digits read as a whole
// number and the power of ten below them are both exact in a double, so
// their quotient is the correctly rounded value, as from_chars finds it.
bool shortDecimal(std::string_view number, double& value)
{
    static constexpr double kTens[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    size_t i = 0;
    const bool negative = !number.empty() && number.front() == '-';
    if (negative || (!number.empty() && number.front() == '+'))
        ++i;
    std::uint64_t digits = 0;
    int count = 0;
    int fraction = -1; // digits after the point, once there is one
    for (; i < number.size(); ++i) {
        const char c = number[i];
        if (isDigit(c)) {
            digits = digits * 10 + static_cast<unsigned>(c - '0');
            ++count;
            fraction += fraction >= 0;
        } else if (c == '.' && fraction < 0) {
            fraction = 0;
        } else {
            return false;
        }
    }
    if (count == 0 || count > 15)
        return false;
    const double magnitude = static_cast<double>(digits) / kTens[std::max(fraction, 0)];
    value = negative ? -magnitude : magnitude;
    return true;
}
} // namespace

bool parseRealToken(std::string_view text, double& value)
{
    // A short decimal is a number of the grammar, whole.
    if (shortDecimal(text, value))
        return true;
    if (text.empty() || decimalPrefix(text) != text.size())
        return false;
    return convertDecimal(text, value) == DecimalRange::InRange;
}


DecimalRange convertDecimal(std::string_view number, double& value)
{
    if (shortDecimal(number, value))
        return DecimalRange::InRange;
    if (!number.empty() && number.front() == '+')
        number.remove_prefix(1);
    auto res = std::from_chars(number.data(), number.data() + number.size(), value);
    if (res.ec != std::errc::result_out_of_range)
        return DecimalRange::InRange;
    // Too large or too small for a double: let the C library decide which.
    const std::string copy(number);
    value = strtod_l(copy.c_str(), nullptr, cLocale());
    return std::isinf(value) ? DecimalRange::Overflow : DecimalRange::InRange;
}

bool parseIntToken(std::string_view text, long long& value)
{
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return false;
    auto res = std::from_chars(text.data(), text.data() + text.size(), value);
    return res.ec == std::errc() && res.ptr == text.data() + text.size();
}

} // namespace duolink
