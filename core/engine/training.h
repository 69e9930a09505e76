// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two engine runs a Solve starts, the job opening and the training run:
// EngineState::jobOpening, trainingRun and their steps (state.h), and what a
// training keeps of its pairs between presentations.
#include <cstddef>
#include <vector>

#include "core/engine/state.h"

namespace duolink {

// What the first presentation read of each pair, A values then B values,
// readWidth(aLen) and readWidth(bLen) of them: every later presentation
// reads the same values from the same texts, so it takes them from here.
// A pair is copied into the engine's vectors only when a step needs it
// there (`uncopied`).
struct KeptPairs {
    size_t aWidth = 0;
    size_t bWidth = 0;
    std::vector<double> values;
    const double* uncopied = nullptr; // the pair the vectors do not hold yet

    const double* pair(int m) const { return values.data() + static_cast<size_t>(m - 1) * (aWidth + bWidth); }
    void keep(const Vector& a, const Vector& b)
    {
        values.insert(values.end(), &a[1], &a[1] + aWidth);
        values.insert(values.end(), &b[1], &b[1] + bWidth);
    }
    // Puts the uncopied pair into a and b.
    void copyInto(Vector& a, Vector& b);
};

} // namespace duolink
