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
inline char* writeDigitsBefore(char* end, unsigned long long n, int minDigits)
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
