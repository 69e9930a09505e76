// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Decimal digits for the number texts (numtext.cpp, exptext.cpp): pairs of
// digits, powers of ten and the 18 significant digits of a value.
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace duolink::digits {

inline constexpr char kDigitPairs[] = "00010203040506070809"
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

inline constexpr unsigned long long kWholePow10[] = {1ull,
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

// The value's 18 significant decimal digits (nearest, ties to even) and the
// decimal exponent of the first digit. Returns false for 0.
inline bool decimal18(long double magnitude, char digits[18], int& exponent)
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

} // namespace duolink::digits
