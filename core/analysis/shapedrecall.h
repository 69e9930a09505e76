// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recall and its scores for lists of any shape: pairs of N A values (the
// parity last, A Len = N + 1) and M B values. Scored as the 8 + 8 tables
// score: the count of values outside TOL, the largest error from the
// fixed-point integers, the nearest stored B by Euclidean distance with
// ties to the lower position.
#include <string>
#include <vector>

#include "core/analysis/exactrecall.h"
#include "core/analysis/memtrain.h"
#include "core/analysis/recallcount.h"
#include "core/patterns/shapedlist.h"

namespace duolink::analysis {

// The list's shape against the lengths a training or recall runs with:
// why they do not fit, or "" when they do. An 8 + 8 list asks only for
// A Len 9, as it always has.
std::string shapeMismatch(ListShape shape, int aLen, int bLen);
// Raises RunError with shapeMismatch's message.
void checkListShape(ListShape shape, int aLen, int bLen);

// How far `r` is from `expected` (the first r.size() values), and the
// nearest of `list`'s B patterns; `own` is 0-based.
RecallScore scoreValues(const std::vector<double>& r, const ShapedPairs& list, size_t own, double tol);

// The largest |recalled - expected| from the recall's fixed-point integers.
double largestValueError(const std::vector<double>& recalled, const std::vector<double>& expected);

// countRecalls for a list of any shape.
RecallCounts countRecalls(const TrainingResult& trained, const ShapedPairs& list);

struct ShapedRecallRow {
    int pair = 0; // 1-based
    std::vector<double> a, b, recalled;
    RecallScore score;
    bool recalledWithinTol() const { return score.outsideTol == 0; }
    bool nearestOwn() const { return score.nearest == pair; }
};

struct ShapedRecallTable {
    double tol = 0;
    ListShape shape;
    std::vector<ShapedRecallRow> rows;
};

// Every pair recalled through the snapshot. Raises RunError naming the
// pair whose recall fails, or when the list does not fit the snapshot.
ShapedRecallTable shapedRecallTable(const RecallSnapshot& snapshot, const ShapedPairs& list, double tol);

// "pair,a1..aN,b1..bM,r1..rM,max_error,outside_tol,recalled,nearest,nearest_own"
std::string recallTableHeader(ListShape shape);
// The header line and one line per row; for 8 + 8 the bytes of recallTableCsv.
std::string shapedRecallTableCsv(const ShapedRecallTable& table);

} // namespace duolink::analysis
