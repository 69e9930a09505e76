// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The results of the capacity analysis and the sweep as records with named
// fields. The window's charts, the summaries and the CSV rows all read these
// fields; nothing reads a row's text back.
#include <cstddef>

#include "core/analysis/analyses.h"

namespace duolink::analysis {

// One training of the capacity analysis: set `set` of `n` pairs.
struct CapacityRow {
    int n = 0;
    int set = 0;
    double largestSquaredLength = 0; // the largest |a|^2 of the set's A patterns
    RowResult result;
};

// One cell of a sweep grid, by its place in the grid (cellValue).
struct SweepCell {
    size_t cell = 0;
    RowResult result;
};

} // namespace duolink::analysis
