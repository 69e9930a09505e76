// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recall table: every pair of the list recalled through the trained
// matrix and scored against its own B pattern.
#include <string>
#include <vector>

#include "core/analysis/exactrecall.h"

namespace duolink {

struct RecallRow {
    int pair = 0; // list position, 1-based
    TPatternVector a{};
    TPatternVector b{};
    RecallValues recalled{};
    RecallScore score;

    bool recalledWithinTol() const { return score.outsideTol == 0; }
    bool nearestOwn() const { return score.nearest == pair; }
};

struct RecallTable {
    double tol = 0;
    std::vector<RecallRow> rows;

    int recalledCount() const;
    int nearestOwnCount() const;
};

// The largest |recalled - expected| over B1..B8, computed from the recall's
// fixed-point integers so that it reads as what it is. The count of values
// outside TOL stays the one Predict's recall makes.
double largestError(const RecallValues& recalled, const TPatternVector& expected);

// Raises RunError for a pair whose recall fails, naming the pair.
RecallTable recallTable(const RecallSnapshot& snapshot, const PatternPairs& list, double tol);

// "4 of 5 pairs recalled within TOL 0.1; 5 of 5 nearest to their own B"
std::string recallSummary(const RecallTable& table);

// A recalled value as the B fields show it, without the padding: "0.998".
std::string fieldValueText(double value);

inline constexpr const char* kRecallTableHeader =
    "pair,a1,a2,a3,a4,a5,a6,a7,a8,b1,b2,b3,b4,b5,b6,b7,b8,r1,r2,r3,r4,r5,r6,r7,r8,"
    "max_error,outside_tol,recalled,nearest,nearest_own";

// The header line and one line per row, each ended by '\n'.
std::string recallTableCsv(const RecallTable& table);

} // namespace duolink
