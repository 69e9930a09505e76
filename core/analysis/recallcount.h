#pragma once
// How many pairs of a list a trained matrix recalls, counted as the Recall
// tab counts them (core/analysis/recalltable.h): each A pattern recalled as
// Predict recalls it, and scored against the pair's own B.
#include "core/analysis/memtrain.h"
#include "core/patterns/patternlist.h"

namespace duolink::analysis {

struct RecallCounts {
    int recalled = 0;    // pairs with every value within TOL of its B
    int nearestOwn = 0;  // pairs whose recall lies nearest to their own B
};

// A recall that fails (an arithmetic fault in a diverged matrix) counts as
// neither.
RecallCounts countRecalls(const TrainingResult& trained, const PatternPairs& list);

} // namespace duolink::analysis
