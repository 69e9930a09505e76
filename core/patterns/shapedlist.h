// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pattern lists of any shape: pairs of N A values and M B values, the same
// for every pair. The A side gains the parity element, so the engine reads
// A Len = N + 1 and B Len = M. A list of 8 + 8 values is read, saved and
// written exactly as the fixed-shape list of patternlist.h.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/patterns/patternlist.h"

namespace duolink {

// The engine's limits, as the pattern layer checks a shape against them.
inline constexpr int kLongestPattern = 128;
inline constexpr int kLargestMatrix = 2700;

struct ListShape {
    int n = 8; // A values in a file, the parity element not counted
    int m = 8; // B values
    int aLen() const { return n + 1; }
    int bLen() const { return m; }
    bool fixed() const { return n == 8 && m == 8; }
    bool operator==(const ListShape&) const = default;
};

// Why the engine could not take the shape ("" when it can): the message names
// the limit that is passed.
std::string shapeProblem(ListShape shape);

struct ShapedPairs {
    ListShape shape;
    // Per pair: aLen() values, the parity element last; bLen() values.
    std::vector<std::vector<double>> a;
    std::vector<std::vector<double>> b;
    size_t size() const { return a.size(); }
};

// 1.0 when an odd number of the values are greater than 0.5, else 0.0.
double parityOfValues(const double* values, int count);

// Fixed-shape pairs as a list of shape 8 + 8, and back (for fixed() lists).
ShapedPairs shapedFromFixed(const PatternPairs& pairs);
PatternPairs fixedFromShaped(const ShapedPairs& list);

// Reads a .csv list. A header "a1,...,aN,b1,...,bM" (any letter case) gives
// the shape; without one, the list is read as parsePatternList reads it.
// Raises PatternListError.
ShapedPairs parseShapedList(std::string_view text, std::string_view fileName);

// readPatternListFile for lists of any shape (job data files are 8 + 8).
ShapedPairs readShapedListFile(const std::string& path, std::string_view displayName);

// The .csv text of a list: for 8 + 8 patternListText's, else the header
// that gives the shape and each value as the shortest text that reads back
// as the same double. Raises PatternListError for an infinity.
std::string shapedListText(const ShapedPairs& list);

// The job data files for the list, laid out as the engine reads them: each
// pattern in groups of 16 values a line (fewer when the pattern is shorter),
// then the 9999 line. An 8 + 8 list gives writeJobFiles' files byte for
// byte. Both are replaced or neither. Raises RunError.
void writeShapedJobFiles(const ShapedPairs& list, const std::filesystem::path& folder);

// The engine's data file text for patterns of `length` values (one vector
// per pattern).
std::string shapedDataText(const std::vector<std::vector<double>>& patterns, int length);

} // namespace duolink
