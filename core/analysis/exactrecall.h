#pragma once
// Recall of a B pattern exactly as Predict computes it, on a copy of the
// trained matrix, so that any number of recalls on any threads leave the
// engine as it was.
#include <array>
#include <string>

#include "core/engine/state.h"
#include "core/patterns.h"
#include "core/patternlist.h"

namespace duolink {

// What a recall reads from the engine: the matrix, its shape, and the result
// store whose columns past B Len a recall leaves as they are.
struct RecallSnapshot {
    Matrix w{};
    Vector calc{};
    int aLen = 0;
    int bLen = 0;

    // The engine's current state, in the window's shape (9 by 8) before any
    // job has set the lengths, as Predict would take it.
    static RecallSnapshot ofEngine();
};

// The eight recalled B values, index 0 for B1.
using RecallValues = std::array<double, 8>;

// Scales the nine A values (elements 1..9, parity included) by 10000 with
// ties to even, takes the product through the matrix and divides by 10000:
// the values Predict writes into b(1..8). Raises RunError on an arithmetic
// fault, as Predict does.
RecallValues recallExact(const RecallSnapshot& snapshot, const TPatternVector& a);

// A recall scored against the pair's B pattern.
struct RecallScore {
    double maxError = 0;  // the largest |recalled - expected|
    int outsideTol = 0;   // elements with |recalled - expected| > tol
    int nearest = 0;      // list position (1-based) of the stored B closest to the recall
};

// `own` is the pair's index in `list` (0-based). The nearest stored B is by
// Euclidean distance over B1..B8; ties go to the lower position.
RecallScore scoreRecall(const RecallValues& r, const PatternList& list, std::size_t own, double tol);

// Reals in the shortest form that reads back as the same double.
void appendShortest(std::string& out, double value);

} // namespace duolink
