// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The list of pattern pairs the user builds in the window.
#include <array>
#include <string_view>
#include <vector>

namespace duolink {

// Nine values numbered 1 to 9 (element 0 is unused). Elements 1..8 are one
// column of data fields, element 9 the parity element.
using TPatternVector = std::array<double, 10>;

constexpr int kPatternCapacity = 256;

// One pair as the store holds it, parity elements included.
struct PatternPair {
    TPatternVector a{};
    TPatternVector b{};
};
// Pairs read from or bound for a file, in order.
using PatternPairs = std::vector<PatternPair>;

// Reads a field's text: blanks at the front are skipped, then the longest
// prefix that is a decimal number is taken; the rest is ignored. Text with no
// number, or with a number too large for a double, reads as 0. Never fails.
double textToReal(std::string_view text);

// 1.0 when an odd number of elements 1..8 are greater than 0.5, else 0.0.
double parityOf(const TPatternVector& v);

// Builds a vector from eight field texts and sets its parity element.
TPatternVector vectorFromTexts(const std::array<std::string_view, 8>& texts);

// The pattern store: a value that the window, a session or a test owns.
// Copying it takes a snapshot (for a Solve running on another thread).
struct PatternList {
    using Store = std::array<TPatternVector, kPatternCapacity + 1>;
    // Positions 1..256 (position 0 is unused).
    Store aPatterns{};
    Store bPatterns{};
    int patternCount = 0;
    int currentIndex = 0;
    // The pairs last read from or written to a file (Open, Save, or the job
    // files of Solve).
    PatternPairs listInFiles;

    // The list commands. Each returns false when it does nothing.
    bool listAdd(const TPatternVector& a, const TPatternVector& b);    // appends, currentIndex := patternCount
    bool listUpdate(const TPatternVector& a, const TPatternVector& b); // overwrites the pair at currentIndex
    bool listDelete();   // removes the pair at currentIndex, later pairs move down
    bool listNext();     // currentIndex + 1, up to the capacity
    bool listPrevious(); // currentIndex - 1, down to 1
    void listReset();    // empties the list; stored positions keep their values

    // Makes `pairs` the list: positions 1..size, patternCount = size and
    // currentIndex 1 (0 for an empty list). Positions above keep their
    // values. The pairs must fit the store.
    void loadPatternList(const PatternPairs& pairs);
    // Positions 1..patternCount as pairs.
    PatternPairs pairs() const;
    // Records that the pairs are now those of a file.
    void noteListInFiles() { listInFiles = pairs(); }
    // Whether the pairs differ from those last read or written. An empty
    // list is never counted as changed.
    bool listChangedSinceFiles() const;
};

} // namespace duolink
