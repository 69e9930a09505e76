// SPDX-License-Identifier: GPL-3.0-or-later
// Number texts in exponent form: "d.ddE+xxxx", as the report and the
// matrix files show their values.
#include "core/support/numtext.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "core/support/digits.h"

namespace duolink {

using digits::decimal18;
using digits::kDigitPairs;
using digits::kWholePow10;
using digits::writeDigitsBefore;

namespace {

// "d.ddd" and "E+xxxx" (at least four exponent digits) from the kept digits
// (the first `digits` of `kept`), behind the sign already at `dest`.
char* writeExpDigits(char* dest, const char* kept, int digits, int exponent)
{
    char* p = dest;
    *p++ = kept[0];
    *p++ = '.';
    std::memcpy(p, kept + 1, static_cast<size_t>(digits - 1));
    p += digits - 1;
    *p++ = 'E';
    *p++ = exponent < 0 ? '-' : '+';
    char eb[16];
    char* const ebEnd = eb + sizeof eb;
    const char* e = writeDigitsBefore(ebEnd, static_cast<unsigned>(std::abs(exponent)), 4);
    std::memcpy(p, e, static_cast<size_t>(ebEnd - e));
    return p + (ebEnd - e);
}

// The number of decimal digits of 0 < n < 10^19, less one.
inline int decimalExponent(unsigned long long n)
{
    // 1233 / 4096 is just above log10(2).
    const int t = std::bit_width(n) * 1233 >> 12;
    return t - (n < kWholePow10[t]);
}

// n / 10^k for 0 <= k <= 16, each a division by a constant: a multiply
// instead of the divide instruction.
inline unsigned long long dividePow10(unsigned long long n, int k)
{
    switch (k) {
    case 0: return n;
    case 1: return n / 10;
    case 2: return n / 100;
    case 3: return n / 1000;
    case 4: return n / 10000;
    case 5: return n / 100000;
    case 6: return n / 1000000;
    case 7: return n / 10000000;
    case 8: return n / 100000000;
    case 9: return n / 1000000000;
    case 10: return n / 10000000000;
    case 11: return n / 100000000000;
    case 12: return n / 1000000000000;
    case 13: return n / 10000000000000;
    case 14: return n / 100000000000000;
    case 15: return n / 1000000000000000;
    default: return n / kWholePow10[k];
    }
}

// The exponent form of a whole number below 10^17: its digits are its own
// 18-digit form, so the cut needs only the digit after the kept ones.
char* writeWholeExp(char* dest, unsigned long long n, bool negative, int digits)
{
    int exponent = 0;
    unsigned long long kept = 0; // the first `digits` digits, cut
    if (n != 0) {
        exponent = decimalExponent(n);
        const int length = exponent + 1;
        const int wanted = digits + 1;
        const unsigned long long top =
            length >= wanted ? dividePow10(n, length - wanted) : n * kWholePow10[wanted - length];
        kept = top / 10 + (top % 10 >= 5 ? 1 : 0);
        if (kept == kWholePow10[digits]) {
            kept = kWholePow10[digits - 1];
            ++exponent;
        }
    }
    if (digits == 2) {
        // The report's short form, from a pair of digits: no copy of bytes
        // just written, which would wait for them.
        const char* const pair = kDigitPairs + 2 * kept;
        dest[0] = negative ? '-' : ' ';
        dest[1] = pair[0];
        dest[2] = '.';
        dest[3] = pair[1];
        std::memcpy(dest + 4, "E+00", 4);
        std::memcpy(dest + 8, kDigitPairs + 2 * exponent, 2);
        return dest + 10;
    }
    // The digits, then copies of a fixed size (the buffer has room behind
    // them) that need no call.
    char buf[48];
    char* const end = buf + 24;
    const char* first = writeDigitsBefore(end, kept, digits);
    char* p = dest;
    *p++ = negative ? '-' : ' ';
    *p++ = first[0];
    *p++ = '.';
    std::memcpy(p, first + 1, 16);
    p += digits - 1;
    // The exponent is below 100: "E+00" and two digits.
    std::memcpy(p, "E+00", 4);
    std::memcpy(p + 4, kDigitPairs + 2 * exponent, 2);
    return p + 6;
}

} // namespace

char* writeExpText(char* dest, long double value, int digits)
{
    if (!std::isfinite(value)) {
        const char* text = std::isnan(value) ? "Nan" : value < 0 ? "-Inf" : "+Inf";
        const size_t length = std::strlen(text);
        std::memcpy(dest, text, length);
        return dest + length;
    }
    digits = std::clamp(digits, 1, 17);
    const long double magnitude = std::fabs(value);
    if (magnitude < 1e17L && magnitude == std::rint(magnitude))
        return writeWholeExp(dest, static_cast<unsigned long long>(magnitude), std::signbit(value), digits);

    *dest++ = std::signbit(value) ? '-' : ' ';
    // 18 significant digits and the exponent of the first one.
    char d[19];
    int exponent = 0;
    decimal18(magnitude, d, exponent);

    // Cut to `digits` by the next digit alone.
    char kept[18];
    std::memcpy(kept, d, static_cast<size_t>(digits));
    if (d[digits] >= '5') {
        int i = digits - 1;
        while (i >= 0 && kept[i] == '9')
            kept[i--] = '0';
        if (i >= 0) {
            ++kept[i];
        } else {
            kept[0] = '1';
            ++exponent;
        }
    }
    return writeExpDigits(dest, kept, digits, exponent);
}

char* writeExpText(char* dest, double value, int digits)
{
    const double magnitude = std::fabs(value);
    if (magnitude < 1e17 && digits >= 1 && digits <= 17) {
        const auto whole = static_cast<long long>(magnitude);
        if (static_cast<double>(whole) == magnitude)
            return writeWholeExp(dest, static_cast<unsigned long long>(whole), std::signbit(value), digits);
    }
    return writeExpText(dest, static_cast<long double>(value), digits);
}

void appendExpText(std::string& out, long double value, int digits)
{
    char text[kExpTextRoom];
    const char* end = writeExpText(text, value, digits);
    out.append(text, static_cast<size_t>(end - text));
}

std::string expText(long double value, int digits)
{
    std::string out;
    appendExpText(out, value, digits);
    return out;
}

} // namespace duolink
