#include "core/support/numtext.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

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
    const size_t zeros = digits.size() < need ? need - digits.size() : 0;
    const size_t intLen = digits.size() + zeros - static_cast<size_t>(decimals);
    const size_t start = out.size();
    out.append(zeros, '0');
    out.append(digits);
    if (decimals > 0)
        out.insert(start + intLen, 1, '.');
}

constexpr char kDigitPairs[] = "00010203040506070809"
                               "10111213141516171819"
                               "20212223242526272829"
                               "30313233343536373839"
                               "40414243444546474849"
                               "50515253545556575859"
                               "60616263646566676869"
                               "70717273747576777879"
                               "80818283848586878889"
                               "90919293949596979899";

// Writes `n` in decimal, with at least `minDigits` digits (leading zeros),
// so that it ends just before `end`; returns where it begins.
char* writeDigitsBefore(char* end, unsigned long long n, int minDigits)
{
    char* p = end;
    while (n >= 100) {
        const auto pair = static_cast<size_t>(n % 100) * 2;
        n /= 100;
        *--p = kDigitPairs[pair + 1];
        *--p = kDigitPairs[pair];
    }
    if (n >= 10) {
        const auto pair = static_cast<size_t>(n) * 2;
        *--p = kDigitPairs[pair + 1];
        *--p = kDigitPairs[pair];
    } else {
        *--p = static_cast<char>('0' + n);
    }
    while (end - p < minDigits)
        *--p = '0';
    return p;
}

constexpr unsigned long long kWholePow10[] = {1ull,
                                              10ull,
                                              100ull,
                                              1000ull,
                                              10000ull,
                                              100000ull,
                                              1000000ull,
                                              10000000ull,
                                              100000000ull,
                                              1000000000ull,
                                              10000000000ull,
                                              100000000000ull,
                                              1000000000000ull,
                                              10000000000000ull,
                                              100000000000000ull,
                                              1000000000000000ull,
                                              10000000000000000ull,
                                              100000000000000000ull,
                                              1000000000000000000ull};

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

char* writeWholeRatioText(char* dest, double value, int unity, int width, int decimals)
{
    if (unity <= 0 || decimals < 0 || decimals > 18 || width > kWholeRatioRoom ||
        kWholePow10[decimals] % static_cast<unsigned>(unity) != 0)
        return nullptr;
    // Below 10^11 once scaled, the quotient and its scaling are exact to far
    // less than a half, so the general path rounds to this very number.
    const double magnitude = std::fabs(value);
    const unsigned long long factor = kWholePow10[decimals] / static_cast<unsigned>(unity);
    if (!(magnitude < 1e11 / static_cast<double>(factor)))
        return nullptr;
    const auto whole = static_cast<unsigned long long>(magnitude);
    if (static_cast<double>(whole) != magnitude)
        return nullptr;
    const unsigned long long scaled = whole * factor;
    // Built right-aligned to the middle of `buf`, then copied whole: a copy
    // of a fixed size needs no call.
    char buf[2 * kWholeRatioRoom];
    char* const end = buf + kWholeRatioRoom;
    char* p = end;
    if (decimals > 0) {
        p = writeDigitsBefore(p, scaled % kWholePow10[decimals], decimals);
        *--p = '.';
    }
    p = writeDigitsBefore(p, scaled / kWholePow10[decimals], 1);
    if (value < 0 && scaled != 0)
        *--p = '-';
    while (end - p < width)
        *--p = ' ';
    std::memcpy(dest, p, kWholeRatioRoom);
    return dest + (end - p);
}

bool appendWholeRatioText(std::string& out, double value, int unity, int width, int decimals)
{
    char text[kWholeRatioRoom];
    const char* end = writeWholeRatioText(text, value, unity, width, decimals);
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
    char text[32];
    char* kept = text + 1;
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
    // "d.ddd" then "E+xxxx", at least four exponent digits.
    text[0] = kept[0];
    text[1] = '.';
    char* p = text + 1 + digits;
    *p++ = 'E';
    *p++ = exponent < 0 ? '-' : '+';
    char eb[16];
    char* const ebEnd = eb + sizeof eb;
    const char* e = writeDigitsBefore(ebEnd, static_cast<unsigned>(std::abs(exponent)), 4);
    std::memcpy(p, e, static_cast<size_t>(ebEnd - e));
    p += ebEnd - e;
    out.append(text, static_cast<size_t>(p - text));
}

std::string expText(long double value, int digits)
{
    std::string out;
    appendExpText(out, value, digits);
    return out;
}

} // namespace duolink
