#pragma once
// The list of pattern pairs the user builds in the window.
#include <array>
#include <string_view>

namespace duolink {

// Nine values numbered 1 to 9 (element 0 is unused). Elements 1..8 are one
// column of data fields, element 9 the parity element.
using TPatternVector = std::array<double, 10>;

constexpr int kPatternCapacity = 256;

// Positions 1..256 (position 0 is unused).
extern std::array<TPatternVector, kPatternCapacity + 1> aPatterns;
extern std::array<TPatternVector, kPatternCapacity + 1> bPatterns;
extern int patternCount;
extern int currentIndex;

// Reads a field's text: blanks at the front are skipped, then the longest
// prefix that is a decimal number is taken; the rest is ignored. Text with no
// number, or with a number too large for a double, reads as 0. Never fails.
double textToReal(std::string_view text);

// 1.0 when an odd number of elements 1..8 are greater than 0.5, else 0.0.
double parityOf(const TPatternVector& v);

// Builds a vector from eight field texts and sets its parity element.
TPatternVector vectorFromTexts(const std::array<std::string_view, 8>& texts);

// The list commands on the store. Each returns false when it does nothing.
bool listAdd(const TPatternVector& a, const TPatternVector& b);    // appends, currentIndex := patternCount
bool listUpdate(const TPatternVector& a, const TPatternVector& b); // overwrites the pair at currentIndex
bool listDelete();   // removes the pair at currentIndex, later pairs move down
bool listNext();     // currentIndex + 1, up to the capacity
bool listPrevious(); // currentIndex - 1, down to 1
void listReset();    // empties the list; stored positions keep their values

} // namespace duolink
