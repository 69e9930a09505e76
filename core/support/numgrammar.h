// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one grammar every number the program reads follows, whatever it reads
// from: a typed field, the parameters and data files, a matrix file, an
// argument of the runner.
//
//   number   = [sign] digits ["." digits] [exponent]
//   exponent = ("e" | "E") [sign] digit {digit}
//
// with a digit on at least one side of the point. The point is always ".",
// whatever the user's locale. Tokens are runs of characters above the blank,
// separated by blanks and control characters.
#include <cstddef>
#include <string_view>

#include <locale.h>

namespace duolink {

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The C locale, for the C library's conversions.
locale_t cLocale();

// The parts of the longest number-like prefix of a text: the sign, the
// mantissa digits with their point, and an exponent with at least one digit.
// Unlike the grammar, the mantissa may have no digit at all (matrix files
// read such a token as 0).
struct NumberScan {
    size_t length = 0;          // characters taken
    bool negative = false;
    bool sign = false;          // a sign was taken
    size_t digits = 0;          // mantissa digits, both sides of the point
    size_t fractionDigits = 0;  // mantissa digits after the point
    bool exponent = false;      // an exponent was taken
    long exponentValue = 0;     // its value, counted no further than +-kExponentCap
};
inline constexpr long kExponentCap = 1000000;
NumberScan scanNumber(std::string_view text);

// Length of the longest prefix of `text` that is a number; 0 when there is
// none.
size_t decimalPrefix(std::string_view text);
// Reads the whole of `text` as a number to the nearest double. Returns false
// when it is not one, or when its value is beyond the double range.
bool parseRealToken(std::string_view text, double& value);
// Converts a checked number text to the nearest double. Too large a value
// gives an infinity and Overflow; too small a value gives a denormal or 0.
enum class DecimalRange { InRange, Overflow };
DecimalRange convertDecimal(std::string_view number, double& value);
// Reads the whole of `text` as a decimal integer with an optional sign.
bool parseIntToken(std::string_view text, long long& value);

// The token reader. `Source` offers int peek() (the next byte 0..255, or -1
// at the end) and void advance(). Skips bytes of code 32 and below, then
// copies at most `maxLen` bytes above 32 into `out` (the rest of a longer run
// is the next token). Returns the token's length, or 0 at the end.
template <class Source>
size_t readToken(Source& in, char* out, size_t maxLen)
{
    int c = in.peek();
    while (c >= 0 && c <= ' ') {
        in.advance();
        c = in.peek();
    }
    size_t length = 0;
    while (length < maxLen && c > ' ') {
        out[length++] = static_cast<char>(c);
        in.advance();
        c = in.peek();
    }
    return length;
}

} // namespace duolink
