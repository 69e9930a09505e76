// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Number texts shared by the window, the engine and the file writers.
// The decimal point is always "."; fields are right-aligned with blanks to a
// minimum width and never cut.
#include <string>

namespace duolink {

// Decimal integer, right-aligned in 5 characters.
std::string intText(long long value);

// Fixed point with 3 decimals, right-aligned in 9 characters.
std::string realText(long double value);

// Fixed point with the given decimals, right-aligned in the given width.
// The value is first taken to 18 significant digits, then rounded to the
// decimals with halves away from zero.
std::string realTextWD(long double value, int width, int decimals);

// " True  " or " False ".
std::string boolText(bool value);

// Scientific form "sD.DDDE+XXXX": sign ("-" or blank), `digits` significant
// digits, a signed four-digit exponent. The value is first taken to 18
// significant digits, then cut to `digits` by the next digit alone (5 and up
// rounds up). expText(1234, 2) is " 1.2E+0003"; expText(0.001, 15) is
// " 1.00000000000000E-0003". Infinities give "+Inf"/"-Inf", NaN "Nan".
std::string expText(long double value, int digits);

// The 10-character short form (2 digits) and the 23-character long form
// (15 digits).
inline std::string shortExpText(long double value) { return expText(value, 2); }
inline std::string longExpText(long double value) { return expText(value, 15); }

// Appends the same texts to an existing string (no temporary).
void appendRealTextWD(std::string& out, long double value, int width, int decimals);
void appendExpText(std::string& out, long double value, int digits);

// realTextWD(value / unity, width, decimals) for the values where whole
// numbers give it exactly: `value` whole and the scaled value below 10^11,
// for a `unity` above 0 that divides 10^decimals. What depends on unity,
// width and decimals alone is worked out once, when the writer is made.
class WholeRatioWriter {
public:
    // Room the text needs at its destination: write() copies this many
    // characters there (widths above it are not taken).
    static constexpr int kRoom = 32;

    WholeRatioWriter() = default;
    WholeRatioWriter(int unity, int width, int decimals);
    // False when no value is taken: unity, width or decimals out of reach.
    bool usable() const { return factor_ != 0; }
    int unity() const { return unity_; }

    // Writes the text at `dest`, which has room for kRoom characters, and
    // returns its end, with blanks behind it up to dest + kRoom; nullptr,
    // with nothing meant, when `value` is not taken.
    char* write(char* dest, double value) const
    {
        const double magnitude = value < 0 ? -value : value;
        // NaN fails the comparison.
        if (!(magnitude < limit_))
            return nullptr;
        // Below 10^11: signed conversions, which need no branches.
        const auto whole = static_cast<long long>(magnitude);
        if (static_cast<double>(whole) != magnitude)
            return nullptr;
        return writeScaled(dest, static_cast<unsigned long long>(whole) * factor_, value < 0);
    }

    // Writes the texts of values[0..n) one after the other, each followed by
    // `blanks` (0 to 2) blanks, for as long as the values are taken; `dest`
    // has room for n * (kRoom + 2) + kRoom characters. Returns the end of
    // what was written; `taken` tells how many values it holds.
    char* writeRun(char* dest, const double* values, int n, int blanks, int& taken) const;

private:
    char* writeScaled(char* dest, unsigned long long scaled, bool negative) const;

    unsigned long long factor_ = 0; // 10^decimals / unity; 0: not usable
    double limit_ = 0;              // magnitudes below it are taken
    int unity_ = 0;
    int width_ = 0;
    int decimals_ = 0;
};

// Appends realTextWD(value / unity, width, decimals) when WholeRatioWriter
// takes it; returns false, with nothing appended, otherwise.
bool appendWholeRatioText(std::string& out, double value, int unity, int width, int decimals);

// realTextWD(value, width, 0) of a whole number below 10^18 in magnitude
// (larger ones are written with all their digits), written at `dest`, which
// has room for the larger of width and 20 characters; returns the end.
char* writeWholeText(char* dest, long long value, int width);

// expText(value, digits) written at `dest`, which has room for kExpTextRoom
// characters; returns the end of the text. A double that holds a whole
// number below 10^17 is written from integers.
inline constexpr int kExpTextRoom = 32;
char* writeExpText(char* dest, long double value, int digits);
char* writeExpText(char* dest, double value, int digits);

} // namespace duolink
