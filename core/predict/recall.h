#pragma once
// Recall of a B pattern from an A pattern through the W matrix.
#include "core/patterns.h"

namespace duolink {

// Before any job has set the pattern lengths (both still 0), takes the
// window's shape, A Len 9 and B Len 8, so that Load Matrix, Save Matrix and
// Predict address the same cells. A job's lengths replace it at its Solve.
void useWindowShapeBeforeAnyJob();

// Sets unity to 10000, scales the nine A values (ties to even), prints the
// " INPUT " and " RESULT " pane lines and an empty line, and writes the eight
// results into b(1..8). Raises RunError on an arithmetic fault.
void recallB(const TPatternVector& a, TPatternVector& b);

} // namespace duolink
