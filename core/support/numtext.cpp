#include "core/support/numtext.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace duolink {
namespace {

constexpr long double kPow10[] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,
                                  1e7L,  1e8L,  1e9L,  1e10L, 1e11L, 1e12L, 1e13L,
                                  1e14L, 1e15L, 1e16L, 1e17L, 1e18L};

void padLeft(std::string& out, size_t start, int width)
{
    size_t len = out.size() - start;
    if (width > 0 && len < static_cast<size_t>(width))
        out.insert(start, static_cast<size_t>(width) - len, ' ');
}

// The value's 18 significant decimal digits (nearest, ties to even) and the
// decimal exponent of the first digit. Returns false for 0.
bool decimal18(long double magnitude, char digits[18], int& exponent)
{
    if (magnitude == 0)
        return false;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17Le", magnitude);
    // buf is "d.ddddddddddddddddde[+-]xx"
    digits[0] = buf[0];
    std::memcpy(digits + 1, buf + 2, 17);
    exponent = std::atoi(buf + 20);
    return true;
}

bool appendNonFinite(std::string& out, long double value, int width)
{
    if (std::isfinite(value))
        return false;
    size_t start = out.size();
    if (std::isnan(value))
        out += "Nan";
    else
        out += value < 0 ? "-Inf" : "+Inf";
    padLeft(out, start, width);
    return true;
}

// Writes the unsigned decimal `digits` (most significant first) with a point
// before the last `decimals` of them and at least one integer digit.
void appendFixed(std::string& out, bool negative, std::string_view digits, int decimals)
{
    size_t need = static_cast<size_t>(decimals) + 1;
    while (digits.size() > need && digits.front() == '0')
        digits.remove_prefix(1);
    if (negative && digits.find_first_not_of('0') != std::string_view::npos)
        out += '-';
    size_t zeros = digits.size() < need ? need - digits.size() : 0;
    size_t intLen = digits.size() + zeros - static_cast<size_t>(decimals);
    for (size_t i = 0; i < digits.size() + zeros; ++i) {
        if (i == intLen)
            out += '.';
        out += i < zeros ? '0' : digits[i - zeros];
    }
}

} // namespace

std::string intText(long long value)
{
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    std::string out(buf, res.ptr);
    padLeft(out, 0, 5);
    return out;
}

std::string realText(long double value)
{
    return realTextWD(value, 9, 3);
}

std::string boolText(bool value)
{
    return value ? " True  " : " False ";
}

void appendRealTextWD(std::string& out, long double value, int width, int decimals)
{
    if (appendNonFinite(out, value, width))
        return;
    if (decimals < 0)
        decimals = 0;
    size_t start = out.size();
    bool negative = std::signbit(value);
    long double magnitude = std::fabs(value);

    // Fast path: below 10^11 the 18-digit form and the extended product
    // differ from the exact scaled value by less than 10^-6, so unless the
    // scaled value lies next to a half, both round to the same whole number.
    if (decimals <= 18) {
        const long double t = magnitude * kPow10[decimals];
        if (t < 1e11L) {
            const long double whole = std::floor(t);
            const long double fraction = t - whole;
            if (std::fabs(fraction - 0.5L) > 1e-4L) {
                char buf[32];
                const auto n = static_cast<unsigned long long>(whole) + (fraction > 0.5L ? 1 : 0);
                auto res = std::to_chars(buf, buf + sizeof buf, n);
                appendFixed(out, negative, std::string_view(buf, res.ptr - buf), decimals);
                padLeft(out, start, width);
                return;
            }
        }
    }

    char d18[18];
    int exponent = 0;
    std::string digits;
    if (decimal18(magnitude, d18, exponent)) {
        // value = 0.d18 * 10^(exponent + 1); keep the digits down to 10^-decimals.
        int keep = exponent + 1 + decimals; // number of leading digits kept
        if (keep >= 18) {
            digits.assign(d18, 18);
            digits.append(static_cast<size_t>(keep - 18), '0');
        } else if (keep >= 0) {
            digits.assign(d18, static_cast<size_t>(keep));
            bool up = d18[keep] >= '5';
            if (up) {
                int i = keep - 1;
                while (i >= 0 && digits[i] == '9')
                    digits[i--] = '0';
                if (i >= 0)
                    ++digits[i];
                else
                    digits.insert(digits.begin(), '1');
            }
            if (digits.empty())
                digits = "0";
        } else {
            digits = "0";
        }
    } else {
        digits = "0";
    }
    appendFixed(out, negative, digits, decimals);
    padLeft(out, start, width);
}

std::string realTextWD(long double value, int width, int decimals)
{
    std::string out;
    appendRealTextWD(out, value, width, decimals);
    return out;
}

void appendExpText(std::string& out, long double value, int digits)
{
    if (appendNonFinite(out, value, 0))
        return;
    if (digits < 1)
        digits = 1;
    if (digits > 17)
        digits = 17;
    out += std::signbit(value) ? '-' : ' ';
    long double magnitude = std::fabs(value);

    // 18 significant digits and the exponent of the first one.
    char d[19];
    int exponent = 0;
    if (magnitude == 0) {
        std::memset(d, '0', 18);
    } else if (magnitude < 1e17L && magnitude == std::rint(magnitude)) {
        // Whole numbers below 10^17 are their own 18-digit form.
        char buf[32];
        auto res = std::to_chars(buf, buf + sizeof buf, static_cast<unsigned long long>(magnitude));
        size_t len = static_cast<size_t>(res.ptr - buf);
        std::memset(d, '0', 18);
        std::memcpy(d, buf, len);
        exponent = static_cast<int>(len) - 1;
    } else {
        decimal18(magnitude, d, exponent);
    }

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
    out += kept[0];
    out += '.';
    out.append(kept + 1, static_cast<size_t>(digits - 1));
    out += 'E';
    out += exponent < 0 ? '-' : '+';
    char eb[16];
    auto res = std::to_chars(eb, eb + sizeof eb, std::abs(exponent));
    const auto len = static_cast<size_t>(res.ptr - eb);
    if (len < 4)
        out.append(4 - len, '0');
    out.append(eb, len);
}

std::string expText(long double value, int digits)
{
    std::string out;
    appendExpText(out, value, digits);
    return out;
}

} // namespace duolink
