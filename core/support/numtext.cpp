// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/support/numtext.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/support/digits.h"

namespace duolink {
using digits::decimal18;
using digits::kDigitPairs;
using digits::kWholePow10;
using digits::writeDigitsBefore;

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
    const size_t zeros = digits.size() < need ? need - digits.size() : 0;
    const size_t intLen = digits.size() + zeros - static_cast<size_t>(decimals);
    const size_t start = out.size();
    out.append(zeros, '0');
    out.append(digits);
    if (decimals > 0)
        out.insert(start + intLen, 1, '.');
}

// The whole part of 0 <= t < 2^62, as an extended value and in `n`.
inline long double wholePart(long double t, unsigned long long& n)
{
    if constexpr (std::numeric_limits<long double>::digits == 64 && std::endian::native == std::endian::little) {
        // Added to 2^63, t is rounded to a whole number that the 64-bit
        // significand holds as it is: no change of the rounding mode, which
        // a conversion or floor() costs on the x87 unit.
        constexpr long double kBias = 9223372036854775808.0L;
        const long double biased = t + kBias;
        std::memcpy(&n, &biased, sizeof n);
        n -= 1ull << 63;
        long double whole = biased - kBias;
        if (whole > t) {
            whole -= 1;
            --n;
        }
        return whole;
    } else {
        const long double whole = std::floor(t);
        n = static_cast<unsigned long long>(whole);
        return whole;
    }
}

