// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How many pairs of a list a trained matrix recalls, counted as the Recall
// tab counts them (core/analysis/recalltable.h): each A pattern recalled as
// Predict recalls it, and scored against the pair's own B.
#include <string>

#include "core/analysis/memtrain.h"
#include "core/patterns/patternlist.h"

namespace duolink::analysis {

struct RecallCounts {
    int recalled = 0;    // pairs with every value within TOL of its B
    int nearestOwn = 0;  // pairs whose recall lies nearest to their own B
};

// The one shape the recall counts know: nine A values (eight and the
// parity) recalled into eight B values.
inline constexpr int kAnalysisALen = 9;
// Raises RunError, saying why, for a job of another A Len: its recalls would
// read the wrong values and count nothing.
void checkAnalysisShape(int aLen);

// A recall that fails (an arithmetic fault in a diverged matrix) counts as
// neither.
RecallCounts countRecalls(const TrainingResult& trained, const PatternPairs& list);

} // namespace duolink::analysis
