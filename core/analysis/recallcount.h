#pragma once
// How many pairs of a list a trained matrix recalls: each A pattern goes
// through the matrix as Predict sends it (UNITY 10000, the nine A values
// scaled with ties to even), and the eight recalled values are compared
// with the pair's B.
#include "core/analysis/memtrain.h"
#include "core/patternlist.h"

namespace duolink::analysis {

struct RecallCounts {
    int recalled = 0;    // pairs with every value within TOL of its B
    int nearestOwn = 0;  // pairs whose recalled B lies nearest (Euclidean,
                         // ties to the lower position) to a B equal to their own
};

// A recall that fails (an arithmetic fault in a diverged matrix) counts as
// neither.
RecallCounts countRecalls(const TrainingResult& trained, const PatternPairs& list);

} // namespace duolink::analysis