// The whole number `scaled` / 10^decimals in fixed point, right-aligned in
// `width`, appended in one piece.
void appendScaled(std::string& out, bool negative, unsigned long long scaled, int decimals, int width)
{
    char buf[64];
    char* const end = buf + sizeof buf;
    char* p = end;
    if (decimals > 0) {
        p = writeDigitsBefore(p, scaled % kWholePow10[decimals], decimals);
        *--p = '.';
    }
    p = writeDigitsBefore(p, scaled / kWholePow10[decimals], 1);
    if (negative && scaled != 0)
        *--p = '-';
    if (end - p < width) {
        // The blanks go in front in the same piece, as far as there is room.
        const auto pad = std::min<std::ptrdiff_t>(width - (end - p), p - buf);
        p -= pad;
        std::memset(p, ' ', static_cast<size_t>(pad));
    }
    if (end - p < width)
        out.append(static_cast<size_t>(width - (end - p)), ' ');
    out.append(p, static_cast<size_t>(end - p));
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
    if (decimals < 0)
        decimals = 0;
    // Only a value that shows a digit other than 0 shows its sign, so the
    // sign of a zero does not matter here.
    const bool negative = value < 0;
    const long double magnitude = std::fabs(value);

    // Fast path: below 10^11 the 18-digit form and the extended product
    // differ from the exact scaled value by less than 10^-6, so unless the
    // scaled value lies next to a half, both round to the same whole number.
    // (Infinities and NaN fail the comparison.)
    if (decimals <= 18) {
        const long double t = magnitude * kPow10[decimals];
        if (t < 1e11L) {
            unsigned long long n = 0;
            const long double whole = wholePart(t, n);
            const long double fraction = t - whole;
            if (std::fabs(fraction - 0.5L) > 1e-4L) {
                appendScaled(out, negative, n + (fraction > 0.5L ? 1 : 0), decimals, width);
                return;
            }
        }
    }
    if (appendNonFinite(out, value, width))
        return;
    const size_t start = out.size();

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

WholeRatioWriter::WholeRatioWriter(int unity, int width, int decimals)
{
    if (unity <= 0 || decimals < 0 || decimals > 18 || width > kRoom ||
        kWholePow10[decimals] % static_cast<unsigned>(unity) != 0)
        return;
    factor_ = kWholePow10[decimals] / static_cast<unsigned>(unity);
    // Below 10^11 once scaled, the quotient and its scaling are exact to far
    // less than a half, so the general path rounds to this very number.
    limit_ = 1e11 / static_cast<double>(factor_);
    unity_ = unity;
    width_ = std::max(width, 0);
    decimals_ = decimals;
}

char* WholeRatioWriter::writeScaled(char* dest, unsigned long long scaled, bool negative) const
{
    if (decimals_ == 5) {
        // The pane's form, written in place behind blanks: the five decimals
        // from one remainder in 32 bits, then the whole part (below 10^6).
        const unsigned long long whole = scaled / 100000;
        const auto fraction = static_cast<unsigned>(scaled - whole * 100000);
        const auto w = static_cast<unsigned>(whole);
        const int wholeDigits = w < 10 ? 1 : w < 100 ? 2 : w < 1000 ? 3 : w < 10000 ? 4 : w < 100000 ? 5 : 6;
        const int length = wholeDigits + 6 + (negative && scaled != 0 ? 1 : 0);
        std::memset(dest, ' ', kRoom);
        char* const end = dest + std::max(length, width_);
        const unsigned last3 = fraction % 1000;
        std::memcpy(end - 5, kDigitPairs + 2 * (fraction / 1000), 2);
        std::memcpy(end - 3, kDigitPairs + 2 * (last3 / 10), 2);
        end[-1] = static_cast<char>('0' + last3 % 10);
        end[-6] = '.';
        char* p = writeDigitsBefore(end - 6, w, 1);
        // Either sign is as likely: a blank or a minus, without a branch on it.
        if (p > dest)
            p[-1] = negative && scaled != 0 ? '-' : ' ';
        return end;
    }
    // Built right-aligned to the middle of a field of blanks, then copied
    // whole: copies of a fixed size need no call.
    char buf[2 * kRoom];
    std::memset(buf, ' ', sizeof buf);
    char* const end = buf + kRoom;
    char* p = end;
    unsigned long long n = scaled;
    int left = decimals_;
    for (; left >= 2; left -= 2) {
        const auto pair = static_cast<size_t>(n % 100) * 2;
        n /= 100;
        *--p = kDigitPairs[pair + 1];
        *--p = kDigitPairs[pair];
    }
    if (left > 0) {
        *--p = static_cast<char>('0' + n % 10);
        n /= 10;
    }
    if (decimals_ > 0)
        *--p = '.';
    p = writeDigitsBefore(p, n, 1);
    if (negative && scaled != 0)
        *--p = '-';
    p = std::min(p, end - width_);
    std::memcpy(dest, p, kRoom);
    return dest + (end - p);
}

// With write() and writeScaled() inlined into the loop.
[[gnu::flatten]] char* WholeRatioWriter::writeRun(char* dest, const double* values, int n, int blanks, int& taken) const
{
    taken = 0;
    for (; taken < n; ++taken) {
        char* end = write(dest, values[taken]);
        if (!end)
            break;
        // The blanks are already there, behind the text.
        dest = end + blanks;
    }
    return dest;
}

char* writeWholeText(char* dest, long long value, int width)
{
    char buf[24];
    char* const end = buf + sizeof buf;
    const unsigned long long magnitude =
        value < 0 ? 0 - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    char* p = writeDigitsBefore(end, magnitude, 1);
    if (value < 0)
        *--p = '-';
    const auto length = static_cast<int>(end - p);
    if (length < width) {
        std::memset(dest, ' ', static_cast<size_t>(width - length));
        dest += width - length;
    }
    std::memcpy(dest, p, static_cast<size_t>(length));
    return dest + length;
}

bool appendWholeRatioText(std::string& out, double value, int unity, int width, int decimals)
{
    char text[WholeRatioWriter::kRoom];
    const char* end = WholeRatioWriter(unity, width, decimals).write(text, value);
    if (!end)
        return false;
    out.append(text, static_cast<size_t>(end - text));
    return true;
}

std::string realTextWD(long double value, int width, int decimals)
{
    std::string out;
    appendRealTextWD(out, value, width, decimals);
    return out;
}

} // namespace duolink
