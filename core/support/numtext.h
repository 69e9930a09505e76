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

// Appends realTextWD(value / unity, width, decimals) where whole numbers give
// it exactly: `value` whole, `unity` above 0 and dividing 10^decimals, the
// scaled value below 10^11. Returns false, with nothing appended, otherwise.
bool appendWholeRatioText(std::string& out, double value, int unity, int width, int decimals);
// The same written at `dest`, which has room for kWholeRatioRoom characters
// (widths above it are not taken); returns the end of the text or nullptr.
inline constexpr int kWholeRatioRoom = 32;
char* writeWholeRatioText(char* dest, double value, int unity, int width, int decimals);

} // namespace duolink
